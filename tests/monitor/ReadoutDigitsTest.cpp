#include "monitor/ReadoutDigits.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

TEST(ReadoutDigitsTest, DigitsOfAValueAtThePowersOfTen) {
    const struct {
        std::uint32_t value;
        int digits;
    } cases[] = {
        {0, 1},      {9, 1},       {10, 2},        {9'999, 4},          {10'000, 5},
        {99'999, 5}, {100'000, 6}, {1'000'000, 7}, {2'147'483'647, 10}, {4'294'967'295u, 10}};
    for (const auto& c : cases) {
        EXPECT_EQ(ReadoutDigits::of(c.value), c.digits) << c.value;
    }
}

// Each step applies a scale or shows a rate; the count that follows.
TEST(ReadoutDigitsTest, GrowsWithTheRatesAndStartsAgainAtApply) {
    enum class Step { apply, show };
    const struct {
        Step step;
        std::uint32_t value;
        int digits;
    } steps[] = {
        {Step::apply, 30, 4},    // the default scale
        {Step::show, 9'999, 4},  // just below five digits
        {Step::show, 10'000, 5}, // five
        {Step::show, 30, 5},     // back below: the cells keep their size
        {Step::show, 9'999, 5},      {Step::show, 1'250'000, 7}, // the fastest rate the meter gives
        {Step::apply, 30, 4},      // Apply forgets the rates shown before
        {Step::apply, 100'000, 6}, // a scale of six digits
        {Step::show, 12'500, 6},     {Step::apply, 9'999, 4}, // a smaller scale
        {Step::show, 10'000, 5},     {Step::apply, 10'000, 5},
        {Step::apply, 1'000'000, 7}, // the largest scale the window accepts
        {Step::apply, 1, 4},         {Step::show, 0, 4},
    };
    ReadoutDigits digits;
    EXPECT_EQ(digits.count(), ReadoutDigits::minimum);
    int index = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << index++ << ": " << s.value);
        if (s.step == Step::apply) {
            digits.apply(s.value);
            EXPECT_EQ(digits.count(), s.digits);
        } else {
            EXPECT_EQ(digits.show(s.value), s.digits);
        }
    }
}

} // namespace
} // namespace kestrum::test
