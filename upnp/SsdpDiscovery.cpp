#include "upnp/SsdpDiscovery.h"

#include "http/HttpMessage.h"
#include "net/Allocation.h"
#include "net/ThreadWait.h"
#include "upnp/Device.h"
#include "upnp/DeviceType.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kestrum {

namespace {

// UDP may drop any single copy; answers to all copies collapse into one location. Gateways that
// delay each answer by a random part of MX answer the first of several copies sooner.
constexpr int requestCopies = 3;
constexpr int multicastTtl = 4;
constexpr const char* ssdpGroup = "239.255.255.250";
constexpr int ssdpPort = 1900;
constexpr std::int64_t maxWaitMilliseconds = 60'000;
constexpr int datagramSize = 65535;
constexpr unsigned locationBuckets = 17;
// More than the socket's receive buffer holds of the answers of one pass.
constexpr int maxLateDatagrams = 512;

constexpr const char* gatewayFamilies[] = {
    "urn:schemas-upnp-org:device:InternetGatewayDevice:",
    "urn:dslforum-org:device:InternetGatewayDevice:",
};
constexpr const char* gatewaySearches[] = {
    "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
    "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
    "urn:dslforum-org:device:InternetGatewayDevice:1",
};

// Missing headers read as empty; names match in any letter case.
String headerValue(const StringMap& headers, const char* name) {
    const int index = headers.find(name);
    return index < 0 ? String() : headers[index].value;
}

bool startsWithMethod(const char* datagram, int length, const char* method) {
    const int methodLength = String(method).length();
    return length > methodLength && std::equal(method, method + methodLength, datagram) &&
           datagram[methodLength] == ' ';
}

String dottedQuad(std::uint32_t addressNetworkOrder) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&addressNetworkOrder);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return String(text);
}

} // namespace

SsdpTarget::SsdpTarget(const char* searchTarget)
    : match_(searchTarget == nullptr ? Match::Any : Match::Exact) {
    searches_.append(String(searchTarget));
}

SsdpTarget SsdpTarget::internetGateway() {
    SsdpTarget target(Match::Gateway);
    for (const char* search : gatewaySearches) {
        target.searches_.append(String(search));
    }
    return target;
}

bool SsdpTarget::accepts(const String& type) const {
    switch (match_) {
    case Match::Any:
        return true;
    case Match::Exact:
        return type == searches_[0];
    case Match::Gateway:
        return std::any_of(std::begin(gatewayFamilies), std::end(gatewayFamilies),
                           [&type](const char* family) { return isTypeOfFamily(type, family); });
    }
    return false;
}

String ssdpSearchRequest(const char* searchTarget) {
    String request = "M-SEARCH * HTTP/1.1\r\n"
                     "HOST: 239.255.255.250:1900\r\n"
                     "MAN: \"ssdp:discover\"\r\n"
                     "MX: 1\r\n"
                     "ST: ";
    request.append(searchTarget);
    request.append("\r\n\r\n");
    return request;
}

String ssdpUnicastSearchRequest(const char* searchTarget, std::uint32_t address) {
    // A unicast search names the device and carries no MX: the device answers at once.
    String request = "M-SEARCH * HTTP/1.1\r\nHOST: ";
    request.append(dottedQuad(address));
    request.append(":1900\r\n"
                   "MAN: \"ssdp:discover\"\r\n"
                   "ST: ");
    request.append(searchTarget);
    request.append("\r\n\r\n");
    return request;
}

SsdpAnswers::SsdpAnswers(SsdpTarget target)
    : target_(std::move(target)), locations_(stringHash, locationBuckets) {}

String SsdpAnswers::accept(const char* datagram, int length) {
    // Announcements are requests, answers are responses; searches of other control points (and
    // our own, looped back) are neither.
    const bool announcement = startsWithMethod(datagram, length, "NOTIFY");
    StringMap headers;
    try {
        if (announcement) {
            HttpRequest notify;
            notify.feed(datagram, length);
            headers = notify.headers;
        } else {
            HttpResponse answer;
            answer.feed(datagram, length);
            if (!answer.version().startsWith("HTTP/")) {
                return String();
            }
            headers = answer.headers;
        }
    } catch (const HttpException&) {
        return String(); // a stray packet of some other device; the pass goes on
    }
    if (announcement && headerValue(headers, "nts") != "ssdp:alive") {
        return String();
    }
    if (!target_.accepts(headerValue(headers, announcement ? "nt" : "st"))) {
        return String();
    }
    // Without a location there is nothing to load.
    const String location = headerValue(headers, "location");
    if (location.isEmpty() || locations_.contains(location) || locations_.count() >= maxLocations) {
        return String();
    }
    locations_.insert(location);
    return location;
}

SsdpSearch::SsdpSearch(const SsdpTarget& target, std::uint32_t namedAddress)
    : target_(target), answers_(target), buffer_(makeOwnedArray<char>(datagramSize)) {
    searchSocket_.open();
    searchSocket_.setMulticastTtl(multicastTtl);
    SocketAddress destination;
    if (namedAddress != everyNetwork) {
        destination.set(nullptr, ssdpPort);
        destination.setAddressNetworkOrder(namedAddress);
        sendTo(destination, true);
        return;
    }
    const AddressList interfaces = localInterfaceAddresses();
    listenForAnnouncements(interfaces);
    sendMulticast(interfaces);
    const AddressList gateways = defaultGateways();
    for (const std::uint32_t gateway : gateways) {
        destination.set(nullptr, ssdpPort);
        destination.setAddressNetworkOrder(gateway);
        sendTo(destination, true);
    }
}

void SsdpSearch::sendTo(const SocketAddress& destination, bool unicast) {
    // One unreachable destination (an interface going down, a firewall) must not keep the
    // searches from the others.
    try {
        for (int copy = 0; copy < requestCopies; ++copy) {
            for (const String& search : target_.searches()) {
                const char* value = search.isEmpty() ? nullptr : search.c_str();
                const String request =
                    unicast ? ssdpUnicastSearchRequest(value, destination.addressNetworkOrder())
                            : ssdpSearchRequest(value);
                sendAllTo(searchSocket_.handle, destination, request.data(), request.length());
            }
        }
    } catch (const SocketException&) {
    }
}

void SsdpSearch::sendMulticast(const AddressList& interfaces) {
    SocketAddress group;
    group.set(ssdpGroup, ssdpPort);
    // The system's multicast route often points at a virtual adapter (a VPN, a virtual machine's
    // switch) rather than at the router's network: each interface gets its own copies.
    if (interfaces.count() == 0) {
        sendTo(group, false);
        return;
    }
    for (const std::uint32_t address : interfaces) {
        try {
            searchSocket_.setMulticastInterface(address);
        } catch (const SocketException&) {
            continue;
        }
        sendTo(group, false);
    }
}

void SsdpSearch::listenForAnnouncements(const AddressList& interfaces) {
    // Announcements go to the group's port, which other SSDP programs hold too. Where the holder
    // does not share it (Windows' own SSDP service may hold it so), the pass goes without them
    // and relies on the answers to its searches. Bound to the any address, the socket leaves the
    // unicast datagrams for the port to the holders bound to a local address.
    SocketAddress group;
    group.set(ssdpGroup, ssdpPort);
    try {
        announcementSocket_.open();
        announcementSocket_.bindShared(ssdpPort);
        int joined = 0;
        if (interfaces.count() == 0) {
            announcementSocket_.joinGroup(group.addressNetworkOrder(), 0);
            ++joined;
        }
        for (const std::uint32_t address : interfaces) {
            try {
                announcementSocket_.joinGroup(group.addressNetworkOrder(), address);
                ++joined;
            } catch (const SocketException&) {
            }
        }
        if (joined == 0) {
            announcementSocket_.close();
        }
    } catch (const SocketException&) {
        announcementSocket_.close();
    }
}

String SsdpSearch::nextLocation(std::int64_t deadline) {
    const SocketHandle both[] = {searchSocket_.handle, announcementSocket_.handle};
    const std::span<const SocketHandle> sockets(both, announcementSocket_.handle != 0 ? 2 : 1);
    SocketAddress sender;
    for (;;) {
        // Once a location was handed out, what arrived while its description loaded still
        // counts after the window; a sender that goes on flooding is cut off.
        const std::int64_t left = deadline - steadyMilliseconds();
        if (left <= 0 &&
            (answers_.locations().count() == 0 || lateDatagrams_++ >= maxLateDatagrams)) {
            return String();
        }
        const int wait = static_cast<int>(std::clamp<std::int64_t>(left, 0, maxWaitMilliseconds));
        const int ready = waitReadableAny(sockets, wait);
        if (ready < 0) {
            if (left <= 0) {
                return String();
            }
            continue;
        }
        const int received = receiveFrom(sockets[static_cast<std::size_t>(ready)], sender,
                                         buffer_.get(), datagramSize, 0);
        if (received > 0) {
            String location = answers_.accept(buffer_.get(), received);
            if (!location.isEmpty()) {
                return location;
            }
        }
    }
}

std::unique_ptr<Device> loadDevice(const String& location, int exchangeTimeout) {
    // Each load may take the whole exchange limit: a stop must not wait for all of them.
    if (stopRequestedOnThisThread()) {
        throw ThreadStopException();
    }
    auto device = makeOwned<Device>();
    try {
        device->load(location, exchangeTimeout);
    } catch (const ThreadStopException&) {
        throw;
    } catch (const Exception&) {
        return nullptr; // one unreachable or broken device must not hide the others
    }
    return device;
}

void loadDevices(const StringSet& locations, PointerList<Device>& devices, int exchangeTimeout) {
    locations.forEach([&devices, exchangeTimeout](const String& location) {
        std::unique_ptr<Device> device = loadDevice(location, exchangeTimeout);
        if (device) {
            devices.append(device.get());
            device.release();
        }
    });
}

void discover(const SsdpTarget& target, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout, std::uint32_t namedAddress) {
    devices.clear();
    SsdpSearch search(target, namedAddress);
    // The window ends on a whole second, as it is counted; the socket layer's waits notice a stop
    // within it.
    const std::int64_t deadline = (steadyMilliseconds() / 1000 + waitSeconds) * 1000;
    while (!search.nextLocation(deadline).isEmpty()) {
    }
    loadDevices(search.answers().locations(), devices, exchangeTimeout);
}

void discover(const char* searchTarget, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout) {
    discover(SsdpTarget(searchTarget), devices, waitSeconds, exchangeTimeout);
}

DiscoveryOutcome discoverFirst(const SsdpTarget& target, std::uint32_t namedAddress,
                               std::int64_t deadline, int exchangeTimeout,
                               const DeviceTaker& take) {
    SsdpSearch search(target, namedAddress);
    DiscoveryOutcome outcome = DiscoveryOutcome::NoAnswer;
    for (String location = search.nextLocation(deadline); !location.isEmpty();
         location = search.nextLocation(deadline)) {
        outcome = DiscoveryOutcome::NoneTaken;
        std::unique_ptr<Device> device = loadDevice(location, exchangeTimeout);
        if (device && take(device)) {
            return DiscoveryOutcome::Taken;
        }
    }
    return outcome;
}

} // namespace kestrum
