#include "monitor/CounterSlot.h"

namespace kestrum {

void CounterSlot::publish(std::uint32_t value, std::int64_t now) {
    reading_.store(std::uint64_t{static_cast<std::uint32_t>(now)} << 32 | value);
    count_.fetch_add(1);
    published_.store(true);
    refusals_.store(0);
}

// The flag first, then the count, then the reading, the reverse of the order they are written
// in: a reading is never older than the count and flag read with it.
CounterReading CounterSlot::read() const {
    CounterReading result;
    result.published = published_.load();
    result.count = count_.load();
    const std::uint64_t reading = reading_.load();
    result.value = static_cast<std::uint32_t>(reading);
    result.takenAt = static_cast<std::uint32_t>(reading >> 32);
    return result;
}

void CounterSlot::clear() {
    published_.store(false);
    refusals_.store(0);
}

} // namespace kestrum
