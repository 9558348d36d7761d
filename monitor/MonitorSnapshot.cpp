#include "monitor/MonitorSnapshot.h"

namespace kestrum {

namespace {

std::uint32_t total(const MonitorSnapshot& snapshot, CounterReading WanCounters::*counter) {
    std::uint32_t sum = 0;
    for (int wan = 0; wan < snapshot.wanDevices(); ++wan) {
        const CounterReading& reading = snapshot.wans[wan].*counter;
        sum += reading.published ? reading.value : 0;
    }
    return sum;
}

} // namespace

std::uint32_t MonitorSnapshot::totalBytesReceived() const {
    return total(*this, &WanCounters::received);
}

std::uint32_t MonitorSnapshot::totalBytesSent() const {
    return total(*this, &WanCounters::sent);
}

} // namespace kestrum
