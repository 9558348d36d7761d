#include "monitor/TrafficRateMeter.h"

namespace kestrum {

namespace {

// The counters wrap at 2^32, so the difference is taken modulo 2^32 and read as signed: a small
// step past the wrap counts forward, a counter that went back (the gateway restarted or reset
// it) gives a negative delta, which measures nothing. So does a step faster than the fastest
// link, which is a restart read across the wrap (3 000 000 000, then 5 000) and no traffic.
std::uint32_t rate(std::uint32_t current, std::uint32_t last, std::int32_t elapsed) {
    const auto delta = static_cast<std::int32_t>(current - last);
    if (delta <= 0 || delta > TrafficRateMeter::plausibleBytesPerMillisecond * elapsed) {
        return 0;
    }
    // Bytes per millisecond are thousands of bytes per second; the plausibility bound keeps the
    // quotient within 1 250 000.
    return static_cast<std::uint32_t>(delta / elapsed);
}

} // namespace

TrafficRateMeter::Result TrafficRateMeter::sample(std::int64_t now, Reading received, Reading sent,
                                                  std::uint32_t scale,
                                                  std::uint32_t refreshPeriod) {
    if (scale == 0) {
        return {};
    }
    if (!hasSample_) {
        store(now, received, sent);
        return {Outcome::FirstSample, 0, 0};
    }
    const std::int64_t elapsed = now - lastTime_;
    if (elapsed < 0) {
        // The wall clock was set back: no interval to measure over. Start again from here.
        store(now, received, sent);
        return {Outcome::Rates, 0, 0};
    }
    if (elapsed == 0 || elapsed < refreshPeriod) {
        return {};
    }
    lastTime_ = now;
    return {Outcome::Rates, measure(received_, received, refreshPeriod),
            measure(sent_, sent, refreshPeriod)};
}

std::uint32_t TrafficRateMeter::measure(Track& track, Reading reading,
                                        std::uint32_t refreshPeriod) {
    // Read as signed: readings more than 2^31 ms (24.8 days) apart measure nothing.
    const auto span = static_cast<std::int32_t>(reading.takenAt - track.last.takenAt);
    if (span > 0 && static_cast<std::uint32_t>(span) < refreshPeriod / 2) {
        return track.rate;
    }
    track.rate = span > 0 ? rate(reading.value, track.last.value, span) : 0;
    track.last = reading;
    return track.rate;
}

void TrafficRateMeter::store(std::int64_t now, Reading received, Reading sent) {
    hasSample_ = true;
    lastTime_ = now;
    received_ = {received, 0};
    sent_ = {sent, 0};
}

} // namespace kestrum
