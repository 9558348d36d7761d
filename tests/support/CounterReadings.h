#pragma once

#include "monitor/MonitorSnapshot.h"

#include <algorithm>
#include <cstdint>

namespace kestrum::test {

// A successful reading of a counter, taken at steady milliseconds (modulo 2^32) takenAt.
inline CounterReading reading(std::uint32_t value, std::uint32_t takenAt, std::uint32_t count = 1) {
    return {value, takenAt, count, true};
}

// WAN device `wan` of the snapshot gets a new successful reading of both counters, taken at
// takenAt, as its pollers publish them: the counts move on and the snapshot counts the device.
inline void readCounters(MonitorSnapshot& snapshot, int wan, std::uint32_t received,
                         std::uint32_t sent, std::uint32_t takenAt) {
    WanCounters& counters = snapshot.wans[wan];
    counters.received = reading(received, takenAt, counters.received.count + 1);
    counters.sent = reading(sent, takenAt, counters.sent.count + 1);
    snapshot.wanCount = std::max(snapshot.wanCount, wan + 1);
    snapshot.countersPublished = true;
}

} // namespace kestrum::test
