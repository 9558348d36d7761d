#pragma once

#include "monitor/MonitorSnapshot.h"

#include <atomic>
#include <cstdint>

namespace kestrum {

// One gateway counter: its poller writes it, the user-interface thread reads it at any time.
class CounterSlot {
public:
    // Refusals in a row, with no good reading since, after which the counter counts as refused.
    static constexpr std::uint32_t refusalsForHint = 3;

    // A successful reading, taken at `now` (steady milliseconds); it ends a refusal.
    void publish(std::uint32_t value, std::int64_t now);
    // The gateway answered with a fault instead of the counter.
    void refuse() { refusals_.fetch_add(1); }
    bool refused() const { return refusals_.load() >= refusalsForHint; }
    CounterReading read() const;
    // For the next gateway: nothing read, nothing refused.
    void clear();

private:
    // The value with the low 32 bits of its reading time in the high half: one word, so that a
    // read never pairs a value with the time of another reading.
    std::atomic<std::uint64_t> reading_{0};
    std::atomic<std::uint32_t> count_{0};
    std::atomic<bool> published_{false};
    std::atomic<std::uint32_t> refusals_{0};
};

} // namespace kestrum
