#include "monitor/TrafficRateMeter.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

using Outcome = TrafficRateMeter::Outcome;

constexpr std::int64_t start = 1'700'000'000'000; // an ordinary wall-clock time
constexpr std::uint32_t scale = 1'000'000;
constexpr std::uint32_t period = 500;

TEST(TrafficRateMeterTest, FirstCallStoresTheSampleAndLaterCallsMeasurePerSecond) {
    TrafficRateMeter meter;
    EXPECT_EQ(meter.sample(start, 5'000'000, 7'000'000, scale, period).outcome,
              Outcome::FirstSample);

    // 1 000 000 bytes in one second are 1000 thousand bytes per second, whatever the period.
    const auto result = meter.sample(start + 1000, 6'000'000, 7'500'000, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 1000u);
    EXPECT_EQ(result.sent, 500u);

    // Measured from the sample just stored: 1 000 000 bytes over 2 s.
    const auto next = meter.sample(start + 3000, 7'000'000, 7'500'000, scale, period);
    EXPECT_EQ(next.received, 500u);
    EXPECT_EQ(next.sent, 0u);
}

TEST(TrafficRateMeterTest, CallsWithinOnePeriodAreSkippedAndMeasuredFromTheOlderSample) {
    TrafficRateMeter meter;
    meter.sample(start, 0, 0, scale, period);
    EXPECT_EQ(meter.sample(start + 499, 499'000, 0, scale, period).outcome, Outcome::Skipped);
    EXPECT_EQ(meter.sample(start, 499'000, 0, scale, period).outcome, Outcome::Skipped);

    const auto result = meter.sample(start + 999, 999'000, 0, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 1000u);
}

// The scale sizes the graph only: the rates are what the counters say, also far above it.
TEST(TrafficRateMeterTest, RatesAreMeasuredWhateverTheScale) {
    const struct {
        std::uint32_t scale;
        std::uint32_t bytesInASecond;
        std::uint32_t rate;
    } cases[] = {
        {30, 29'999, 29},         // just below
        {30, 30'000, 30},         // at
        {30, 30'999, 30},         // above by less than one unit
        {30, 45'000, 45},         // above
        {30, 12'500'000, 12'500}, // 100 Mbit/s, far above
        {1, 1'250'000'000, 1'250'000},
        {1'000'000, 12'500'000, 12'500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytesInASecond << " at scale " << c.scale);
        TrafficRateMeter meter;
        meter.sample(start, 1'000, 2'000, c.scale, period);
        const auto result = meter.sample(start + 1000, 1'000 + c.bytesInASecond,
                                         2'000 + c.bytesInASecond / 2, c.scale, period);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, c.rate);
        EXPECT_EQ(result.sent, c.rate / 2);
    }
}

TEST(TrafficRateMeterTest, ScaleZeroSkipsEveryCallAndStoresNothing) {
    TrafficRateMeter meter;
    EXPECT_EQ(meter.sample(start, 100, 100, 0, period).outcome, Outcome::Skipped);
    EXPECT_FALSE(meter.hasSample());

    meter.sample(start, 0, 0, scale, period);
    EXPECT_EQ(meter.sample(start + 1000, 50'000, 0, 0, period).outcome, Outcome::Skipped);
    // The sample of before the scale-0 call is still the one measured from.
    EXPECT_EQ(meter.sample(start + 2000, 50'000, 0, scale, period).received, 25u);
}

TEST(TrafficRateMeterTest, CounterWrapCountsForward) {
    TrafficRateMeter meter;
    meter.sample(start, 4'294'967'000u, 0xFFFFFFFFu, scale, period);
    const auto result = meter.sample(start + 1, 200, 999, scale, 1);
    // 496 and 1000 bytes in one millisecond.
    EXPECT_EQ(result.received, 496u);
    EXPECT_EQ(result.sent, 1000u);
}

TEST(TrafficRateMeterTest, CounterGoingBackMeasuresNothingAndBecomesTheBaseline) {
    TrafficRateMeter meter;
    meter.sample(start, 900'000'000, 5'000'000, scale, period);
    // The gateway restarted.
    auto result = meter.sample(start + 1000, 3'000, 0, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 0u);
    EXPECT_EQ(result.sent, 0u);

    result = meter.sample(start + 2000, 1'003'000, 2'000, scale, period);
    EXPECT_EQ(result.received, 1000u);
    EXPECT_EQ(result.sent, 2u);
}

// Differences around 0, 2^31 and 2^32 over several elapsed times; faster than 10 Gbit/s
// (1 250 000 bytes per millisecond) is a reset, like a counter going back: rate 0, and the
// reading becomes the baseline of the next.
TEST(TrafficRateMeterTest, DifferencesCountOnlyWhenPlausibleForTheTimeElapsed) {
    constexpr std::uint32_t top = 0xFFFFFFFFu;
    constexpr std::uint32_t half = 0x80000000u;
    const struct {
        std::uint32_t last;
        std::uint32_t current;
        std::int64_t elapsed;
        std::uint32_t rate;
    } cases[] = {
        {0, 0, 1, 0},
        {0, 1'250'000, 1, 1'250'000},
        {0, 1'250'001, 1, 0},
        {0, 625'000'000, 500, 1'250'000},
        {0, 625'000'001, 500, 0},
        {top - 295, 200, 1, 496}, // the wrap counts forward
        {top, 0, 1, 1},
        {half - 1, half + 499'999, 500, 1000},
        {3'000'000'000u, 5'000, 500, 0}, // a restart read across the wrap
        {3'000'000'000u, 5'000, 1000, 0},
        {3'000'000'000u, 5'000, 2000, 647'486}, // as plausible as real traffic
        {5'000, 3'000'000'000u, 4000, 0},
        {half, 0, 500, 0},
        {half - 1, 0, 500, 0},
        {0, half - 1, 1000, 0},
        {0, half - 1, 2000, 1'073'741},
        {0, half, 4000, 0},
        {900'000'000, 3'000, 1000, 0},
        {5'000'000, 4'999'700, 500, 0}, // a router stepping back a few hundred bytes
        {half + 300, half, 500, 0},
        {300, top - 99, 500, 0}, // back across the wrap
        {top, top, 4000, 0},
    };
    for (const auto& [last, current, elapsed, expected] : cases) {
        SCOPED_TRACE(testing::Message() << last << " -> " << current << " in " << elapsed);
        TrafficRateMeter meter;
        meter.sample(start, last, last, 0xFFFFFFFFu, 1);
        const auto result = meter.sample(start + elapsed, current, current, 0xFFFFFFFFu, 1);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, expected);
        EXPECT_EQ(result.sent, expected);
        // Measured from this reading, whatever it was.
        EXPECT_EQ(meter.sample(start + elapsed + 1000, current + 2000, current, scale, 1).received,
                  2u);
    }
}

// The bytes between two readings divided by the time between them, whenever the calls come:
// 100 KB/s read late after a stall is still 100, not a burst over the call's interval. The reading
// times are a steady clock's milliseconds modulo 2^32.
TEST(TrafficRateMeterTest, EachCounterIsMeasuredOverTheTimeBetweenItsReadings) {
    constexpr std::uint32_t top = 0xFFFFFFFFu;
    const struct {
        const char* what;
        std::uint32_t firstAt;
        std::uint32_t takenAt;
        std::uint32_t bytes;
        std::uint32_t rate;
    } cases[] = {
        {"on time", 5'000, 5'100, 10'000, 100},
        {"late after a second's stall", 5'000, 6'100, 110'000, 100},
        {"early", 5'000, 5'060, 6'000, 100},
        {"not read again", 5'000, 5'000, 0, 0},
        {"across the clock's wrap", top - 49, 50, 10'000, 100},
        {"2^31 - 1 ms later", 0, 0x7FFFFFFFu, 0x7FFFFFFFu, 1}, // 24.8 days
        {"2^31 ms later reads as before", 0, 0x80000000u, 0x7FFFFFFFu, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TrafficRateMeter meter;
        const auto sentAt = static_cast<std::uint32_t>(start);
        meter.sample(start, {7, c.firstAt}, {7, sentAt}, scale, 100);
        const auto result =
            meter.sample(start + 100, {7 + c.bytes, c.takenAt}, {9'007, sentAt + 100}, scale, 100);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, c.rate);
        EXPECT_EQ(result.sent, 90u); // the other counter over its own time
    }
}

// A reading less than half a period after the stored one measures single packets: the rate
// before is shown again, and the next reading is measured from the older one.
TEST(TrafficRateMeterTest, AReadingTooSoonAfterTheLastRepeatsTheRateBefore) {
    TrafficRateMeter meter;
    meter.sample(start, {0, 1'000}, {0, 1'000}, scale, 100);
    EXPECT_EQ(meter.sample(start + 100, {10'000, 1'100}, {0, 1'100}, scale, 100).received, 100u);
    const auto soon = meter.sample(start + 200, {19'000, 1'149}, {0, 1'149}, scale, 100);
    EXPECT_EQ(soon.outcome, Outcome::Rates);
    EXPECT_EQ(soon.received, 100u);
    EXPECT_EQ(meter.sample(start + 300, {30'000, 1'300}, {0, 1'300}, scale, 100).received, 100u);
    // Half a period exactly is long enough.
    EXPECT_EQ(meter.sample(start + 400, {40'000, 1'350}, {0, 1'350}, scale, 100).received, 200u);
}

TEST(TrafficRateMeterTest, ClockSetBackGivesZeroAndRestartsFromTheNewTime) {
    TrafficRateMeter meter;
    meter.sample(start, 0, 0, scale, period);
    auto result = meter.sample(start - 3'600'000, 10'000'000, 10'000'000, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 0u);
    EXPECT_EQ(result.sent, 0u);

    result = meter.sample(start - 3'600'000 + 1000, 11'000'000, 10'500'000, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 1000u);
    EXPECT_EQ(result.sent, 500u);
}

TEST(TrafficRateMeterTest, ResetMakesTheNextCallAFirstSample) {
    TrafficRateMeter meter;
    meter.sample(start, 0, 0, scale, period);
    meter.reset();
    EXPECT_EQ(meter.sample(start + 1000, 4'000'000'000u, 0, scale, period).outcome,
              Outcome::FirstSample);
    EXPECT_EQ(meter.sample(start + 2000, 4'000'001'000u, 0, scale, period).received, 1u);
}

} // namespace
} // namespace kestrum::test
