#include "monitor/TrafficRateMeter.h"

namespace kestrum {

namespace {

// The track's rate, adding the bytes of the step it measured to `bytes`.
std::uint32_t measure(CounterTrack& track, const CounterReading& reading, std::uint32_t at,
                      std::uint32_t refreshPeriod, std::uint64_t& bytes) {
    const std::uint64_t before = track.countedBytes();
    const std::uint32_t rate = track.measure(reading, at, refreshPeriod);
    bytes += track.countedBytes() - before;
    return rate;
}

} // namespace

TrafficRateMeter::Result TrafficRateMeter::sample(std::int64_t now, const MonitorSnapshot& snapshot,
                                                  std::uint32_t scale,
                                                  std::uint32_t refreshPeriod) {
    if (scale == 0) {
        return {};
    }
    const bool fresh = !hasSample_ || snapshot.wanDevices() != wanCount_;
    if (fresh) {
        hasSample_ = true;
        wanCount_ = snapshot.wanDevices();
        for (int wan = 0; wan < MonitorSnapshot::maximumWans; ++wan) {
            received_[wan].reset();
            sent_[wan].reset();
        }
    } else if (now - lastTime_ < refreshPeriod) {
        return {};
    }
    lastTime_ = now;
    // Each rate stays within 1 250 000, so the sum of a few cannot overflow.
    Result result{Outcome::Rates};
    const auto at = static_cast<std::uint32_t>(now);
    for (int wan = 0; wan < wanCount_; ++wan) {
        result.received += measure(received_[wan], snapshot.wans[wan].received, at, refreshPeriod,
                                   result.receivedBytes);
        result.sent +=
            measure(sent_[wan], snapshot.wans[wan].sent, at, refreshPeriod, result.sentBytes);
    }
    // The first readings only start the tracks.
    return fresh ? Result{Outcome::FirstSample, 0, 0} : result;
}

} // namespace kestrum
