#include "upnp/SsdpDiscovery.h"

#include "http/HttpMessage.h"
#include "net/Allocation.h"
#include "net/Sockets.h"
#include "net/ThreadWait.h"
#include "upnp/Device.h"

#include <algorithm>
#include <cstdint>

namespace kestrum {

namespace {

constexpr int requestCopies = 10;
constexpr int multicastTtl = 4;
constexpr std::int64_t maxWaitMilliseconds = 60'000;
constexpr int datagramSize = 65535;
constexpr unsigned locationBuckets = 17;

// Whole seconds, as the listening window is counted, of a clock that cannot be set back.
std::int64_t nowSeconds() {
    return steadyMilliseconds() / 1000;
}

// Missing headers read as empty; names match in any letter case.
String headerValue(const StringMap& headers, const char* name) {
    const int index = headers.find(name);
    return index < 0 ? String() : headers[index].value;
}

} // namespace

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

SsdpAnswers::SsdpAnswers(const char* searchTarget)
    : searchTarget_(searchTarget), anyTarget_(searchTarget == nullptr),
      locations_(stringHash, locationBuckets) {}

void SsdpAnswers::accept(const char* datagram, int length) {
    HttpResponse answer;
    try {
        answer.feed(datagram, length);
    } catch (const HttpException&) {
        return; // a stray packet of some other device; the pass goes on
    }
    if (!anyTarget_ && headerValue(answer.headers, "st") != searchTarget_) {
        return;
    }
    // Without a location there is nothing to load.
    const String location = headerValue(answer.headers, "location");
    if (location.isEmpty() || locations_.contains(location) || locations_.count() >= maxLocations) {
        return;
    }
    locations_.insert(location);
}

void loadDevices(const StringSet& locations, PointerList<Device>& devices, int exchangeTimeout) {
    locations.forEach([&devices, exchangeTimeout](const String& location) {
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
            return; // one unreachable or broken device must not hide the others
        }
        devices.append(device.get());
        device.release();
    });
}

void discover(const char* searchTarget, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout) {
    devices.clear();

    DatagramSocket socket;
    socket.open();
    socket.setMulticastTtl(multicastTtl);

    const String request = ssdpSearchRequest(searchTarget);
    SocketAddress group;
    group.set("239.255.255.250", 1900);
    // UDP may drop any single copy; answers to all copies collapse into one location.
    for (int copy = 0; copy < requestCopies; ++copy) {
        sendAllTo(socket.handle, group, request.data(), request.length());
    }

    SsdpAnswers answers(searchTarget);
    const auto buffer = makeOwnedArray<char>(datagramSize);
    SocketAddress sender;
    // The window ends on a whole second, as it is counted; the socket layer's waits notice a stop
    // within it.
    const std::int64_t deadline = (nowSeconds() + waitSeconds) * 1000;
    for (std::int64_t left = deadline - steadyMilliseconds(); left > 0;
         left = deadline - steadyMilliseconds()) {
        const int wait = static_cast<int>(std::min<std::int64_t>(left, maxWaitMilliseconds));
        const int received = receiveFrom(socket.handle, sender, buffer.get(), datagramSize, wait);
        if (received > 0) {
            answers.accept(buffer.get(), received);
        }
    }
    socket.close();

    loadDevices(answers.locations(), devices, exchangeTimeout);
}

} // namespace kestrum
