#include "monitor/LineCapacity.h"

#include "monitor/Quantities.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

TEST(LineCapacityTest, DefaultsPortSpeedsAndRatesBelowTheMeasuredOnesAreNotCredible) {
    const struct {
        const char* accessType;
        std::uint32_t bitsPerSecond;
        double highestBytesPerSecond;
        bool credible;
    } cases[] = {
        {"DSL", 0, 0, false},
        {"DSL", 4'200'000, 0, false},
        {"DSL", 8'388'608, 0, false},
        {"DSL", 4'194'304, 0, false},
        {"DSL", 4'200'001, 0, true},
        {"Ethernet", 10'000'000, 0, false},
        {"Ethernet", 100'000'000, 0, false},
        {"Ethernet", 1'000'000'000, 0, false},
        {"Ethernet", 2'500'000'000u, 0, false},
        {"Ethernet", 100'000'001, 0, true},
        {"Ethernet", 50'000'000, 0, true},
        {"DSL", 100'000'000, 0, true},
        {"Cable", 1'000'000'000, 0, true},
        // 5, 10 and 100 Gbit/s port speeds cut to 32 bits, under any access type.
        {"Cable", 705'032'704, 0, false},
        {"Cable", 1'410'065'408, 0, false},
        {"Ethernet", 1'215'752'192, 0, false},
        {"Cable", 1'410'065'409, 0, true},
        {"", 10'000'000, 0, true},
        // A line carries at most its capacity: 1 250 000 B/s is exactly 10 Mbit/s.
        {"DSL", 16'000'000, 2'000'000, true},
        {"DSL", 16'000'000, 2'000'001, false},
        {"Cable", 10'000'000, 1'250'000, true},
        {"Cable", 10'000'000, 1'250'001, false},
        {"DSL", 0xFFFFFFFFu, 0, true},
        {"DSL", 0xFFFFFFFFu, 600'000'000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.accessType) + " " + std::to_string(c.bitsPerSecond));
        EXPECT_EQ(isCredibleCapacity(c.accessType, c.bitsPerSecond, c.highestBytesPerSecond),
                  c.credible);
    }
}

TEST(QuantitiesTest, VolumesHaveThreeDigitsInPowersOf1000) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1.00 kB"},
        {12'345, "12.3 kB"},
        {456'000'000, "456 MB"},
        {999'499'999, "999 MB"},
        {999'500'000, "1.00 GB"},
        {1'234'567'890, "1.23 GB"},
        {0xFFFFFFFFull, "4.29 GB"},
        {0x100000000ull, "4.29 GB"},
        {0xFFFFFFFFFFFFFFFFull, "18.4 EB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_STREQ(formatVolume(c.bytes).c_str(), c.text);
    }
}

TEST(QuantitiesTest, BitRatesAreInMegabitsAndUptimesInDaysAndClockTime) {
    EXPECT_STREQ(formatBitRate(0).c_str(), "0.0 Mbit/s");
    EXPECT_STREQ(formatBitRate(100'000'000).c_str(), "100.0 Mbit/s");
    EXPECT_STREQ(formatBitRate(4'200'000).c_str(), "4.2 Mbit/s");
    EXPECT_STREQ(formatBitRate(0xFFFFFFFFu).c_str(), "4295.0 Mbit/s");
    const struct {
        std::uint32_t seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},
        {86'399, "23:59:59"},
        {86'400, "1 d 00:00:00"},
        {3 * 86'400 + 4 * 3600 + 5 * 60 + 6, "3 d 04:05:06"},
        {0xFFFFFFFFu, "49710 d 06:28:15"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_STREQ(formatUptime(c.seconds).c_str(), c.text);
    }
}

} // namespace
} // namespace kestrum::test
