#include "monitor/SettingRange.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

TEST(SettingRange, ReadsUnsignedNumbersAsTheWindowsFrameworkDoes) {
    constexpr SettingRange everything{0, 4294967295u};
    const struct {
        const char* text;
        bool number;
        std::uint32_t value;
    } cases[] = {
        {"30", true, 30},
        {"0", true, 0},
        {"  +42\t", true, 42},
        {"\t7 ", true, 7},
        {"4294967295", true, 4294967295u},
        {"4294967296", true, 4294967295u},
        {"99999999999999999999999", true, 4294967295u},
        {"007", true, 7},
        {"", false, 0},
        {"   ", false, 0},
        {"+", false, 0},
        {"-1", false, 0},
        {"-0", false, 0},
        {"1 2", false, 0},
        {"12a", false, 0},
        {"++1", false, 0},
        {"1e3", false, 0},
        {"0x10", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint32_t value = 12345;
        std::string error;
        EXPECT_EQ(readSetting(c.text, everything, value, error), c.number);
        EXPECT_EQ(value, c.number ? c.value : 12345u);
        EXPECT_EQ(error, c.number ? "" : positiveIntegerMessage);
    }
}

TEST(SettingRange, OutOfRangeNamesBothBoundsAndKeepsTheValue) {
    const struct {
        const char* text;
        SettingRange range;
        const char* error;
    } cases[] = {
        {"0", scaleRange, "Please enter an integer between 1 and 1000000."},
        {"1000001", scaleRange, "Please enter an integer between 1 and 1000000."},
        {"4294967296", scaleRange, "Please enter an integer between 1 and 1000000."},
        {"99", refreshRange, "Please enter an integer between 100 and 10000."},
        {"10001", refreshRange, "Please enter an integer between 100 and 10000."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint32_t value = 7;
        std::string error;
        EXPECT_FALSE(readSetting(c.text, c.range, value, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(value, 7u);
    }
    std::uint32_t value = 0;
    std::string error;
    EXPECT_TRUE(readSetting("1", scaleRange, value, error));
    EXPECT_TRUE(readSetting("1000000", scaleRange, value, error));
    EXPECT_EQ(value, 1000000u);
    EXPECT_TRUE(readSetting("100", refreshRange, value, error));
    EXPECT_TRUE(readSetting("10000", refreshRange, value, error));
    EXPECT_EQ(value, 10000u);
}

} // namespace
} // namespace kestrum::test
