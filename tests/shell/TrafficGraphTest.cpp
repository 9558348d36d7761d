#include "shell/controls/TrafficGraph.h"

#include "tests/shell/ShellTestHost.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <vector>

namespace kestrum::test {
namespace {

constexpr int width = 60;
constexpr int height = 40;
constexpr COLORREF line = RGB(255, 50, 50);
constexpr COLORREF back = RGB(0, 0, 0);
constexpr COLORREF dark = RGB(120, 120, 120);
constexpr COLORREF light = RGB(250, 250, 250);

struct Probe {
    int x;
    int y;
    COLORREF colour;
};

// W + 1 samples (as the monitor window feeds them) of one level, with the oldest and newest
// replaced when given.
std::vector<int> history(int level, int oldest, int newest) {
    std::vector<int> samples(width + 1, level);
    samples.front() = oldest;
    samples.back() = newest;
    return samples;
}

enum class Look { plain, filledWithZero, sunkenBorder, raisedBorder };

struct GraphCase {
    const char* name;
    int lower;
    int upper;
    Look look;
    std::vector<int> samples;
    std::vector<Probe> probes;
};

TEST(TrafficGraph, drawsItsSamplesAndFrameByTheClientSize) {
    const std::vector<int> halfway(width + 1, 50);
    const std::vector<int> top(width + 1, 100);
    std::vector<int> rising(width + 1, 0); // 0 for the older half, 1 for the newer
    std::fill(rising.begin() + width / 2 + 1, rising.end(), 1);
    std::vector<int> atThenAbove(width + 1, 100); // the scale, then a true rate far above it
    std::fill(atThenAbove.begin() + width / 2 + 1, atThenAbove.end(), 1000);
    const std::vector<int> justBelow(width + 1, 99);
    // clang-format off
    const GraphCase cases[] = {
        {"W + 1 samples at half the range fill row H/2 edge to edge", 0, 100, Look::plain,
         halfway, {{0, 20, line}, {30, 20, line}, {59, 20, line}, {30, 19, back}, {30, 21, back}}},
        {"the oldest sample is a stroke from x = 0 to x = 1", 0, 100, Look::plain,
         history(50, 100, 50), {{0, 0, line}, {0, 20, back}, {1, 10, line}, {2, 20, line}}},
        {"the newest sample lies at x = W; the line towards it shows in column W - 1", 0, 40,
         Look::plain, history(0, 0, 40), {{59, 39, line}, {58, 39, back}, {30, 39, back}}},
        {"a single sample is one pixel at x = 0", 0, 100, Look::plain, {50},
         {{0, 20, line}, {1, 20, back}}},
        {"a lower bound enters only the range", 10, 110, Look::plain, halfway,
         {{30, 20, line}, {30, 15, back}}},
        {"range 0..0 counts as 0.1: a sample of 1 lies above it, on the top row", 0, 0,
         Look::plain, rising,
         {{30, 39, line}, {29, 39, back}, {20, 0, back}, {31, 0, line}, {45, 0, line},
          {45, 1, back}}},
        {"samples at the upper bound and ten times above it share the top row", 0, 100,
         Look::plain, atThenAbove, {{0, 0, line}, {15, 0, line}, {45, 0, line}, {59, 0, line},
          {15, 1, back}, {45, 1, back}}},
        {"a sample just below the upper bound stays below the top row", 0, 100, Look::plain,
         justBelow, {{30, 1, line}, {30, 0, back}}},
        {"samples far beyond the range: above on the top row, below still a line", 0, 100,
         Look::plain, {INT_MAX, INT_MIN}, {{0, 0, line}, {1, 20, line}, {1, 39, line},
          {16, 20, back}}},
        {"fill with 0 leaves only the background", 0, 100, Look::filledWithZero, halfway,
         {{0, 20, back}, {30, 20, back}, {59, 20, back}}},
        {"without border the plot reaches the edges", 0, 100, Look::plain, top,
         {{0, 0, line}, {59, 0, line}, {0, 39, back}, {59, 39, back}}},
        {"sunken: dark top and left without their last pixel, light right and bottom", 0, 100,
         Look::sunkenBorder, top,
         {{0, 0, dark}, {58, 0, dark}, {59, 0, light}, {0, 38, dark}, {0, 39, light},
          {30, 39, light}, {59, 20, light}, {59, 39, light}, {30, 2, back}}},
        {"inside a frame, samples at and far above the range run along the first row within",
         0, 100, Look::sunkenBorder, atThenAbove,
         {{15, 0, dark}, {45, 0, dark}, {15, 1, line}, {45, 1, line}, {45, 2, back}}},
        {"raised: the colours swap", 0, 100, Look::raisedBorder, {0},
         {{0, 0, light}, {58, 0, light}, {59, 0, dark}, {0, 38, light}, {0, 39, dark},
          {59, 39, dark}, {30, 20, back}}},
    };
    // clang-format on
    ShellTestHost host;
    for (const GraphCase& test : cases) {
        SCOPED_TRACE(test.name);
        HWND window = host.createControl(width, height);
        CTrafficGraph graph;
        ASSERT_TRUE(graph.subclassWindow(window));
        graph.setLineColour(line);
        graph.setBackgroundColour(back);
        graph.setBorder(test.look == Look::sunkenBorder || test.look == Look::raisedBorder);
        graph.setSunken(test.look != Look::raisedBorder); // no effect without a border
        graph.setSamples(test.samples.data(), static_cast<int>(test.samples.size()), false);
        graph.setRange(test.lower, test.upper);
        if (test.look == Look::filledWithZero) {
            graph.fill(0, true);
        }
        host.capture(window);
        for (const Probe& probe : test.probes) {
            EXPECT_EQ(host.pixel(probe.x, probe.y), probe.colour)
                << "at (" << probe.x << ", " << probe.y << ")";
        }
        DestroyWindow(window);
    }
}

TEST(TrafficGraph, ignoresEmptySamplesAndFollowsItsSize) {
    ShellTestHost host;
    HWND window = host.createControl(width, height);
    CTrafficGraph graph;
    graph.redraw(); // before a window: nothing
    ASSERT_TRUE(graph.subclassWindow(window));
    graph.setLineColour(line);
    graph.setBackgroundColour(back);
    const std::vector<int> top(width + 1, 100);
    graph.setSamples(top.data(), width + 1, true);
    graph.setSamples(nullptr, 5, true);
    const int ignored = 0;
    graph.setSamples(&ignored, 0, true);
    host.capture(window);
    EXPECT_EQ(host.pixel(30, 0), line);

    // Half the level at twice the height lands on the same row as before, now H/2 = 40.
    SetWindowPos(window, nullptr, 0, 0, width, 2 * height, SWP_NOMOVE | SWP_NOZORDER);
    graph.setRange(0, 200);
    host.capture(window);
    EXPECT_EQ(host.pixel(30, 40), line);
    EXPECT_EQ(host.pixel(30, 0), back);
}

} // namespace
} // namespace kestrum::test
