#pragma once

#include "monitor/MonitorSnapshot.h"

#include <cstdint>

namespace kestrum {

// Turns the successive readings of one 32-bit byte counter into a rate in bytes per millisecond
// (thousands of bytes per second), each measured over the time between the counter's own
// readings. Gateways answer late, read 0 once, restart and wrap at 2^32; the track tells these
// apart as far as two readings can.
class CounterTrack {
public:
    // 10 Gbit/s: a counter that grew faster was reset or misread in between.
    static constexpr std::int64_t plausibleBytesPerMillisecond = 1'250'000;

    // How long a counter's last rate is shown while no newer reading exists, in milliseconds. A
    // poller reads every half period plus the answer's time; home routers under load take up to
    // 1.5 s to answer, and a failed exchange costs another half period before the retry. Four
    // periods, and never less than 3 s, cover that; a counter silent for longer is more likely
    // gone than slow, and shows 0.
    static std::uint32_t holdBound(std::uint32_t refreshPeriod);

    // The rate to show for the counter's latest reading at `now` (steady milliseconds modulo
    // 2^32, like the reading's time). The first published reading starts the track and gives 0.
    //
    // A counter not read again shows its last rate until the hold bound. A reading less than half
    // a period after the last one measures single packets: it is held like one not read again,
    // and the next reading is measured from the older one. A reading that falls, drops to 0 or
    // jumps further than any link could is held as well, and the reading after it decides: back at
    // or above the last good reading, it was a glitch and the bytes count over the whole span from
    // that reading; growing on from the low value, the counter was reset and counts from there.
    // When both fit (across the wrap at 2^32 every value lies ahead of another), the one whose rate
    // is closer to the last rate wins.
    std::uint32_t measure(const CounterReading& reading, std::uint32_t now,
                          std::uint32_t refreshPeriod);
    void reset() { *this = CounterTrack(); }
    // The bytes of every step measured since the track started: glitches, resets and the wrap
    // add nothing false.
    std::uint64_t countedBytes() const { return countedBytes_; }

private:
    struct Step {
        std::int32_t bytes = 0; // modulo 2^32, read as signed: a wrap counts forward
        std::int32_t span = 0;  // milliseconds
        bool plausible() const;
    };

    static Step stepBetween(const CounterReading& from, const CounterReading& to);
    std::uint32_t resolveSuspect(const CounterReading& reading, std::uint32_t now,
                                 std::uint32_t refreshPeriod);
    std::uint32_t distanceFromRate(Step step) const;
    std::uint32_t accept(const CounterReading& reading, Step step);
    std::uint32_t held(std::uint32_t now, std::uint32_t refreshPeriod) const;

    bool started_ = false;
    // The reading the next one is measured from; while a suspect reading is pending, that one.
    CounterReading base_;
    // The last good reading before a suspect one, and whether that one fell below it (else it
    // jumped too far ahead).
    bool suspect_ = false;
    bool fell_ = false;
    CounterReading lastGood_;
    std::uint32_t rate_ = 0;
    std::uint64_t countedBytes_ = 0;
};

} // namespace kestrum
