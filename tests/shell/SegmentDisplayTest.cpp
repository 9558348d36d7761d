#include "shell/controls/SegmentDisplay.h"

#include "tests/shell/ShellTestHost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr COLORREF back = RGB(0, 0, 0);
constexpr COLORREF redLit = RGB(255, 0, 0);
constexpr COLORREF redUnlit = RGB(60, 0, 0);
constexpr COLORREF greenLit = RGB(60, 255, 60);
constexpr COLORREF greenUnlit = RGB(0, 60, 0);

// The usual seven-segment names: a top, b upper right, c lower right, d bottom, e lower left,
// f upper left, g middle.
const char* const digitSegments[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                       "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};

struct Cell {
    int left, top, right, bottom;
};

// The layout rule, from the client size: cell of position i (0 = units).
Cell cellOf(int width, int height, int count, int position) {
    const int margin = 4;
    const int gap = height > 20 ? 3 : 2;
    const int digitWidth = (width - 2 * margin - (count - 1) * gap) / count;
    const int unitsLeft =
        width - (width - (digitWidth + gap) * count - gap) / 2 - margin - digitWidth;
    const int left = unitsLeft - position * (digitWidth + gap);
    return {left, margin, left + digitWidth - 1, height - margin - 1};
}

// Checks each segment on its outermost stroke, and that nothing is drawn just outside the cell.
void expectCell(const ShellTestHost& host, const Cell& cell, const std::string& litSegments,
                COLORREF lit, COLORREF unlit) {
    const int middle = cell.top + (cell.bottom - cell.top) / 2;
    const int x = (cell.left + cell.right) / 2;
    const int upper = (cell.top + middle) / 2;
    const int lower = (middle + cell.bottom) / 2;
    const struct {
        char name;
        int x, y;
    } segments[] = {{'a', x, cell.top},    {'b', cell.right, upper}, {'c', cell.right, lower},
                    {'d', x, cell.bottom}, {'e', cell.left, lower},  {'f', cell.left, upper},
                    {'g', x, middle}};
    for (const auto& segment : segments) {
        const bool on = litSegments.find(segment.name) != std::string::npos;
        EXPECT_EQ(host.pixel(segment.x, segment.y), on ? lit : unlit)
            << "segment " << segment.name << " of the cell at x = " << cell.left;
    }
    EXPECT_EQ(host.pixel(cell.left - 1, upper), back);
    EXPECT_EQ(host.pixel(cell.right + 1, upper), back);
    EXPECT_EQ(host.pixel(x, cell.top - 1), back);
    EXPECT_EQ(host.pixel(x, cell.bottom + 1), back);
}

struct ReadoutCase {
    int value;
    int height;
    bool green;
    std::vector<int> digitCounts; // set in order
    const char* shown;            // position by position from the left: digit, '.' unlit, '-' minus
};

TEST(SegmentDisplay, showsEachDigitsSegmentsInTheLayoutOfItsClientSize) {
    const ReadoutCase cases[] = {
        {0, 39, true, {4}, "...0"},         {42, 39, true, {4}, "..42"},
        {12345, 39, false, {4}, "2345"},    {-7, 39, false, {4}, "..-7"},
        {1234, 39, false, {4, 21}, "1234"}, {5678, 39, true, {4, -1}, "5678"},
        {9090, 20, true, {4}, "9090"},      {-25, 24, false, {6}, "...-25"},
    };
    const int width = 83;
    ShellTestHost host;
    for (const ReadoutCase& test : cases) {
        SCOPED_TRACE(test.shown);
        HWND window = host.createControl(width, test.height);
        CSegmentDisplay display;
        ASSERT_TRUE(display.subclassWindow(window));
        if (test.green) {
            display.useGreenScheme();
        }
        for (int count : test.digitCounts) {
            display.setDigitCount(count);
        }
        display.setValue(test.value);
        host.capture(window);
        const COLORREF lit = test.green ? greenLit : redLit;
        const COLORREF unlit = test.green ? greenUnlit : redUnlit;
        const int count = static_cast<int>(std::strlen(test.shown));
        for (int position = 0; position < count; ++position) {
            const char shown = test.shown[count - 1 - position];
            const std::string segments = shown == '-'   ? "g"
                                         : shown == '.' ? ""
                                                        : digitSegments[shown - '0'];
            expectCell(host, cellOf(width, test.height, count, position), segments, lit, unlit);
        }
        wchar_t text[16] = {};
        GetWindowTextW(window, text, 16);
        EXPECT_EQ(std::wstring(text), std::to_wstring(test.value));
        DestroyWindow(window);
    }
}

TEST(SegmentDisplay, thinDigitsJoinTheirInnerStrokes) {
    ShellTestHost host;
    for (int height : {20, 21}) {
        HWND window = host.createControl(83, height);
        CSegmentDisplay display;
        ASSERT_TRUE(display.subclassWindow(window));
        display.setDigitCount(1);
        display.setValue(8);
        host.capture(window);
        const Cell cell = cellOf(83, height, 1, 0);
        // The top bar's innermost stroke starts at L + 3 only when the control is tall.
        EXPECT_EQ(host.pixel(cell.left + 3, cell.top + 2), height > 20 ? redLit : back)
            << "height " << height;
        EXPECT_EQ(host.pixel(cell.right - 3, cell.top + 2), redLit);
        DestroyWindow(window);
    }
}

TEST(SegmentDisplay, minusOverTheLeftmostDigitAndNoDigitsAtAll) {
    ShellTestHost host;
    HWND window = host.createControl(83, 39);
    CSegmentDisplay display;
    ASSERT_TRUE(display.subclassWindow(window));
    wchar_t text[16] = {};
    GetWindowTextW(window, text, 16);
    EXPECT_STREQ(text, L"0");
    display.setDigitCount(4);
    display.setValue(-1234);
    host.capture(window);
    // Every position is taken: the minus is drawn in a cell whose left edge is 0.
    const Cell leftmost = cellOf(83, 39, 4, 3);
    const int middle = leftmost.top + (leftmost.bottom - leftmost.top) / 2;
    EXPECT_EQ(host.pixel(1, middle), redLit);
    EXPECT_EQ(host.pixel(leftmost.right, (leftmost.top + middle) / 2), redLit); // the 1
    char narrow[16] = {};
    GetWindowTextA(window, narrow, 16);
    EXPECT_STREQ(narrow, "-1234");
    EXPECT_EQ(GetWindowTextLengthW(window), 5);

    display.setDigitCount(0);
    host.capture(window);
    for (int y = 0; y < host.height(); ++y) {
        for (int x = 0; x < host.width(); ++x) {
            ASSERT_EQ(host.pixel(x, y), back) << "at (" << x << ", " << y << ")";
        }
    }
}

// Run of lit pixels down column x from row y; returns the row after it.
int litRun(const ShellTestHost& host, int x, int& y) {
    while (y < host.height() && host.pixel(x, y) != redLit) {
        ++y;
    }
    const int start = y;
    while (y < host.height() && host.pixel(x, y) == redLit) {
        ++y;
    }
    return y - start;
}

TEST(SegmentDisplay, strokesAndMarginsGrowWithTheHeightAtHigherDpi) {
    const struct {
        int height;
        int margin;
        int strokes;
    } cases[] = {{24, 4, 3}, {39, 4, 3}, {59, 6, 5}, {78, 8, 6}};
    ShellTestHost host;
    for (const auto& c : cases) {
        SCOPED_TRACE("height " + std::to_string(c.height));
        HWND window = host.createControl(60, c.height);
        CSegmentDisplay display;
        ASSERT_TRUE(display.subclassWindow(window));
        display.setDigitCount(1);
        display.setValue(8);
        host.capture(window);
        // Down the middle column: the top bar, then the middle bar, each a stroke per row.
        int y = 0;
        EXPECT_EQ(litRun(host, 30, y), c.strokes);
        EXPECT_EQ(y - c.strokes, c.margin);
        EXPECT_EQ(litRun(host, 30, y), c.strokes);
        DestroyWindow(window);
    }
}

} // namespace
} // namespace kestrum::test
