#include "monitor/MonitorDisplay.h"
#include "tests/support/CounterReadings.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kestrum::test {
namespace {

constexpr const char* gateway = "Kestrum Demo Gateway";
constexpr const char* looking = "Looking for an UPnP gateway...";
constexpr const char* stuckStatus = "Kestrum Demo Gateway (counters stuck)";
constexpr std::uint32_t top31 = 0x7FFFFFFFu;
constexpr std::uint32_t top32 = 0xFFFFFFFFu;

// A connected gateway read by the window once a second: each update either brings a successful
// reading of both counters or finds that the readings failed since the last one.
class Gateway {
public:
    explicit Gateway(const char* status = gateway) { snapshot_.statusText = status; }

    // Read as the window updates, a second after the last.
    DisplayUpdate read(std::uint32_t received, std::uint32_t sent, int wan = 0) {
        readCounters(snapshot_, wan, received, sent, static_cast<std::uint32_t>(now_ + 1000));
        return next();
    }
    // Every WAN device read at once: received and sent of each, in order.
    DisplayUpdate readDevices(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& devices) {
        for (std::size_t wan = 0; wan < devices.size(); ++wan) {
            readCounters(snapshot_, static_cast<int>(wan), devices[wan].first, devices[wan].second,
                         static_cast<std::uint32_t>(now_ + 1000));
        }
        return next();
    }
    // The pollers failed: the counters keep their values, the reading counts stay.
    DisplayUpdate fail() { return next(); }
    // The same values for the given seconds, one reading a second; the last update.
    DisplayUpdate hold(int seconds) {
        DisplayUpdate last;
        for (int i = 0; i < seconds; ++i) {
            last = read(snapshot_.wans[0].received.value, snapshot_.wans[0].sent.value);
        }
        return last;
    }
    MonitorSnapshot& snapshot() { return snapshot_; }
    MonitorDisplay& display() { return display_; }

private:
    DisplayUpdate next() {
        now_ += 1000;
        return display_.update(snapshot_, now_, 30, 500);
    }

    MonitorSnapshot snapshot_;
    MonitorDisplay display_{4};
    std::int64_t now_ = 86'400'000; // steady milliseconds
};

bool hinted(const DisplayUpdate& update) {
    return std::string(update.statusLine.c_str()).ends_with(MonitorDisplay::stuckSuffix);
}

// One counter stands still from the first reading while the other makes one step (at the
// second reading) and then stands still too. The hint may show only after 60 s.
TEST(StuckCounterWatchTest, ACounterIsStuckAfterSixtySecondsAtABrokenValueOrBesideTraffic) {
    const struct {
        const char* name;
        bool receivedFrozen; // else the sent counter is the frozen one
        std::uint32_t frozen;
        std::uint32_t otherStart;
        std::uint32_t otherStep;
        bool stuck;
    } cases[] = {
        {"received at 0", true, 0, 5'000'000, 5'000, true},
        {"received at 2^31 - 1", true, top31, 5'000'000, 5'000, true},
        {"received at 2^32 - 1", true, top32, 5'000'000, 5'000, true},
        {"sent at 0", false, 0, 5'000'000, 0, true},
        {"sent at 2^31 - 1", false, top31, 5'000'000, 5'000, true},
        {"sent at 2^32 - 1", false, top32, 5'000'000, 5'000, true},
        {"both at 0 on an idle line", true, 0, 0, 0, true},
        {"received at 1", true, 1, 5'000'000, 5'000, false},
        {"received at 2^31", true, 0x80000000u, 5'000'000, 5'000, false},
        {"received at 2^32 - 2", true, top32 - 1, 5'000'000, 5'000, false},
        {"received ordinary, sent moves 1 000 000", true, 123'456'789, 5'000'000, 1'000'000, true},
        {"received ordinary, sent moves 999 999", true, 123'456'789, 5'000'000, 999'999, false},
        {"sent ordinary, received moves 1 000 000", false, 123'456'789, 5'000'000, 1'000'000, true},
        {"sent ordinary, received moves 999 999", false, 123'456'789, 5'000'000, 999'999, false},
        {"received ordinary, sent moves 1 000 000 across the wrap", true, 123'456'789,
         top32 - 499'999, 1'000'000, true},
        {"received ordinary, sent goes back 1 000 000", true, 123'456'789, 5'000'000,
         static_cast<std::uint32_t>(-1'000'000), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gateway line;
        const auto read = [&](std::uint32_t other) {
            return c.receivedFrozen ? line.read(c.frozen, other) : line.read(other, c.frozen);
        };
        read(c.otherStart);
        read(c.otherStart + c.otherStep);          // 1 s
        EXPECT_FALSE(hinted(line.hold(58)));       // 59 s
        const DisplayUpdate update = line.hold(1); // 60 s
        EXPECT_EQ(hinted(update), c.stuck);
        if (c.stuck) {
            EXPECT_STREQ(update.statusLine.c_str(), stuckStatus);
            const std::string tooltip = update.tooltip.c_str();
            EXPECT_EQ(tooltip.substr(0, tooltip.find('\n')), stuckStatus);
            EXPECT_EQ(update.received + update.sent, 0u); // what the counters give
        }
    }
}

TEST(StuckCounterWatchTest, TheHintGoesAtTheFirstUpdateAfterBothCountersMoved) {
    Gateway line;
    line.read(0, 5'000'000);
    EXPECT_TRUE(hinted(line.hold(60)));
    // The sent counter moves, the received one still stands: the hint stays.
    EXPECT_TRUE(hinted(line.read(0, 5'001'000)));
    EXPECT_TRUE(hinted(line.read(0, 5'002'000)));
    // Now the received counter moves too.
    const DisplayUpdate update = line.read(2'000, 5'002'000);
    EXPECT_FALSE(hinted(update));
    EXPECT_STREQ(update.statusLine.c_str(), gateway);
    EXPECT_STREQ(update.tooltip.c_str(), "Kestrum Demo Gateway\nReceiving (KB/s): 2\n"
                                         "  Sending (KB/s): 0");
    // Quiet but ordinary values do not bring it back.
    EXPECT_FALSE(hinted(line.hold(120)));
}

// Failed readings neither count towards the 60 s nor end the run.
TEST(StuckCounterWatchTest, AFailedReadingInTheMiddleOfAStuckRun) {
    Gateway line;
    line.read(top32, 7'000);
    line.hold(30);
    EXPECT_FALSE(hinted(line.fail())); // 31 s
    // Readings fail up to 90 s: no reading at 60 s or later, so nothing is stuck yet.
    for (int second = 32; second <= 90; ++second) {
        EXPECT_FALSE(hinted(line.fail())) << second;
    }
    // The next successful reading still holds the value of 90 s ago.
    EXPECT_TRUE(hinted(line.read(top32, 7'000)));
    // Failures while stuck keep the hint.
    EXPECT_TRUE(hinted(line.fail()));
    EXPECT_TRUE(hinted(line.read(top32, 7'000)));
}

TEST(StuckCounterWatchTest, TheHintNeverSurvivesAChangeOfGateway) {
    Gateway line;
    line.read(0, 0);
    EXPECT_TRUE(hinted(line.hold(60)));

    // Another gateway, without a pass through the search in between: its name tells.
    line.snapshot().statusText = "Other Gateway";
    DisplayUpdate update = line.read(0, 0);
    EXPECT_STREQ(update.statusLine.c_str(), "Other Gateway");
    EXPECT_FALSE(hinted(line.hold(59)));
    EXPECT_TRUE(hinted(line.hold(1)));

    // The gateway lost: the search shows no hint, and the gateway found again starts afresh.
    line.snapshot().statusText = looking;
    line.snapshot().countersPublished = false;
    update = line.fail();
    EXPECT_STREQ(update.statusLine.c_str(), looking);
    EXPECT_STREQ(update.tooltip.c_str(), looking);
    line.snapshot().statusText = "Other Gateway";
    EXPECT_FALSE(hinted(line.read(0, 0)));
    EXPECT_FALSE(hinted(line.hold(59)));
    EXPECT_TRUE(hinted(line.hold(1)));
}

// Two WAN devices over a minute and a second, read once a second: a device whose two counters
// stand still is idle and raises the hint only when every device is stuck; one whose counter
// stands still while its other one moves raises it whatever the other device does.
TEST(StuckCounterWatchTest, AnIdleSecondDeviceRaisesNoHintBesideTraffic) {
    using Counters = std::pair<std::uint32_t, std::uint32_t>;
    constexpr std::uint32_t ordinary = 123'456'789;
    const auto moving = [](std::uint32_t second) {
        return Counters{5'000'000 + second * 125'000, 7'000'000 + second * 50'000};
    };
    const auto still = [](std::uint32_t value) {
        return [value](std::uint32_t) { return Counters{value, value}; };
    };
    const struct {
        const char* name;
        std::function<Counters(std::uint32_t)> first;
        std::function<Counters(std::uint32_t)> second;
        bool stuck;
    } cases[] = {
        {"traffic on the first, the second at 0 and 0", moving, still(0), false},
        {"traffic on the second, the first at 0 and 0", still(0), moving, false},
        {"traffic on the first, the second at 2^32 - 1", moving, still(top32), false},
        {"traffic on the first, the second at ordinary values", moving, still(ordinary), false},
        {"both idle, one at 0 and 0", still(ordinary), still(0), false},
        {"both at 0 and 0", still(0), still(0), true},
        {"one at 0 and 0, the other at 2^31 - 1", still(0), still(top31), true},
        {"traffic on the first, the second's sent at 0 while it receives", moving,
         [&](std::uint32_t second) {
             return Counters{moving(second).first, 0};
         },
         true},
        {"the first's received stands beside its sent, the second idle",
         [&](std::uint32_t second) {
             return Counters{ordinary, moving(second).second * 10};
         },
         still(0), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gateway line;
        DisplayUpdate update;
        for (std::uint32_t second = 0; second <= 60; ++second) {
            update = line.readDevices({c.first(second), c.second(second)});
            if (second < 60) {
                ASSERT_FALSE(hinted(update)) << second;
            }
        }
        EXPECT_EQ(hinted(update), c.stuck);
    }
}

// A counter that reads 0 once carries no traffic on its climb back: beside it, a counter
// standing still at an ordinary value is no more stuck than beside a quiet line. The glitching
// counter's rates hold through each glitch.
TEST(StuckCounterWatchTest, AGlitchWhileTheOtherCounterStandsStill) {
    const struct {
        const char* name;
        std::uint32_t sent;
        bool stuck;
    } cases[] = {
        {"sent at an ordinary value", 123'456'789, false},
        {"sent at 2^32 - 1", top32, true},
        {"sent at 0", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gateway line;
        // 10 KB/s received from 300 MB on: 600 KB a minute, 0 on every ninth reading.
        DisplayUpdate update;
        for (std::uint32_t second = 0; second <= 60; ++second) {
            const std::uint32_t received = second % 9 == 8 ? 0 : 300'000'000 + second * 10'000;
            update = line.read(received, c.sent);
            if (second > 0) {
                EXPECT_TRUE(update.hasRates);
                EXPECT_EQ(update.received, 10u) << second;
                EXPECT_EQ(update.sent, 0u) << second;
            }
        }
        EXPECT_EQ(hinted(update), c.stuck);
    }
}

} // namespace
} // namespace kestrum::test
