#pragma once

#include "monitor/CounterTrack.h"
#include "monitor/MonitorSnapshot.h"

#include <cstdint>

namespace kestrum {

// Turns successive readings of the gateway's byte counters into a receive and a send rate in
// thousands of bytes per second: the sums over every WAN device, each counter measured by its
// own track. Lives on the user-interface thread.
class TrafficRateMeter {
public:
    enum class Outcome { Skipped, FirstSample, Rates };

    struct Result {
        Outcome outcome = Outcome::Skipped;
        std::uint32_t received = 0;
        std::uint32_t sent = 0;
        // Bytes of the steps this sample measured, for the totals.
        std::uint64_t receivedBytes = 0;
        std::uint64_t sentBytes = 0;
    };

    // now is steady milliseconds, the clock the readings' times come from. The rates are the
    // measured ones, whatever the scale: it sizes the graph only, and scale 0 skips every call.
    // A call less than one refresh period after the stored one is skipped, so the next call
    // measures from it. The first call, and one after the number of WAN devices changed, starts
    // afresh.
    Result sample(std::int64_t now, const MonitorSnapshot& snapshot, std::uint32_t scale,
                  std::uint32_t refreshPeriod);

    // Forgets the stored sample: the next call starts afresh with a first sample.
    void reset() { hasSample_ = false; }
    bool hasSample() const { return hasSample_; }

private:
    bool hasSample_ = false;
    std::int64_t lastTime_ = 0;
    int wanCount_ = 0;
    CounterTrack received_[MonitorSnapshot::maximumWans];
    CounterTrack sent_[MonitorSnapshot::maximumWans];
};

} // namespace kestrum
