#include "monitor/CounterTrack.h"

#include "tests/support/CounterReadings.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace kestrum::test {
namespace {

constexpr std::uint32_t start = 7'000'000; // steady milliseconds
constexpr std::uint32_t top = 0xFFFFFFFFu;

// While no newer reading exists, the last rate shows until the bound after the last reading:
// four periods, at least 3 s.
TEST(CounterTrackTest, TheLastRateIsHeldUpToTheBoundAfterTheLastReading) {
    const struct {
        std::uint32_t period;
        std::uint32_t bound;
    } cases[] = {{100, 3000}, {500, 3000},  {749, 3000},   {750, 3000},
                 {751, 3004}, {1000, 4000}, {10000, 40000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period);
        EXPECT_EQ(CounterTrack::holdBound(c.period), c.bound);
        CounterTrack track;
        track.measure(reading(1'000'000, start), start, c.period);
        const std::uint32_t readAt = start + c.period;
        EXPECT_EQ(track.measure(reading(1'000'000 + 100 * c.period, readAt), readAt, c.period),
                  100u);
        // The same reading again: nothing newer came.
        const CounterReading last = reading(1'000'000 + 100 * c.period, readAt);
        EXPECT_EQ(track.measure(last, readAt + c.period, c.period), 100u);
        EXPECT_EQ(track.measure(last, readAt + c.bound, c.period), 100u);
        EXPECT_EQ(track.measure(last, readAt + c.bound + 1, c.period), 0u);
        // Read at last, the bytes spread over the whole wait.
        const std::uint32_t lateAt = readAt + 2 * c.bound;
        const CounterReading late = reading(1'000'000 + 100 * (c.period + 2 * c.bound), lateAt);
        EXPECT_EQ(track.measure(late, lateAt, c.period), 100u);
        // An update whose clock has not quite reached the reading's time holds it as fresh.
        EXPECT_EQ(track.measure(late, lateAt - 5, c.period), 100u);
    }
}

// Readings of one counter with the rate each must show; the first starts the track.
struct Step {
    std::uint32_t at; // milliseconds after start
    std::uint32_t value;
    std::uint32_t rate;
};

void expectRates(const char* name, const std::vector<Step>& steps, std::uint32_t period = 500) {
    SCOPED_TRACE(name);
    CounterTrack track;
    for (const Step& step : steps) {
        const std::uint32_t at = start + step.at;
        EXPECT_EQ(track.measure(reading(step.value, at), at, period), step.rate)
            << "at " << step.at << " ms, value " << step.value;
    }
}

constexpr std::uint32_t good = 300'000'000;

// 100 KB/s read every 500 ms: a reading that falls is held at the last rate; back at or above
// the last good reading it was a glitch, measured over the whole span; growing on from the low
// value it was a reset.
TEST(CounterTrackTest, AFallThatComesBackIsAGlitchAndOneThatGrowsOnAReset) {
    expectRates("0 once", {{0, good, 0},
                           {500, good + 50'000, 100},
                           {1000, 0, 100},
                           {1500, good + 150'000, 100},
                           {2000, good + 200'000, 100}});
    expectRates("a random low value once", {{0, good, 0},
                                            {500, good + 50'000, 100},
                                            {1000, 17'345'678, 100},
                                            {1500, good + 150'000, 100},
                                            {2000, good + 200'000, 100}});
    expectRates("a few hundred bytes back", {{0, good, 0},
                                             {500, good + 50'000, 100},
                                             {1000, good + 49'700, 100},
                                             {1500, good + 150'000, 100}});
    expectRates("two glitches in a row", {{0, good, 0},
                                          {500, good + 50'000, 100},
                                          {1000, 0, 100},
                                          {1500, 0, 100},
                                          {2000, good + 200'000, 100},
                                          {2500, good + 250'000, 100}});
    expectRates("a low value, then 0", {{0, good, 0},
                                        {500, good + 50'000, 100},
                                        {1000, 17'345'678, 100},
                                        {1500, 0, 100},
                                        {2000, good + 200'000, 100}});
    expectRates("two glitches apart", {{0, good, 0},
                                       {500, good + 50'000, 100},
                                       {1000, 0, 100},
                                       {1500, good + 150'000, 100},
                                       {2000, 0, 100},
                                       {2500, good + 250'000, 100}});
    expectRates("a reset to 0 that then grows", {{0, good, 0},
                                                 {500, good + 50'000, 100},
                                                 {1000, 0, 100},
                                                 {1500, 20'000, 40},
                                                 {2000, 70'000, 100}});
    expectRates("a reset to a low value", {{0, good, 0},
                                           {500, good + 50'000, 100},
                                           {1000, 1'000'000, 100},
                                           {1500, 1'050'000, 100},
                                           {2000, 1'100'000, 100}});
    expectRates(
        "a glitch just after the first reading",
        {{0, good, 0}, {500, 0, 0}, {1000, good + 100'000, 100}, {1500, good + 150'000, 100}});
    // 0 lies ahead of the last good reading modulo 2^32, and the value after it ahead of 0: the
    // reading whose rate continues the last one's wins.
    expectRates("a glitch across the 2^32 wrap", {{0, top - 59'999, 0},
                                                  {500, top - 9'999, 100},
                                                  {1000, 0, 100},
                                                  {1500, 90'000, 100},
                                                  {2000, 140'000, 100}});
    // From above 2^31 a fall to 0 reads as a step forward, plausible over a slow answer's span.
    expectRates("a glitch above 2^31 between slow answers", {{0, 3'000'000'000u, 0},
                                                             {1750, 3'000'175'000u, 100},
                                                             {3500, 0, 100},
                                                             {5250, 3'000'525'000u, 100}});
    expectRates("a reset from above 2^31 that then grows", {{0, 3'000'000'000u, 0},
                                                            {500, 3'000'050'000u, 100},
                                                            {1000, 0, 100},
                                                            {1500, 5'000, 10},
                                                            {2000, 55'000, 100}});
    // A step no link could make is held as well; the counter growing on from it was reset.
    expectRates("a jump beyond 10 Gbit/s", {{0, good, 0},
                                            {500, good + 50'000, 100},
                                            {1000, good + 700'000'000u, 100},
                                            {1500, good + 700'050'000u, 100}});
    // Read again, a low value may be a glitch repeated; a high one is the counter's new value.
    expectRates("a jump beyond 10 Gbit/s that stays", {{0, good, 0},
                                                       {500, good + 50'000, 100},
                                                       {1000, good + 700'000'000u, 100},
                                                       {1500, good + 700'000'000u, 0},
                                                       {2000, good + 700'050'000u, 100}});
}

// A counter that stays low is held like one not read again, up to the bound after its last good
// reading; then it shows 0 until it grows on.
TEST(CounterTrackTest, ACounterThatStaysLowIsHeldOnlyUpToTheBound) {
    expectRates("stays at 0", {{0, good, 0},
                               {500, good + 50'000, 100},
                               {1000, 0, 100},
                               {2000, 0, 100},
                               {3500, 0, 100},
                               {3501, 0, 0}, // too soon to measure, and past the bound
                               {4000, 0, 0},
                               {4500, 50'000, 100}});
}

} // namespace
} // namespace kestrum::test
