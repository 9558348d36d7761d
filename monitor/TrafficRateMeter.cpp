#include "monitor/TrafficRateMeter.h"

namespace kestrum {

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
    Result result{Outcome::Rates, 0, 0};
    const auto at = static_cast<std::uint32_t>(now);
    for (int wan = 0; wan < wanCount_; ++wan) {
        result.received += received_[wan].measure(snapshot.wans[wan].received, at, refreshPeriod);
        result.sent += sent_[wan].measure(snapshot.wans[wan].sent, at, refreshPeriod);
    }
    // The first readings only start the tracks.
    return fresh ? Result{Outcome::FirstSample, 0, 0} : result;
}

} // namespace kestrum
