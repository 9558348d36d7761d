#pragma once

#include <cstdint>

namespace kestrum {

// Turns successive readings of the gateway's two 32-bit byte counters into a receive and a send
// rate in thousands of bytes per second. Lives on the user-interface thread.
class TrafficRateMeter {
public:
    enum class Outcome { Skipped, FirstSample, Rates };

    // 10 Gbit/s: a counter that grew faster was reset in between, so it gives rate 0 and
    // becomes the new baseline, like one that went back.
    static constexpr std::int64_t plausibleBytesPerMillisecond = 1'250'000;

    struct Result {
        Outcome outcome = Outcome::Skipped;
        std::uint32_t received = 0;
        std::uint32_t sent = 0;
    };

    // One counter's value and when it was read: milliseconds of a clock that never goes back,
    // modulo 2^32.
    struct Reading {
        std::uint32_t value = 0;
        std::uint32_t takenAt = 0;
    };

    // now is wall-clock milliseconds. The rates are the measured ones, whatever the scale: it
    // sizes the graph only, and scale 0 skips every call. A call less than one refresh period
    // after the stored sample is skipped and keeps that sample, so the next call measures from
    // it.
    //
    // Each counter is measured over the time between its own readings, not between calls: a
    // reading held up by a stalled machine or a slow gateway and then taken late spreads its bytes
    // over the time they took instead of showing them as a burst. A counter not read again since
    // the stored sample gives 0. One read again after less than half a refresh period keeps its
    // older reading and repeats its last rate, as a span that short measures single packets.
    Result sample(std::int64_t now, Reading received, Reading sent, std::uint32_t scale,
                  std::uint32_t refreshPeriod);
    // Both counters read at `now`.
    Result sample(std::int64_t now, std::uint32_t received, std::uint32_t sent, std::uint32_t scale,
                  std::uint32_t refreshPeriod) {
        const auto takenAt = static_cast<std::uint32_t>(now);
        return sample(now, Reading{received, takenAt}, Reading{sent, takenAt}, scale,
                      refreshPeriod);
    }

    // Forgets the stored sample: the next call starts afresh with a first sample.
    void reset() { hasSample_ = false; }
    bool hasSample() const { return hasSample_; }

private:
    struct Track {
        Reading last;
        std::uint32_t rate = 0;
    };

    void store(std::int64_t now, Reading received, Reading sent);
    static std::uint32_t measure(Track& track, Reading reading, std::uint32_t refreshPeriod);

    bool hasSample_ = false;
    std::int64_t lastTime_ = 0;
    Track received_;
    Track sent_;
};

} // namespace kestrum
