#include "monitor/TrayTooltip.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

using Ampersands = TrayTooltip::Ampersands;

const std::string ellipsis = "\xE2\x80\xA6";
const std::string cjk = "\xE7\xBD\x91";       // one UTF-16 unit, three bytes
const std::string emoji = "\xF0\x9F\x93\xB6"; // a surrogate pair, four bytes
constexpr const char* stuck = " (counters stuck)";

// UTF-16 units of well-formed UTF-8: one per character, two for one beyond the basic plane.
int units(const std::string& text) {
    int count = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        count += (byte & 0xC0) != 0x80 ? 1 : 0;
        count += byte >= 0xF0 ? 1 : 0;
    }
    return count;
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string withRates(Ampersands rule, const std::string& name, const char* hint,
                      std::uint32_t received, std::uint32_t sent) {
    TooltipRates rates;
    rates.received = received;
    rates.sent = sent;
    return TrayTooltip(rule).withRates(name.c_str(), hint, rates).c_str();
}

TEST(TrayTooltipTest, RatesComeFirstThenTheHintThenWhatIsLeftOfTheName) {
    // Rate lines of 5 digits and the hint take 48 + 17 units: 62 are left for the name.
    const std::string rates = "\nReceiving (KB/s): 12500\n  Sending (KB/s): 12500";
    const std::string name62(62, 'n');
    // Rates of 2 digits leave 85.
    const std::string shortRates = "\nReceiving (KB/s): 45\n  Sending (KB/s): 10";
    const struct {
        const char* what;
        std::string name;
        const char* hint;
        std::uint32_t received;
        std::uint32_t sent;
        std::string expected;
    } cases[] = {
        {"a short name", "Router", "", 45, 10, "Router" + shortRates},
        {"no name", "", "", 0, 0, "\nReceiving (KB/s): 0\n  Sending (KB/s): 0"},
        {"a name exactly at the limit", name62, stuck, 12500, 12500, name62 + stuck + rates},
        {"one character over", name62 + "x", stuck, 12500, 12500,
         std::string(61, 'n') + ellipsis + stuck + rates},
        {"64 characters with the hint", std::string(64, 'n'), stuck, 12500, 12500,
         std::string(61, 'n') + ellipsis + stuck + rates},
        {"a name far too long", std::string(500, 'n'), "", 45, 10,
         std::string(84, 'n') + ellipsis + shortRates},
        // 30 Chinese characters are 90 bytes but only 30 units: they fit.
        {"30 CJK characters", repeat(cjk, 30), "", 45, 10, repeat(cjk, 30) + shortRates},
        {"100 CJK characters", repeat(cjk, 100), "", 45, 10,
         repeat(cjk, 84) + ellipsis + shortRates},
        // A surrogate pair is kept or dropped whole.
        {"a pair that fits", std::string(83, 'a') + emoji, "", 45, 10,
         std::string(83, 'a') + emoji + shortRates},
        {"a pair one unit over", std::string(84, 'a') + emoji, "", 45, 10,
         std::string(84, 'a') + ellipsis + shortRates},
        {"a pair at the cut", std::string(83, 'a') + emoji + "b", "", 45, 10,
         std::string(83, 'a') + ellipsis + shortRates},
        // Bytes that are no UTF-8 show as U+FFFD, one unit each; a sequence cut short too.
        {"invalid bytes",
         "A\xFF"
         "B\xE6\x97"
         "C\xC0\xAF",
         "", 1, 2,
         "A\xEF\xBF\xBD"
         "B\xEF\xBF\xBD\xEF\xBF\xBD"
         "C\xEF\xBF\xBD\xEF\xBF\xBD"
         "\nReceiving (KB/s): 1\n  Sending (KB/s): 2"},
        {"the largest counters", "R", stuck, 4294967295u, 4294967295u,
         std::string("R") + stuck + "\nReceiving (KB/s): 4294967295\n  Sending (KB/s): 4294967295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tooltip =
            withRates(Ampersands::Literal, c.name, c.hint, c.received, c.sent);
        EXPECT_EQ(tooltip, c.expected);
        EXPECT_LE(units(tooltip), TrayTooltip::maximumUnits);
    }
}

TEST(TrayTooltipTest, AmpersandsAreTripledWhereTheTrayWantsItAndCountInTheBudget) {
    const std::string shortRates = "\nReceiving (KB/s): 45\n  Sending (KB/s): 10";
    const struct {
        const char* what;
        Ampersands rule;
        std::string name;
        std::string expected;
    } cases[] = {
        {"Windows 11", Ampersands::Literal, "AT&T Gateway", "AT&T Gateway" + shortRates},
        {"Windows 10", Ampersands::Tripled, "AT&T Gateway", "AT&&&T Gateway" + shortRates},
        {"two of them", Ampersands::Tripled, "A&B&C", "A&&&B&&&C" + shortRates},
        // 85 units are left: one letter and 28 tripled ampersands fill them exactly; with one
        // letter more the cut drops a whole "&&&", never a part of one.
        {"exactly at the limit", Ampersands::Tripled, "n" + std::string(28, '&'),
         "n" + repeat("&&&", 28) + shortRates},
        {"one over", Ampersands::Tripled, "nn" + std::string(28, '&'),
         "nn" + repeat("&&&", 27) + ellipsis + shortRates},
        {"a long name with one", Ampersands::Tripled, "AT&T " + std::string(100, 'x'),
         "AT&&&T " + std::string(77, 'x') + ellipsis + shortRates},
        {"untouched where literal", Ampersands::Literal, std::string(85, '&'),
         std::string(85, '&') + shortRates},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tooltip = withRates(c.rule, c.name, "", 45, 10);
        EXPECT_EQ(tooltip, c.expected);
        EXPECT_LE(units(tooltip), TrayTooltip::maximumUnits);
    }
}

TEST(TrayTooltipTest, TheUnitAndTheLineShareAreInEachRateLineAndInTheBudget) {
    const struct {
        const char* what;
        TooltipRates rates;
        std::string lines;
    } cases[] = {
        {"bytes, no share",
         {12500, 300, "KB/s", -1, -1},
         "Receiving (KB/s): 12500\n  Sending (KB/s): 300"},
        {"bits",
         {100000, 2400, "kbit/s", -1, -1},
         "Receiving (kbit/s): 100000\n  Sending (kbit/s): 2400"},
        {"shares",
         {12500, 300, "KB/s", 80, 2},
         "Receiving (KB/s): 12500 (80 %)\n  Sending (KB/s): 300 (2 %)"},
        {"an idle line",
         {0, 0, "KB/s", 0, 0},
         "Receiving (KB/s): 0 (0 %)\n  Sending (KB/s): 0 (0 %)"},
        {"a full line in bits",
         {4294967295u, 4294967295u, "kbit/s", 100, 100},
         "Receiving (kbit/s): 4294967295 (100 %)\n  Sending (kbit/s): 4294967295 (100 %)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(std::string(TrayTooltip::rateLines(c.rates).c_str()), c.lines);
        // The longest lines still leave the hint whole and some of the name.
        const std::string tooltip =
            TrayTooltip().withRates(std::string(200, 'n').c_str(), stuck, c.rates).c_str();
        EXPECT_EQ(units(tooltip), TrayTooltip::maximumUnits);
        const std::string tail = ellipsis + stuck + "\n" + c.lines;
        ASSERT_GT(tooltip.size(), tail.size());
        EXPECT_EQ(tooltip.substr(tooltip.size() - tail.size()), tail);
    }
}

TEST(TrayTooltipTest, BeforeTheRatesTheNameAndHintHaveTheWholeBudget) {
    const TrayTooltip literal;
    EXPECT_STREQ(literal.status("Looking for an UPnP gateway...", "").c_str(),
                 "Looking for an UPnP gateway...");
    EXPECT_STREQ(literal.status("", "").c_str(), "");
    const std::string long127(127, 'n');
    EXPECT_EQ(std::string(literal.status(long127.c_str(), "").c_str()), long127);
    EXPECT_EQ(std::string(literal.status(std::string(128, 'n').c_str(), "").c_str()),
              std::string(126, 'n') + ellipsis);
    EXPECT_EQ(std::string(literal.status(std::string(200, 'n').c_str(), stuck).c_str()),
              std::string(109, 'n') + ellipsis + stuck);
    EXPECT_STREQ(TrayTooltip(Ampersands::Tripled).status("B&Q", stuck).c_str(),
                 "B&&&Q (counters stuck)");
}

} // namespace
} // namespace kestrum::test
