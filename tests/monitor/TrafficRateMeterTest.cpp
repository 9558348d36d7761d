#include "monitor/TrafficRateMeter.h"

#include "tests/support/CounterReadings.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

using Outcome = TrafficRateMeter::Outcome;

constexpr std::int64_t start = 86'400'000; // steady milliseconds: a day after boot
constexpr std::uint32_t scale = 1'000'000;
constexpr std::uint32_t period = 500;

// One WAN device whose two counters were read by the update at now.
MonitorSnapshot both(std::uint32_t received, std::uint32_t sent, std::int64_t now) {
    MonitorSnapshot snapshot;
    readCounters(snapshot, 0, received, sent, static_cast<std::uint32_t>(now));
    return snapshot;
}

// One WAN device whose counters were read at their own times.
MonitorSnapshot apart(CounterReading received, CounterReading sent) {
    MonitorSnapshot snapshot;
    snapshot.countersPublished = true;
    snapshot.wanCount = 1;
    snapshot.wans[0] = {received, sent};
    return snapshot;
}

TrafficRateMeter::Result measure(TrafficRateMeter& meter, std::int64_t now, std::uint32_t received,
                                 std::uint32_t sent, std::uint32_t meterScale = scale,
                                 std::uint32_t refreshPeriod = period) {
    return meter.sample(now, both(received, sent, now), meterScale, refreshPeriod);
}

TEST(TrafficRateMeterTest, FirstCallStoresTheSampleAndLaterCallsMeasurePerSecond) {
    TrafficRateMeter meter;
    EXPECT_EQ(measure(meter, start, 5'000'000, 7'000'000, scale, period).outcome,
              Outcome::FirstSample);

    // 1 000 000 bytes in one second are 1000 thousand bytes per second, whatever the period.
    const auto result = measure(meter, start + 1000, 6'000'000, 7'500'000, scale, period);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 1000u);
    EXPECT_EQ(result.sent, 500u);

    // Measured from the sample just stored: 1 000 000 bytes over 2 s.
    const auto next = measure(meter, start + 3000, 7'000'000, 7'500'000, scale, period);
    EXPECT_EQ(next.received, 500u);
    EXPECT_EQ(next.sent, 0u);
}

TEST(TrafficRateMeterTest, CallsWithinOnePeriodAreSkippedAndMeasuredFromTheOlderSample) {
    TrafficRateMeter meter;
    measure(meter, start, 0, 0, scale, period);
    EXPECT_EQ(measure(meter, start + 499, 499'000, 0, scale, period).outcome, Outcome::Skipped);
    EXPECT_EQ(measure(meter, start, 499'000, 0, scale, period).outcome, Outcome::Skipped);

    const auto result = measure(meter, start + 999, 999'000, 0, scale, period);
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
        measure(meter, start, 1'000, 2'000, c.scale, period);
        const auto result = measure(meter, start + 1000, 1'000 + c.bytesInASecond,
                                    2'000 + c.bytesInASecond / 2, c.scale, period);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, c.rate);
        EXPECT_EQ(result.sent, c.rate / 2);
    }
}

TEST(TrafficRateMeterTest, ScaleZeroSkipsEveryCallAndStoresNothing) {
    TrafficRateMeter meter;
    EXPECT_EQ(measure(meter, start, 100, 100, 0, period).outcome, Outcome::Skipped);
    EXPECT_FALSE(meter.hasSample());

    measure(meter, start, 0, 0, scale, period);
    EXPECT_EQ(measure(meter, start + 1000, 50'000, 0, 0, period).outcome, Outcome::Skipped);
    // The sample of before the scale-0 call is still the one measured from.
    EXPECT_EQ(measure(meter, start + 2000, 50'000, 0, scale, period).received, 25u);
}

TEST(TrafficRateMeterTest, CounterWrapCountsForward) {
    TrafficRateMeter meter;
    measure(meter, start, 4'294'967'000u, 0xFFFFFFFFu, scale, period);
    const auto result = measure(meter, start + 1, 200, 999, scale, 1);
    // 496 and 1000 bytes in one millisecond.
    EXPECT_EQ(result.received, 496u);
    EXPECT_EQ(result.sent, 1000u);
}

TEST(TrafficRateMeterTest, ACounterThatFallsAndGrowsOnFromThereWasReset) {
    TrafficRateMeter meter;
    measure(meter, start, 900'000'000, 5'000'000);
    // The gateway restarted: the fall itself shows the last rate, 0 here.
    auto result = measure(meter, start + 1000, 3'000, 0);
    EXPECT_EQ(result.outcome, Outcome::Rates);
    EXPECT_EQ(result.received, 0u);
    EXPECT_EQ(result.sent, 0u);

    result = measure(meter, start + 2000, 1'003'000, 2'000);
    EXPECT_EQ(result.received, 1000u);
    EXPECT_EQ(result.sent, 2u);
}

// Differences around 0, 2^31 and 2^32 over several elapsed times. A fall, a drop to 0 and a step
// faster than 10 Gbit/s (1 250 000 bytes per millisecond) show the last rate, 0 here; the next
// reading, 2000 bytes more a second later, tells a glitch (measured from the reading before) from
// a reset (measured from this one).
TEST(TrafficRateMeterTest, DifferencesCountOnlyWhenPlausibleForTheTimeElapsed) {
    constexpr std::uint32_t top = 0xFFFFFFFFu;
    constexpr std::uint32_t half = 0x80000000u;
    const struct {
        std::uint32_t last;
        std::uint32_t current;
        std::int64_t elapsed;
        std::uint32_t rate;
        std::uint32_t next; // the rate a second later
    } cases[] = {
        {0, 0, 1, 0, 2},
        {0, 1'250'000, 1, 1'250'000, 2},
        {0, 1'250'001, 1, 0, 2},
        {0, 625'000'000, 500, 1'250'000, 2},
        {0, 625'000'001, 500, 0, 2},
        {top - 295, 200, 1, 496, 2}, // the wrap counts forward
        {top, 0, 1, 0, 1},           // a drop to 0 is suspect, even one step forward
        {half - 1, half + 499'999, 500, 1000, 2},
        {3'000'000'000u, 5'000, 500, 0, 2}, // a restart read across the wrap
        {3'000'000'000u, 5'000, 1000, 0, 2},
        {3'000'000'000u, 5'000, 2000, 647'486, 2}, // as plausible as real traffic
        {5'000, 3'000'000'000u, 4000, 0, 2},
        {half, 0, 500, 0, 2},
        {half - 1, 0, 500, 0, 2},
        {0, half - 1, 1000, 0, 2},
        {0, half - 1, 2000, 1'073'741, 2},
        {0, half, 4000, 0, 2},
        {900'000'000, 3'000, 1000, 0, 2},
        {5'000'000, 4'999'700, 500, 0, 1}, // a router stepping back a few hundred bytes
        {half + 300, half, 500, 0, 1},
        {300, top - 99, 500, 0, 1}, // back across the wrap
        {top, top, 4000, 0, 2},
    };
    for (const auto& [last, current, elapsed, expected, next] : cases) {
        SCOPED_TRACE(testing::Message() << last << " -> " << current << " in " << elapsed);
        TrafficRateMeter meter;
        measure(meter, start, last, last, 0xFFFFFFFFu, 1);
        const auto result = measure(meter, start + elapsed, current, current, 0xFFFFFFFFu, 1);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, expected);
        EXPECT_EQ(result.sent, expected);
        EXPECT_EQ(
            measure(meter, start + elapsed + 1000, current + 2000, current, scale, 1).received,
            next);
    }
}

// The bytes between two readings divided by the time between them, whenever the calls come:
// 100 KB/s read late after a stall is still 100, not a burst over the call's interval. The reading
// times are the steady clock's milliseconds modulo 2^32, like the calls'.
TEST(TrafficRateMeterTest, EachCounterIsMeasuredOverTheTimeBetweenItsReadings) {
    constexpr auto at = static_cast<std::uint32_t>(start);
    const struct {
        const char* what;
        std::uint32_t firstAt;
        std::uint32_t takenAt;
        std::uint32_t bytes;
        std::uint32_t rate;
    } cases[] = {
        {"on time", at, at + 100, 10'000, 100},
        {"late after a second's stall", at - 1000, at + 100, 110'000, 100},
        {"early", at, at + 60, 6'000, 100},
        {"not read again", at, at, 0, 0},
        {"2^31 - 1 ms later", at - 0x7FFFFFFFu + 100, at + 100, 0x7FFFFFFFu, 1}, // 24.8 days
        {"2^31 ms later reads as before", at - 0x80000000u + 100, at + 100, 0x7FFFFFFFu, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TrafficRateMeter meter;
        meter.sample(start, apart(reading(7, c.firstAt), reading(7, at)), scale, 100);
        const auto result = meter.sample(
            start + 100, apart(reading(7 + c.bytes, c.takenAt), reading(9'007, at + 100)), scale,
            100);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, c.rate);
        EXPECT_EQ(result.sent, 90u); // the other counter over its own time
    }
}

TEST(TrafficRateMeterTest, AcrossTheWrapOfTheClocksLowBits) {
    constexpr std::int64_t wrapStart = 0x1FFFFFFCEll; // the low 32 bits wrap 50 ms later
    TrafficRateMeter meter;
    measure(meter, wrapStart, 0, 0, scale, 100);
    EXPECT_EQ(measure(meter, wrapStart + 100, 10'000, 5'000, scale, 100).received, 100u);
    EXPECT_EQ(measure(meter, wrapStart + 200, 20'000, 10'000, scale, 100).sent, 50u);
}

// A reading less than half a period after the stored one measures single packets: the rate
// before is shown again, and the next reading is measured from the older one.
TEST(TrafficRateMeterTest, AReadingTooSoonAfterTheLastRepeatsTheRateBefore) {
    constexpr auto at = static_cast<std::uint32_t>(start);
    TrafficRateMeter meter;
    const auto readAt = [&](std::uint32_t value, std::uint32_t offset, std::int64_t call) {
        return meter.sample(
            start + call, apart(reading(value, at + offset), reading(0, at + offset)), scale, 100);
    };
    readAt(0, 0, 0);
    EXPECT_EQ(readAt(10'000, 100, 100).received, 100u);
    const auto soon = readAt(19'000, 149, 200);
    EXPECT_EQ(soon.outcome, Outcome::Rates);
    EXPECT_EQ(soon.received, 100u);
    EXPECT_EQ(readAt(30'000, 300, 300).received, 100u);
    // Half a period exactly is long enough.
    EXPECT_EQ(readAt(40'000, 350, 400).received, 200u);
}

// The calls and the readings share the steady clock, which never goes back: a counter not read
// again shows its last rate until the hold bound after its reading (3 s at this period), then 0.
TEST(TrafficRateMeterTest, ACounterNotReadAgainKeepsItsRateForAWhileOnTheSameClock) {
    TrafficRateMeter meter;
    measure(meter, start, 0, 0);
    const MonitorSnapshot last = both(500'000, 250'000, start + 1000);
    auto result = meter.sample(start + 1000, last, scale, period);
    EXPECT_EQ(result.received, 500u);
    EXPECT_EQ(result.sent, 250u);
    for (std::int64_t later = 500; later <= 3000; later += 500) {
        result = meter.sample(start + 1000 + later, last, scale, period);
        EXPECT_EQ(result.outcome, Outcome::Rates) << later;
        EXPECT_EQ(result.received, 500u) << later;
        EXPECT_EQ(result.sent, 250u) << later;
    }
    result = meter.sample(start + 4001, last, scale, period);
    EXPECT_EQ(result.received + result.sent, 0u);
    // A call no later than the stored one is skipped.
    EXPECT_EQ(meter.sample(start + 4001, last, scale, period).outcome, Outcome::Skipped);
    EXPECT_EQ(meter.sample(start, last, scale, period).outcome, Outcome::Skipped);
}

TEST(TrafficRateMeterTest, ResetMakesTheNextCallAFirstSample) {
    TrafficRateMeter meter;
    measure(meter, start, 0, 0);
    meter.reset();
    EXPECT_EQ(measure(meter, start + 1000, 4'000'000'000u, 0).outcome, Outcome::FirstSample);
    EXPECT_EQ(measure(meter, start + 2000, 4'000'001'000u, 0).received, 1u);
}

// The rates are the sums over every WAN device; each device's counters are measured on their
// own, so that a fall or a wrap of one never spills into another.
TEST(TrafficRateMeterTest, RatesAreTheSumsOverEveryWanDevice) {
    const struct {
        const char* what;
        int devices;
        std::uint32_t receivedPerSecond[MonitorSnapshot::maximumWans];
        std::uint32_t sentPerSecond[MonitorSnapshot::maximumWans];
        std::uint32_t received;
        std::uint32_t sent;
    } cases[] = {
        {"one", 1, {125'000}, {50'000}, 125, 50},
        {"traffic on the second only", 2, {0, 125'000}, {0, 50'000}, 125, 50},
        {"both", 2, {125'000, 1'000'000}, {50'000, 7'000}, 1125, 57},
        {"four at 10 Gbit/s",
         4,
         {1'250'000'000, 1'250'000'000, 1'250'000'000, 1'250'000'000},
         {0, 0, 0, 1'000},
         5'000'000,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MonitorSnapshot snapshot;
        // Counters near the wrap, each device its own.
        std::uint32_t base[MonitorSnapshot::maximumWans] = {0xFFFFF000u, 17, 3'000'000'000u, 5};
        for (int wan = 0; wan < c.devices; ++wan) {
            readCounters(snapshot, wan, base[wan], base[wan], static_cast<std::uint32_t>(start));
        }
        TrafficRateMeter meter;
        EXPECT_EQ(meter.sample(start, snapshot, scale, period).outcome, Outcome::FirstSample);
        for (int wan = 0; wan < c.devices; ++wan) {
            readCounters(snapshot, wan, base[wan] + c.receivedPerSecond[wan],
                         base[wan] + c.sentPerSecond[wan],
                         static_cast<std::uint32_t>(start + 1000));
        }
        const auto result = meter.sample(start + 1000, snapshot, scale, period);
        EXPECT_EQ(result.outcome, Outcome::Rates);
        EXPECT_EQ(result.received, c.received);
        EXPECT_EQ(result.sent, c.sent);
        EXPECT_EQ(snapshot.totalBytesReceived(), [&] {
            std::uint32_t total = 0;
            for (int wan = 0; wan < c.devices; ++wan) {
                total += base[wan] + c.receivedPerSecond[wan];
            }
            return total;
        }());
    }
}

// A device whose counters were not read yet adds nothing and starts when its first reading comes;
// a change in the number of devices starts afresh.
TEST(TrafficRateMeterTest, ADeviceJoinsTheSumWithItsFirstReading) {
    MonitorSnapshot snapshot;
    snapshot.wanCount = 2;
    readCounters(snapshot, 0, 1'000, 1'000, static_cast<std::uint32_t>(start));
    TrafficRateMeter meter;
    EXPECT_EQ(meter.sample(start, snapshot, scale, period).outcome, Outcome::FirstSample);

    readCounters(snapshot, 0, 101'000, 1'000, static_cast<std::uint32_t>(start + 1000));
    readCounters(snapshot, 1, 5'000'000, 5'000'000, static_cast<std::uint32_t>(start + 1000));
    auto result = meter.sample(start + 1000, snapshot, scale, period);
    EXPECT_EQ(result.received, 100u); // the second device's first reading only starts it

    readCounters(snapshot, 0, 201'000, 1'000, static_cast<std::uint32_t>(start + 2000));
    readCounters(snapshot, 1, 5'300'000, 5'000'000, static_cast<std::uint32_t>(start + 2000));
    result = meter.sample(start + 2000, snapshot, scale, period);
    EXPECT_EQ(result.received, 400u);

    snapshot.wanCount = 1;
    EXPECT_EQ(meter.sample(start + 3000, snapshot, scale, period).outcome, Outcome::FirstSample);
}

} // namespace
} // namespace kestrum::test
