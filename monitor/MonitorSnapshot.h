#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// What the user-interface thread reads from the gateway monitor on each update.
struct MonitorSnapshot {
    String statusText;
    std::uint32_t totalBytesReceived = 0;
    std::uint32_t totalBytesSent = 0;
    // Both pollers of the current gateway have stored a counter; until then the counters belong
    // to no gateway and must not be measured.
    bool countersPublished = false;
    // Successful readings of each counter so far (wrapping): a reading that failed keeps the
    // counter's value but not its count.
    std::uint32_t receivedReadings = 0;
    std::uint32_t sentReadings = 0;
    // When each counter was read: steady milliseconds modulo 2^32. The rates divide by the time
    // between readings.
    std::uint32_t receivedTakenAt = 0;
    std::uint32_t sentTakenAt = 0;
};

} // namespace kestrum
