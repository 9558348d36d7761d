#pragma once

#include "http/HttpClient.h"
#include "net/GrowableArray.h"
#include "net/NetworkInterfaces.h"
#include "net/Sockets.h"
#include "net/StringList.h"
#include "net/StringSet.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace kestrum {

class Device;

// What a discovery pass searches for, and which answers it takes.
class SsdpTarget {
public:
    // One search target, whose answers must name it byte for byte; null searches with an empty
    // ST value and takes every answer.
    explicit SsdpTarget(const char* searchTarget);
    // Internet gateway devices: searches for InternetGatewayDevice:1 and :2 of the UPnP forum
    // and :1 of the DSL forum (TR-064 gateways answer no other), and takes any version of either,
    // since gateways answer in their own version.
    static SsdpTarget internetGateway();

    // The ST values searched for, one M-SEARCH each.
    const StringList& searches() const { return searches_; }
    // Whether an answer's ST value, or an announcement's NT value, is one this pass wants.
    bool accepts(const String& type) const;

private:
    enum class Match { Exact, Any, Gateway };
    explicit SsdpTarget(Match match) : match_(match) {}

    Match match_;
    StringList searches_;
};

// The distinct description locations of the answers of one pass.
class SsdpAnswers {
public:
    // A pass keeps at most this many locations; a flood of answers cannot grow it further.
    static constexpr unsigned maxLocations = 16;

    explicit SsdpAnswers(SsdpTarget target);

    // Takes one received datagram: an answer to a search, or an "ssdp:alive" announcement.
    // Returns its location when that is new and kept, otherwise the empty text: anything else
    // (other messages, other types, repeated locations, a full set) is ignored.
    String accept(const char* datagram, int length);
    // Iteration order: ascending bucket of the location's hash, newest first within a bucket.
    const StringSet& locations() const { return locations_; }

private:
    SsdpTarget target_;
    StringSet locations_;
};

// Passes that name no address search every network the machine is on.
constexpr std::uint32_t everyNetwork = 0;

// The sockets of one pass. Construction sends the searches: without a named address, copies
// multicast out of every interface, unicast copies to each default gateway (a router that
// ignores multicast searches may still answer them), and it listens for announcements; with one,
// unicast copies to that address only.
class SsdpSearch {
public:
    explicit SsdpSearch(const SsdpTarget& target, std::uint32_t namedAddress = everyNetwork);

    // The next new location heard before the deadline (steady milliseconds), also one that
    // arrived before it and waited to be read; the empty text once there is none.
    String nextLocation(std::int64_t deadline);
    const SsdpAnswers& answers() const { return answers_; }

private:
    void sendTo(const SocketAddress& destination, bool unicast);
    void sendMulticast(const AddressList& interfaces);
    void listenForAnnouncements(const AddressList& interfaces);

    SsdpTarget target_;
    SsdpAnswers answers_;
    DatagramSocket searchSocket_;
    // Bound to the SSDP port and joined to the group; stays closed where the port cannot be
    // shared.
    DatagramSocket announcementSocket_;
    std::unique_ptr<char[]> buffer_;
    int lateDatagrams_ = 0;
};

// One discovery pass over the whole window: searches, collects the distinct description
// locations answering within waitSeconds, then appends one loaded root Device per location that
// loads, each load taking at most exchangeTimeout seconds. The caller owns the devices. Socket
// failures are thrown; descriptions that cannot be loaded are left out. On a worker asked to
// stop, no further description is loaded: ThreadStopException ends the pass.
void discover(const SsdpTarget& target, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout = HttpClient::defaultExchangeTimeout,
              std::uint32_t namedAddress = everyNetwork);
// The same for one search target (null: any device).
void discover(const char* searchTarget, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout = HttpClient::defaultExchangeTimeout);

// Takes a loaded device (and with it ownership) by returning true.
using DeviceTaker = std::function<bool(std::unique_ptr<Device>&)>;

enum class DiscoveryOutcome { NoAnswer, NoneTaken, Taken };

// A pass that ends early: each new location's device is loaded as soon as it is heard and
// handed to take; the pass ends when take keeps one, or at the deadline (steady milliseconds).
// A device that cannot be loaded is skipped.
DiscoveryOutcome discoverFirst(const SsdpTarget& target, std::uint32_t namedAddress,
                               std::int64_t deadline, int exchangeTimeout, const DeviceTaker& take);

// Loads the description at location; null when it cannot be loaded. Throws ThreadStopException
// before the load when the calling worker was asked to stop.
std::unique_ptr<Device> loadDevice(const String& location, int exchangeTimeout);

// The multicast M-SEARCH datagram for a search target (null sends an empty ST value).
String ssdpSearchRequest(const char* searchTarget);
// The M-SEARCH datagram sent straight to a device at address (network order), port 1900.
String ssdpUnicastSearchRequest(const char* searchTarget, std::uint32_t address);

// Appends a Device for each location in the set's order and loads it; a device whose
// description cannot be loaded is deleted and left out. Throws ThreadStopException before a
// load when the calling worker was asked to stop.
void loadDevices(const StringSet& locations, PointerList<Device>& devices,
                 int exchangeTimeout = HttpClient::defaultExchangeTimeout);

} // namespace kestrum
