#include "shell/framework/DataExchange.h"

#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

TEST(DataExchange, ReadsUnsignedNumbersAsTheFrameworkDoes) {
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
        const UnsignedText result = parseUnsigned(c.text, value);
        EXPECT_EQ(result == UnsignedText::Number, c.number);
        EXPECT_EQ(value, c.number ? c.value : 12345u);
    }
}

TEST(DataExchange, RangeMessageNamesBothBounds) {
    char message[96];
    formatRangeMessage(100, 10000, message, sizeof message);
    EXPECT_STREQ(message, "Please enter an integer between 100 and 10000.");
    formatRangeMessage(1, 1000000, message, sizeof message);
    EXPECT_STREQ(message, "Please enter an integer between 1 and 1000000.");
}

} // namespace
} // namespace kestrum::test
