#include "monitor/MonitorDisplay.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

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

    DisplayUpdate read(std::uint32_t received, std::uint32_t sent) {
        snapshot_.countersPublished = true;
        snapshot_.totalBytesReceived = received;
        snapshot_.totalBytesSent = sent;
        ++snapshot_.receivedReadings;
        ++snapshot_.sentReadings;
        // Read as the window updates, a second after the last.
        snapshot_.receivedTakenAt = static_cast<std::uint32_t>(now_ + 1000);
        snapshot_.sentTakenAt = snapshot_.receivedTakenAt;
        return next();
    }
    // The pollers failed: the counters keep their values, the reading counts stay.
    DisplayUpdate fail() { return next(); }
    // The same values for the given seconds, one reading a second; the last update.
    DisplayUpdate hold(int seconds) {
        DisplayUpdate last;
        for (int i = 0; i < seconds; ++i) {
            last = read(snapshot_.totalBytesReceived, snapshot_.totalBytesSent);
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
    std::int64_t now_ = 1'700'000'000'000;
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

} // namespace
} // namespace kestrum::test
