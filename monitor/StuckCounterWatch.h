#pragma once

#include "monitor/MonitorSnapshot.h"

#include <cstdint>

namespace kestrum {

// Tells a broken gateway counter from a quiet line. Routers are known to freeze their byte
// counters at 0, 2^31 - 1 or 2^32 - 1, or to stop one counter while the line carries traffic;
// read naively, such a gateway looks idle. Only successful readings count: a failed one neither
// extends nor ends a run of equal values.
//
// Each WAN device is watched on its own. A device whose two counters both stand still is idle
// (a second line not in use often reads 0 and 0): it raises the hint only when every device is
// stuck.
class StuckCounterWatch {
public:
    // How long a counter must read the same value, in milliseconds.
    static constexpr std::int64_t stuckAfter = 60'000;
    // What the other counter must advance meanwhile, in bytes, for an ordinary value to count.
    static constexpr std::uint64_t otherCounterTraffic = 1'000'000;

    // One update of the current gateway's counters at steady time now; returns whether the hint
    // shows. A device's hint appears when one of its counters is stuck and goes at the first
    // update after both have moved again.
    bool observe(const MonitorSnapshot& snapshot, std::int64_t now);
    // A new gateway, or none: everything watched so far belonged to the old one.
    void reset() { *this = StuckCounterWatch(); }

    static bool isStuckValue(std::uint32_t value);

private:
    // The latest run of equal successful readings of one counter.
    struct Run {
        bool started = false;
        std::uint32_t readings = 0; // the snapshot's count at the latest reading
        std::uint32_t value = 0;
        std::int64_t since = 0;  // the run's first reading
        std::int64_t latest = 0; // its latest reading
        std::uint64_t otherAdvance = 0;
        bool moved = false;  // its value changed since the hint appeared
        bool fallen = false; // its latest change was a fall (a glitch or a reset)
    };

    struct Wan {
        Run received;
        Run sent;
        bool hint = false;
    };

    // Returns the forward step of the counter when the reading is a new one, else 0.
    static std::uint64_t read(Run& run, const CounterReading& reading, std::int64_t now);
    static bool stuck(const Run& run);
    static bool stillFor(const Run& run);
    static bool observeWan(Wan& wan, const WanCounters& counters, std::int64_t now);

    Wan wans_[MonitorSnapshot::maximumWans];
};

} // namespace kestrum
