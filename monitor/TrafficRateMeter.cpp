#include "monitor/TrafficRateMeter.h"

namespace kestrum {

namespace {

// The counters wrap at 2^32, so the difference is taken modulo 2^32 and read as signed: a small
// step past the wrap counts forward, a counter that went back (the gateway restarted or reset
// it) gives a negative delta, which measures nothing. So does a step faster than the fastest
// link, which is a restart read across the wrap (3 000 000 000, then 5 000) and no traffic.
std::uint32_t rate(std::uint32_t current, std::uint32_t last, std::int64_t elapsed) {
    const auto delta = static_cast<std::int32_t>(current - last);
    if (delta <= 0 || delta > TrafficRateMeter::plausibleBytesPerMillisecond * elapsed) {
        return 0;
    }
    // Bytes per millisecond are thousands of bytes per second; the plausibility bound keeps the
    // quotient within 1 250 000.
    return static_cast<std::uint32_t>(delta / elapsed);
}

} // namespace

TrafficRateMeter::Result TrafficRateMeter::sample(std::int64_t now, std::uint32_t received,
                                                  std::uint32_t sent, std::uint32_t scale,
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
    Result result{Outcome::Rates, rate(received, lastReceived_, elapsed),
                  rate(sent, lastSent_, elapsed)};
    store(now, received, sent);
    return result;
}

void TrafficRateMeter::store(std::int64_t now, std::uint32_t received, std::uint32_t sent) {
    hasSample_ = true;
    lastTime_ = now;
    lastReceived_ = received;
    lastSent_ = sent;
}

} // namespace kestrum
