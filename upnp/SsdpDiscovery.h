#pragma once

#include "http/HttpClient.h"
#include "net/GrowableArray.h"
#include "net/StringSet.h"

namespace kestrum {

class Device;

// One SSDP discovery pass: multicasts a search for searchTarget (null: any device) to
// 239.255.255.250:1900, collects the distinct description locations answering within
// waitSeconds, and appends one loaded root Device per location that loads, each load taking at
// most exchangeTimeout seconds. The caller owns the devices. Socket failures are thrown;
// descriptions that cannot be loaded are left out. On a worker asked to stop, no further
// description is loaded: ThreadStopException ends the pass.
void discover(const char* searchTarget, PointerList<Device>& devices, int waitSeconds,
              int exchangeTimeout = HttpClient::defaultExchangeTimeout);

// The M-SEARCH datagram for a search target (null sends an empty ST value).
String ssdpSearchRequest(const char* searchTarget);

// The distinct description locations of the answers of one pass.
class SsdpAnswers {
public:
    // A pass keeps at most this many locations; a flood of answers cannot grow it further.
    static constexpr unsigned maxLocations = 16;

    explicit SsdpAnswers(const char* searchTarget);

    // Takes one received datagram. Anything that is not an HTTP response, answers for another
    // search target and repeated locations are ignored.
    void accept(const char* datagram, int length);
    // Iteration order: ascending bucket of the location's hash, newest first within a bucket.
    const StringSet& locations() const { return locations_; }

private:
    String searchTarget_;
    bool anyTarget_;
    StringSet locations_;
};

// Appends a Device for each location in the set's order and loads it; a device whose
// description cannot be loaded is deleted and left out. Throws ThreadStopException before a
// load when the calling worker was asked to stop.
void loadDevices(const StringSet& locations, PointerList<Device>& devices,
                 int exchangeTimeout = HttpClient::defaultExchangeTimeout);

} // namespace kestrum
