#include "monitor/MonitorDisplay.h"

#include "tests/support/CounterReadings.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

constexpr std::int64_t start = 86'400'000; // steady milliseconds
constexpr const char* looking = "Looking for an UPnP gateway...";

// Both counters as read at `now`.
MonitorSnapshot counters(const char* status, std::uint32_t received, std::uint32_t sent,
                         std::int64_t now) {
    MonitorSnapshot snapshot;
    snapshot.statusText = status;
    readCounters(snapshot, 0, received, sent, static_cast<std::uint32_t>(now));
    return snapshot;
}

// The level is tenths of the scale reached by the average rate; at and above the scale it is
// the highest.
TEST(MonitorDisplayTest, TrafficLevelTopsOutAtTheScale) {
    const struct {
        std::uint32_t received;
        std::uint32_t sent;
        std::uint32_t scale;
        std::uint32_t level;
    } cases[] = {
        {0, 0, 30, 0},
        {2, 3, 30, 0},
        {30, 10, 30, 6},
        {27, 26, 30, 8}, // average 26, just below nine tenths
        {27, 27, 30, 9},
        {29, 30, 30, 9},    // just below the scale
        {30, 30, 30, 9},    // at
        {12'500, 0, 30, 9}, // far above
        {1'250'000, 1'250'000, 1, 9},
        {999'999, 1'000'000, 1'000'000, 9},
        {1'000'000, 1'000'000, 1'000'000, 9},
        {99'999, 100'000, 1'000'000, 0},
        {5, 5, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MonitorDisplay::trafficLevel(c.received, c.sent, c.scale), c.level)
            << c.received << " and " << c.sent << " at scale " << c.scale;
    }
}

// The tooltip keeps the rates whole and cuts the name; the window's rule for "&" applies.
TEST(MonitorDisplayTest, TooltipKeepsTheRatesAndCutsTheName) {
    const std::string longName(200, 'n');
    MonitorDisplay display(4, TrayTooltip(TrayTooltip::Ampersands::Tripled));
    auto update = display.update(counters(longName.c_str(), 0, 0, start), start, 30, 500);
    EXPECT_EQ(std::string(update.tooltip.c_str()), std::string(126, 'n') + "\xE2\x80\xA6");
    update = display.update(counters(longName.c_str(), 12'500'000, 0, start + 1000), start + 1000,
                            30, 500);
    EXPECT_EQ(std::string(update.tooltip.c_str()),
              std::string(82, 'n') + "\xE2\x80\xA6\nReceiving (KB/s): 12500\n  Sending (KB/s): 0");
    update = display.update(counters("AT&T", 12'500'000, 0, start + 2000), start + 2000, 30, 500);
    EXPECT_STREQ(update.tooltip.c_str(), "AT&&&T\nReceiving (KB/s): 0\n  Sending (KB/s): 0");
}

TEST(MonitorDisplayTest, FirstUpdateShowsTheStatusAndStoresASampleOnly) {
    MonitorDisplay display(3);
    EXPECT_STREQ(display.statusLine().c_str(), "Status");

    MonitorSnapshot searching;
    searching.statusText = looking;
    auto update = display.update(searching, start, 30, 500);
    EXPECT_STREQ(update.statusLine.c_str(), looking);
    EXPECT_TRUE(update.setsTooltip);
    EXPECT_STREQ(update.tooltip.c_str(), looking);
    EXPECT_FALSE(update.hasRates);

    // Counters published: their first reading is stored, still no rates.
    update =
        display.update(counters("Router", 9'000'000, 9'000'000, start + 500), start + 500, 30, 500);
    EXPECT_STREQ(update.statusLine.c_str(), "Router");
    EXPECT_STREQ(update.tooltip.c_str(), "Router");
    EXPECT_FALSE(update.hasRates);
    EXPECT_EQ(display.receivedHistory(), (std::vector<std::int32_t>{0, 0, 0}));

    update = display.update(counters("Router", 9'045'000, 9'010'000, start + 1500), start + 1500,
                            30, 500);
    ASSERT_TRUE(update.hasRates);
    EXPECT_EQ(update.received, 45u);
    EXPECT_EQ(update.sent, 10u);
    EXPECT_EQ(update.trafficLevel, 9u);
    EXPECT_STREQ(update.tooltip.c_str(), "Router\nReceiving (KB/s): 45\n  Sending (KB/s): 10");
}

// 100 Mbit/s at the default scale: the readouts, the tooltip and the history carry the true
// rate; only the level stops at the top.
TEST(MonitorDisplayTest, RatesFarAboveTheScaleAreShownInFull) {
    MonitorDisplay display(2);
    display.update(counters("Router", 1'000'000, 2'000'000, start), start, 30, 500);
    const auto update = display.update(counters("Router", 13'500'000, 2'029'000, start + 1000),
                                       start + 1000, 30, 500);
    ASSERT_TRUE(update.hasRates);
    EXPECT_EQ(update.received, 12'500u);
    EXPECT_EQ(update.sent, 29u);
    EXPECT_EQ(update.trafficLevel, 9u);
    EXPECT_EQ(update.receivedDigits, 5);
    EXPECT_EQ(update.sentDigits, 4);
    EXPECT_STREQ(update.tooltip.c_str(), "Router\nReceiving (KB/s): 12500\n  Sending (KB/s): 29");
    EXPECT_EQ(display.receivedHistory(), (std::vector<std::int32_t>{0, 12'500}));
}

// In kbit/s every shown rate is eight times the KB/s, the level is taken against a scale in
// kbit/s, and the totals stay bytes.
TEST(MonitorDisplayTest, BitsShowEveryRateInKilobitsAndKeepTheTotalsInBytes) {
    const struct {
        std::uint32_t receivedStep;
        std::uint32_t sentStep;
        std::uint32_t scale; // kbit/s
        std::uint32_t received, sent, level, receivedDigits;
        const char* tooltip;
    } cases[] = {
        {12'500'000, 29'000, 100'000, 100'000, 232, 5, 6,
         "Router\nReceiving (kbit/s): 100000\n  Sending (kbit/s): 232"},
        {1'000, 0, 30, 8, 0, 1, 4, "Router\nReceiving (kbit/s): 8\n  Sending (kbit/s): 0"},
        // The fastest step the meter believes (10 Gbit/s): eight times it still fits the
        // histories and readouts.
        {1'250'000'000, 0, 1'000'000, 10'000'000, 0, 9, 8,
         "Router\nReceiving (kbit/s): 10000000\n  Sending (kbit/s): 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tooltip);
        MonitorDisplay display(2);
        display.showBits(true);
        EXPECT_STREQ(display.rateUnit(), "kbit/s");
        display.update(counters("Router", 0, 0, start), start, c.scale, 500);
        const auto update =
            display.update(counters("Router", c.receivedStep, c.sentStep, start + 1000),
                           start + 1000, c.scale, 500);
        ASSERT_TRUE(update.hasRates);
        EXPECT_EQ(update.received, c.received);
        EXPECT_EQ(update.sent, c.sent);
        EXPECT_EQ(update.trafficLevel, c.level);
        EXPECT_EQ(update.receivedDigits, c.receivedDigits);
        EXPECT_STREQ(update.tooltip.c_str(), c.tooltip);
        EXPECT_EQ(display.receivedHistory().back(), static_cast<std::int32_t>(c.received));
        EXPECT_EQ(display.totalBytesReceived(), c.receivedStep);
    }
}

TEST(MonitorDisplayTest, HistoriesKeepTheirLengthWithTheNewestLast) {
    MonitorDisplay display(3);
    std::uint32_t received = 0;
    std::uint32_t sent = 0;
    display.update(counters("R", received, sent, start), start, 100, 500);
    for (int step = 1; step <= 4; ++step) {
        received += static_cast<std::uint32_t>(step) * 1000;
        sent += static_cast<std::uint32_t>(step) * 2000;
        display.update(counters("R", received, sent, start + step * 1000), start + step * 1000, 100,
                       500);
    }
    EXPECT_EQ(display.receivedHistory(), (std::vector<std::int32_t>{2, 3, 4}));
    EXPECT_EQ(display.sentHistory(), (std::vector<std::int32_t>{4, 6, 8}));
}

TEST(MonitorDisplayTest, SkippedUpdateRepaintsTheStatusOnly) {
    MonitorDisplay display(2);
    display.update(counters("R", 0, 0, start), start, 30, 500);
    const auto update = display.update(counters("R", 1000, 0, start + 100), start + 100, 30, 500);
    EXPECT_STREQ(update.statusLine.c_str(), "R");
    EXPECT_FALSE(update.setsTooltip);
    EXPECT_FALSE(update.hasRates);
}

TEST(MonitorDisplayTest, NamelessGatewayKeepsTheStatusLineAndEmptiesTheTooltipName) {
    MonitorDisplay display(2);
    MonitorSnapshot searching;
    searching.statusText = looking;
    display.update(searching, start, 30, 500);

    display.update(counters("", 0, 0, start + 500), start + 500, 30, 500);
    const auto update = display.update(counters("", 5000, 0, start + 1500), start + 1500, 30, 500);
    EXPECT_STREQ(update.statusLine.c_str(), looking);
    EXPECT_STREQ(update.tooltip.c_str(), "\nReceiving (KB/s): 5\n  Sending (KB/s): 0");
}

TEST(MonitorDisplayTest, CountersOfALostGatewayAreNotMeasuredAgainstTheNextOne) {
    MonitorDisplay display(2);
    display.update(counters("Old", 100'000, 100'000, start), start, 30, 500);
    display.update(counters("Old", 110'000, 110'000, start + 1000), start + 1000, 30, 500);

    MonitorSnapshot searching;
    searching.statusText = looking;
    auto update = display.update(searching, start + 2000, 30, 500);
    EXPECT_STREQ(update.tooltip.c_str(), looking);
    EXPECT_FALSE(update.hasRates);

    // The new gateway's counters are far ahead of the old ones: a fresh start, not a spike.
    update = display.update(counters("New", 900'000'000, 5, start + 3000), start + 3000, 30, 500);
    EXPECT_FALSE(update.hasRates);
    update = display.update(counters("New", 900'002'000, 5, start + 4000), start + 4000, 30, 500);
    ASSERT_TRUE(update.hasRates);
    EXPECT_EQ(update.received, 2u);
    EXPECT_EQ(update.sent, 0u);
}

TEST(MonitorDisplayTest, ResizedHistoriesKeepTheirNewestValues) {
    const struct {
        int length;
        std::vector<std::int32_t> received;
    } cases[] = {
        {5, {1, 2, 3, 4, 5}},
        {7, {0, 0, 1, 2, 3, 4, 5}},
        {3, {3, 4, 5}},
        {1, {5}},
        {0, {}},
        {-1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        MonitorDisplay display(5);
        display.update(counters("Gateway", 0, 0, start), start, 30, 500);
        for (std::uint32_t second = 1; second <= 5; ++second) {
            display.update(
                counters("Gateway", second * 1000 * (second + 1) / 2, 0, start + second * 1000),
                start + second * 1000, 30, 500);
        }
        ASSERT_EQ(display.receivedHistory(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
        display.resizeHistories(c.length);
        EXPECT_EQ(display.receivedHistory(), c.received);
        EXPECT_EQ(display.sentHistory().size(), c.received.size());
        // Later rates still shift in at the new end.
        display.update(counters("Gateway", 15'000 + 9'000, 0, start + 6000), start + 6000, 30, 500);
        if (!c.received.empty()) {
            EXPECT_EQ(display.receivedHistory().back(), 9);
        }
    }
}

// A refusing gateway's name carries the hint in the status line and the tooltip, whether its
// counters were never read or one of them was; it goes with the refusal. A search shows none.
TEST(MonitorDisplayTest, RefusedCountersAreHintedAfterTheName) {
    constexpr const char* refused = "Router (counters refused)";
    const struct {
        const char* what;
        const char* status;
        bool published;
        bool refusedFlag;
        const char* statusLine;
        const char* tooltip;
    } cases[] = {
        {"never read", "Router", false, true, refused, refused},
        {"one counter read", "Router", true, true, refused,
         "Router (counters refused)\nReceiving (KB/s): 2\n  Sending (KB/s): 0"},
        {"read again", "Router", true, false, "Router",
         "Router\nReceiving (KB/s): 2\n  Sending (KB/s): 0"},
        {"searching", looking, false, false, looking, looking},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MonitorDisplay display(2);
        MonitorSnapshot snapshot = counters(c.status, 0, 0, start);
        snapshot.countersPublished = c.published;
        snapshot.countersRefused = c.refusedFlag;
        display.update(snapshot, start, 30, 500);
        snapshot = counters(c.status, 2'000, 0, start + 1000);
        snapshot.countersPublished = c.published;
        snapshot.countersRefused = c.refusedFlag;
        const DisplayUpdate update = display.update(snapshot, start + 1000, 30, 500);
        EXPECT_STREQ(update.statusLine.c_str(), c.statusLine);
        EXPECT_TRUE(update.setsTooltip);
        EXPECT_STREQ(update.tooltip.c_str(), c.tooltip);
        EXPECT_EQ(update.hasRates, c.published);
    }
}

// Refused comes first: a refusing gateway's counters standing still say nothing about the line.
TEST(MonitorDisplayTest, ARefusalHidesTheStuckHint) {
    MonitorDisplay display(2);
    MonitorSnapshot snapshot;
    for (int second = 0; second <= 61; ++second) {
        snapshot.statusText = "Router";
        readCounters(snapshot, 0, 0, 0, static_cast<std::uint32_t>(start + second * 1000));
        snapshot.countersRefused = second >= 30;
        const DisplayUpdate update = display.update(snapshot, start + second * 1000, 30, 500);
        if (second >= 30) {
            EXPECT_STREQ(update.statusLine.c_str(), "Router (counters refused)") << second;
        }
    }
    snapshot.countersRefused = false;
    readCounters(snapshot, 0, 0, 0, static_cast<std::uint32_t>(start + 62'000));
    EXPECT_STREQ(display.update(snapshot, start + 62'000, 30, 500).statusLine.c_str(),
                 "Router (counters stuck)");
}

} // namespace
} // namespace kestrum::test

namespace kestrum::test {
namespace {

// The totals sum the measured steps: a glitch counts its whole span once, a reset counts from
// the counter's new start, and the wrap at 2^32 counts forward.
TEST(MonitorDisplayTest, TotalsSumTheMeasuredStepsThroughGlitchResetAndWrap) {
    const struct {
        std::uint32_t received;
        std::uint32_t sent;
        std::uint64_t totalReceived;
        std::uint64_t totalSent;
    } steps[] = {
        {1'000'000, 0xFFFFFFFFu - 150'000, 0, 0},
        {1'100'000, 0xFFFFFFFFu - 50'000, 100'000, 100'000},
        {0, 49'999, 100'000, 200'000},            // received glitches to 0, sent wraps
        {1'300'000, 149'999, 300'000, 300'000},   // back above: the glitch's span counts
        {5'000, 249'999, 300'000, 400'000},       // received falls: reset or glitch?
        {105'000, 349'999, 400'000, 500'000},     // growing from the low value: a reset
        {0xFFFFFFFFu, 449'999, 400'000, 600'000}, // an impossible jump counts nothing yet
    };
    MonitorDisplay display(3);
    MonitorSnapshot snapshot;
    snapshot.statusText = "Router";
    std::int64_t now = start;
    for (const auto& step : steps) {
        SCOPED_TRACE(now - start);
        readCounters(snapshot, 0, step.received, step.sent, static_cast<std::uint32_t>(now));
        display.update(snapshot, now, 1000, 1000);
        EXPECT_EQ(display.totalBytesReceived(), step.totalReceived);
        EXPECT_EQ(display.totalBytesSent(), step.totalSent);
        now += 1000;
    }
}

} // namespace
} // namespace kestrum::test

namespace kestrum::test {
namespace {

// The line's share rounds to whole percents of each direction's capacity while both capacities
// are credible; a rate above a capacity withdraws it for good.
TEST(MonitorDisplayTest, TheLineShareFollowsACredibleCapacityUntilARateExceedsIt) {
    using Counter = GatewayMonitor::Counter;
    MonitorSnapshot snapshot;
    snapshot.statusText = "Router";
    snapshot.facts.accessType = "DSL";
    snapshot.facts.hasCapacity = true;
    snapshot.facts.downstreamBitRate = 100'000'000; // 12 500 KB/s
    snapshot.facts.upstreamBitRate = 10'000'000;    // 1 250 KB/s
    const struct {
        std::uint32_t receivedStep; // bytes in one second
        std::uint32_t sentStep;
        int receivedShare;
        int sentShare;
        const char* tooltip;
    } steps[] = {
        // 12 of 1250 KB/s is 0.96 %: shown as 1 %.
        {10'000'000, 12'000, 80, 1,
         "Router\nReceiving (KB/s): 10000 (80 %)\n  Sending (KB/s): 12 (1 %)"},
        {0, 0, 0, 0, "Router\nReceiving (KB/s): 0 (0 %)\n  Sending (KB/s): 0 (0 %)"},
        {12'500'000, 1'250'000, 100, 100,
         "Router\nReceiving (KB/s): 12500 (100 %)\n  Sending (KB/s): 1250 (100 %)"},
        {6'000, 4'000, 0, 0, "Router\nReceiving (KB/s): 6 (0 %)\n  Sending (KB/s): 4 (0 %)"},
        // 1 251 KB/s is more than 10 Mbit/s upstream: neither direction's share is believed.
        {0, 1'251'000, -1, -1, "Router\nReceiving (KB/s): 0\n  Sending (KB/s): 1251"},
        {1'000, 1'000, -1, -1, "Router\nReceiving (KB/s): 1\n  Sending (KB/s): 1"},
    };
    MonitorDisplay display(3);
    std::int64_t now = start;
    std::uint32_t received = 0;
    std::uint32_t sent = 0;
    readCounters(snapshot, 0, received, sent, static_cast<std::uint32_t>(now));
    display.update(snapshot, now, 30, 1000);
    EXPECT_TRUE(display.capacityCredible());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.tooltip);
        now += 1000;
        received += step.receivedStep;
        sent += step.sentStep;
        readCounters(snapshot, 0, received, sent, static_cast<std::uint32_t>(now));
        const auto update = display.update(snapshot, now, 30, 1000);
        ASSERT_TRUE(update.hasRates);
        EXPECT_EQ(display.capacityCredible(), step.receivedShare >= 0);
        EXPECT_EQ(display.lineSharePercent(Counter::Received), step.receivedShare);
        EXPECT_EQ(display.lineSharePercent(Counter::Sent), step.sentShare);
        EXPECT_STREQ(update.tooltip.c_str(), step.tooltip);
    }
}

// --scale line: the downstream capacity in the display's unit, within the scale's range.
TEST(MonitorDisplayTest, TheLineScaleIsTheDownstreamCapacityInTheDisplaysUnit) {
    const struct {
        std::uint32_t down;
        bool bits;
        std::uint32_t scale;
    } cases[] = {
        {100'000'000, false, 12'500},
        {100'000'000, true, 100'000},
        {52'000'000, false, 6'500},
        {7'999, false, 1}, // less than 1 KB/s: the smallest scale
        {999, true, 1},
        {4'294'967'295u, false, 536'870},
        {4'294'967'295u, true, 1'000'000}, // the largest scale
        {4'200'000, false, 0},             // not credible: no line scale
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.down) + (c.bits ? " bits" : " bytes"));
        MonitorDisplay display(3);
        display.showBits(c.bits);
        MonitorSnapshot snapshot = counters("Router", 0, 0, start);
        snapshot.facts.hasCapacity = true;
        snapshot.facts.accessType = "DSL";
        snapshot.facts.downstreamBitRate = c.down;
        snapshot.facts.upstreamBitRate = 1'000'000;
        display.update(snapshot, start, 30, 1000);
        EXPECT_EQ(display.lineScale(), c.scale);
    }
}

// The uptime is read once a minute; between readings it counts on by the clock.
TEST(MonitorDisplayTest, TheUptimeCountsOnBetweenReadings) {
    MonitorDisplay display(3);
    MonitorSnapshot snapshot = counters("Router", 0, 0, start);
    snapshot.facts.connectionStatus = "Connected";
    snapshot.facts.hasUptime = true;
    snapshot.facts.uptimeSeconds = 100;
    snapshot.facts.uptimeReadAt = start;
    display.update(snapshot, start, 30, 1000);
    EXPECT_EQ(display.facts().uptimeSeconds, 100u);
    display.update(snapshot, start + 59'999, 30, 1000);
    EXPECT_EQ(display.facts().uptimeSeconds, 159u);
    snapshot.facts.uptimeSeconds = 4'294'967'290u;
    display.update(snapshot, start + 10'000, 30, 1000);
    EXPECT_EQ(display.facts().uptimeSeconds, 4'294'967'295u);
    snapshot.facts.connectionStatus = "Disconnected";
    snapshot.facts.uptimeSeconds = 0;
    display.update(snapshot, start + 20'000, 30, 1000);
    EXPECT_EQ(display.facts().uptimeSeconds, 0u);
    snapshot.facts.connectionStatus = "Connected";
    snapshot.facts.hasUptime = false;
    snapshot.facts.uptimeSeconds = 0;
    display.update(snapshot, start + 20'000, 30, 1000);
    EXPECT_EQ(display.facts().uptimeSeconds, 0u);
}

TEST(MonitorDisplayTest, NoShareWithoutACredibleCapacity) {
    const struct {
        const char* what;
        bool hasCapacity;
        const char* accessType;
        std::uint32_t down;
        std::uint32_t up;
    } cases[] = {
        {"none reported", false, "DSL", 0, 0},
        {"the daemon's default", true, "Ethernet", 4'200'000, 4'200'000},
        {"a port speed", true, "Ethernet", 1'000'000'000, 1'000'000'000},
        {"a credible downstream only", true, "DSL", 50'000'000, 0},
        {"the old defaults", true, "DSL", 8'388'608, 4'194'304},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MonitorDisplay display(3);
        MonitorSnapshot snapshot = counters("Router", 0, 0, start);
        snapshot.facts.hasCapacity = c.hasCapacity;
        snapshot.facts.accessType = c.accessType;
        snapshot.facts.downstreamBitRate = c.down;
        snapshot.facts.upstreamBitRate = c.up;
        display.update(snapshot, start, 30, 1000);
        readCounters(snapshot, 0, 1000, 1000, static_cast<std::uint32_t>(start + 1000));
        const auto update = display.update(snapshot, start + 1000, 30, 1000);
        EXPECT_FALSE(display.capacityCredible());
        EXPECT_EQ(display.lineSharePercent(GatewayMonitor::Counter::Received), -1);
        EXPECT_STREQ(update.tooltip.c_str(), "Router\nReceiving (KB/s): 1\n  Sending (KB/s): 1");
    }
}

} // namespace
} // namespace kestrum::test
