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

    // now is wall-clock milliseconds. The rates are the measured ones, whatever the scale: it
    // sizes the graph only, and scale 0 skips every call. A call less than one refresh period
    // after the stored sample is skipped and keeps that sample, so the next call measures from
    // it.
    Result sample(std::int64_t now, std::uint32_t received, std::uint32_t sent, std::uint32_t scale,
                  std::uint32_t refreshPeriod);

    // Forgets the stored sample: the next call starts afresh with a first sample.
    void reset() { hasSample_ = false; }
    bool hasSample() const { return hasSample_; }

private:
    void store(std::int64_t now, std::uint32_t received, std::uint32_t sent);

    bool hasSample_ = false;
    std::int64_t lastTime_ = 0;
    std::uint32_t lastReceived_ = 0;
    std::uint32_t lastSent_ = 0;
};

} // namespace kestrum
