#include "shell/controls/TextLabel.h"

#include "tests/shell/ShellTestHost.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr int width = 200;

// The label draws over the host's dialog-coloured background; everything else is ink.
struct Ink {
    int left = -1, right = -1, top = -1, bottom = -1;
};

Ink inkOf(const ShellTestHost& host) {
    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    Ink ink;
    for (int y = 0; y < host.height(); ++y) {
        for (int x = 0; x < host.width(); ++x) {
            if (host.pixel(x, y) == background) {
                continue;
            }
            ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = ink.top < 0 ? y : ink.top;
            ink.bottom = y;
        }
    }
    return ink;
}

std::vector<COLORREF> picture(const ShellTestHost& host) {
    std::vector<COLORREF> pixels;
    for (int y = 0; y < host.height(); ++y) {
        for (int x = 0; x < host.width(); ++x) {
            pixels.push_back(host.pixel(x, y));
        }
    }
    return pixels;
}

// What a new label shows for text: the reference a reused label must match.
std::vector<COLORREF> freshLabelPicture(ShellTestHost& host, const char* text) {
    HWND window = host.createControl(width, 16);
    CTextLabel label;
    EXPECT_TRUE(label.subclassWindow(window));
    label.setText(text);
    host.capture(window);
    return picture(host);
}

TEST(TextLabel, drawsTwoPixelsFromTheLeftAndCentredVertically) {
    ShellTestHost host;
    for (int height : {14, 16, 24, 40, 61}) {
        SCOPED_TRACE("height " + std::to_string(height));
        HWND window = host.createControl(width, height);
        CTextLabel label;
        ASSERT_TRUE(label.subclassWindow(window));
        label.setText("Graph scale (KB/s) / Refresh rate (ms)");
        host.capture(window);
        const Ink ink = inkOf(host);
        ASSERT_GE(ink.left, 2);
        EXPECT_LE(ink.left, 4); // left-aligned, not centred
        // Ink rows (capitals, brackets, descenders) sit about the middle row.
        EXPECT_NEAR(ink.top + ink.bottom, height - 1, 4);
        DestroyWindow(window);
    }
}

TEST(TextLabel, aShorterTextLeavesNoTraceOfTheLongerOne) {
    ShellTestHost host;
    const std::vector<COLORREF> expected = freshLabelPicture(host, "Router");
    EXPECT_GT(inkOf(host).right, 10);

    HWND reused = host.createControl(width, 16);
    CTextLabel label;
    ASSERT_TRUE(label.subclassWindow(reused));
    label.setText("Looking for an UPnP gateway...");
    host.capture(reused);
    EXPECT_GT(inkOf(host).right, 100);
    label.setText("Router");
    host.capture(reused);
    EXPECT_EQ(picture(host), expected);
}

TEST(TextLabel, showsItsTemplateTextAndAnswersWithTheTextItShows) {
    ShellTestHost host;
    const std::vector<COLORREF> expected = freshLabelPicture(host, "Status");

    HWND window = host.createControl(width, 16, L"STATIC", 0, L"Status");
    CTextLabel label;
    ASSERT_TRUE(label.subclassWindow(window));
    host.capture(window);
    EXPECT_EQ(picture(host), expected);
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"Status");

    // UTF-8 in, UTF-16 out, for any script.
    label.setText("Шлюз \xce\xb1 路由器");
    EXPECT_EQ(GetWindowTextLengthW(window), 10);
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"Шлюз α 路由器");
    GetWindowTextW(window, text, 5); // truncated to the buffer
    EXPECT_STREQ(text, L"Шлюз");
    label.setText(nullptr);
    EXPECT_EQ(GetWindowTextLengthW(window), 0);
    SetWindowTextW(window, L"Gateway");
    char narrow[16] = {};
    GetWindowTextA(window, narrow, 16);
    EXPECT_STREQ(narrow, "Gateway");
}

// A gateway's CJK name shows its own glyphs, not the box of a missing one: a font without them
// draws one and the same box for every character.
TEST(TextLabel, cjkCharactersShowTheirOwnGlyphs) {
    ShellTestHost host;
    std::vector<std::vector<COLORREF>> glyphs;
    for (const char* character : {"路", "由", "器"}) {
        glyphs.push_back(freshLabelPicture(host, character));
        EXPECT_GT(inkOf(host).right, 4) << character;
    }
    EXPECT_NE(glyphs[0], glyphs[1]);
    EXPECT_NE(glyphs[0], glyphs[2]);
    EXPECT_NE(glyphs[1], glyphs[2]);
}

} // namespace
} // namespace kestrum::test
