#pragma once

#include "monitor/ConnectionFacts.h"
#include "net/String.h"

#include <algorithm>
#include <cstdint>

namespace kestrum {

// One gateway counter as the user-interface thread reads it.
struct CounterReading {
    std::uint32_t value = 0;
    // Steady milliseconds modulo 2^32 when it was read: rates divide by the time between
    // readings.
    std::uint32_t takenAt = 0;
    // Successful readings so far (wrapping): a reading that failed keeps the value but not the
    // count.
    std::uint32_t count = 0;
    // A first reading exists; until then value and time mean nothing.
    bool published = false;
};

// The two counters of one WAN device's common interface service.
struct WanCounters {
    CounterReading received;
    CounterReading sent;
};

// What the user-interface thread reads from the gateway monitor on each update.
struct MonitorSnapshot {
    // Real gateways have one WAN device, a few have two or three; the bound keeps a description
    // listing hundreds from starting as many pollers.
    static constexpr int maximumWans = 4;

    String statusText;
    // A counter of the current gateway has been read; until then the counters belong to no
    // gateway and must not be measured.
    bool countersPublished = false;
    // The gateway refuses to report its counters (its status reporting over UPnP is off).
    bool countersRefused = false;
    // WAN devices read, at most maximumWans.
    int wanCount = 0;
    WanCounters wans[maximumWans] = {};
    // The gateway's description and its connection's state, read once a minute.
    ConnectionFacts facts;

    // wanCount within its bounds.
    int wanDevices() const { return std::clamp(wanCount, 0, maximumWans); }

    // The sums of every WAN device's counters read so far, modulo 2^32.
    std::uint32_t totalBytesReceived() const;
    std::uint32_t totalBytesSent() const;
};

} // namespace kestrum
