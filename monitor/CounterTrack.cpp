#include "monitor/CounterTrack.h"

#include <algorithm>

namespace kestrum {

namespace {

constexpr std::uint32_t holdPeriods = 4;
constexpr std::uint32_t minimumHold = 3000;

// A counter that reads exactly 0 after another value glitched or was reset: a wrap landing on 0
// is too rare to count it forward, and from a value above 2^31 the step would look like one.
bool dropsToZero(const CounterReading& from, const CounterReading& to) {
    return to.value == 0 && from.value != 0;
}

} // namespace

std::uint32_t CounterTrack::holdBound(std::uint32_t refreshPeriod) {
    return std::max(refreshPeriod * holdPeriods, minimumHold);
}

bool CounterTrack::Step::plausible() const {
    return span > 0 && bytes >= 0 && bytes <= plausibleBytesPerMillisecond * span;
}

CounterTrack::Step CounterTrack::stepBetween(const CounterReading& from, const CounterReading& to) {
    // Readings more than 2^31 ms (24.8 days) apart read as going back, which measures nothing.
    return {static_cast<std::int32_t>(to.value - from.value),
            static_cast<std::int32_t>(to.takenAt - from.takenAt)};
}

std::uint32_t CounterTrack::measure(const CounterReading& reading, std::uint32_t now,
                                    std::uint32_t refreshPeriod) {
    if (!reading.published) {
        return 0;
    }
    if (!started_) {
        started_ = true;
        base_ = reading;
        return 0;
    }
    const Step step = stepBetween(base_, reading);
    if (step.span <= 0) {
        return held(now, refreshPeriod);
    }
    if (static_cast<std::uint32_t>(step.span) < refreshPeriod / 2) {
        return held(now, refreshPeriod);
    }
    if (suspect_) {
        return resolveSuspect(reading, now, refreshPeriod);
    }
    if (step.plausible() && !dropsToZero(base_, reading)) {
        return accept(reading, step);
    }
    suspect_ = true;
    fell_ = step.bytes < 0 || dropsToZero(base_, reading);
    lastGood_ = base_;
    base_ = reading;
    return held(now, refreshPeriod);
}

std::uint32_t CounterTrack::resolveSuspect(const CounterReading& reading, std::uint32_t now,
                                           std::uint32_t refreshPeriod) {
    const Step fromGood = stepBetween(lastGood_, reading);
    const Step fromLow = stepBetween(base_, reading);
    const bool back = fromGood.plausible() && !dropsToZero(lastGood_, reading);
    // A low value read again is what a glitch repeated looks like; a high one read again is the
    // counter's new value.
    const bool growsOn = fromLow.plausible() && (fromLow.bytes > 0 || !fell_);
    if (back && (!growsOn || distanceFromRate(fromGood) <= distanceFromRate(fromLow))) {
        suspect_ = false;
        return accept(reading, fromGood);
    }
    if (growsOn) {
        suspect_ = false;
        return accept(reading, fromLow);
    }
    // Still low, or lower: wait for a reading that decides.
    base_ = reading;
    return held(now, refreshPeriod);
}

// How far the step's rate lies from the last one: traffic changes less than a misread counter.
std::uint32_t CounterTrack::distanceFromRate(Step step) const {
    const auto rate = static_cast<std::uint32_t>(step.bytes / step.span);
    return rate > rate_ ? rate - rate_ : rate_ - rate;
}

std::uint32_t CounterTrack::accept(const CounterReading& reading, Step step) {
    // The plausibility bound keeps the quotient within 1 250 000.
    rate_ = static_cast<std::uint32_t>(step.bytes / step.span);
    countedBytes_ += static_cast<std::uint32_t>(step.bytes);
    base_ = reading;
    return rate_;
}

// The last rate while its good reading is recent. The update may read the clock a moment before
// the poller stored its reading, so a reading from the future is a fresh one.
std::uint32_t CounterTrack::held(std::uint32_t now, std::uint32_t refreshPeriod) const {
    const std::uint32_t lastGoodAt = suspect_ ? lastGood_.takenAt : base_.takenAt;
    const auto age = static_cast<std::int32_t>(now - lastGoodAt);
    return age <= static_cast<std::int32_t>(holdBound(refreshPeriod)) ? rate_ : 0;
}

} // namespace kestrum
