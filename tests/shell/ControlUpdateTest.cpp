#include "shell/controls/SegmentDisplay.h"
#include "shell/controls/StyledButton.h"
#include "shell/controls/TextLabel.h"
#include "shell/controls/TrafficGraph.h"
#include "tests/shell/MessageCounter.h"
#include "tests/shell/ShellTestHost.h"
#include "tests/shell/SystemColour.h"

#include <functional>
#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

TEST(ControlUpdate, repaintsOnlyWhenWhatItShowsChanged) {
    ShellTestHost host;
    CTextLabel label;
    CSegmentDisplay readout;
    CTrafficGraph graph;
    ASSERT_TRUE(label.subclassWindow(host.createControl(150, 16, L"STATIC", 0, L"Status")));
    ASSERT_TRUE(readout.subclassWindow(host.createControl(80, 39)));
    ASSERT_TRUE(graph.subclassWindow(host.createControl(80, 40)));
    MessageCounter labelPaints(label.hwnd(), WM_PAINT);
    MessageCounter readoutPaints(readout.hwnd(), WM_PAINT);
    MessageCounter graphPaints(graph.hwnd(), WM_PAINT);
    const int samples[] = {1, 2, 3};
    const int shifted[] = {2, 3, 4};
    const struct {
        const char* name;
        MessageCounter& paints;
        std::function<void()> change;
        bool repaints;
    } steps[] = {
        {"template text again", labelPaints, [&] { label.setText("Status"); }, false},
        {"new text", labelPaints, [&] { label.setText("Gateway"); }, true},
        {"same text", labelPaints, [&] { label.setText("Gateway"); }, false},
        {"same value", readoutPaints, [&] { readout.setValue(0); }, false},
        {"new value", readoutPaints, [&] { readout.setValue(42); }, true},
        {"same value again", readoutPaints, [&] { readout.setValue(42); }, false},
        {"new samples", graphPaints, [&] { graph.setSamples(samples, 3, true); }, true},
        {"same samples", graphPaints, [&] { graph.setSamples(samples, 3, true); }, false},
        {"shifted samples", graphPaints, [&] { graph.setSamples(shifted, 3, true); }, true},
        {"fewer samples", graphPaints, [&] { graph.setSamples(shifted, 2, true); }, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        host.pumpMessages();
        step.paints.reset();
        step.change();
        host.pumpMessages();
        EXPECT_EQ(step.paints.count() > 0, step.repaints);
    }
}

int pixelsWhere(const ShellTestHost& host, const std::function<bool(COLORREF)>& test) {
    int found = 0;
    for (int y = 0; y < host.height(); ++y) {
        for (int x = 0; x < host.width(); ++x) {
            found += test(host.pixel(x, y)) ? 1 : 0;
        }
    }
    return found;
}

TEST(ControlUpdate, labelAndButtonPaintWithTheSystemColoursOfTheMoment) {
    ShellTestHost host;
    CTextLabel label;
    ASSERT_TRUE(label.subclassWindow(host.createControl(150, 16, L"STATIC", 0, L"Gateway")));
    CStyledButton button;
    ASSERT_TRUE(button.subclassWindow(host.createControl(48, 20, L"BUTTON", BS_PUSHBUTTON)));
    ASSERT_TRUE(
        button.makeTexture(CStyledButton::shadedTexture, 0, 30, 40, CStyledButton::buttonFace));
    const auto magenta = [](COLORREF colour) { return colour == RGB(255, 0, 255); };
    // The shadow band along the button's right edge, tinted toward red.
    const auto reddish = [](COLORREF colour) { return GetRValue(colour) > GetGValue(colour) + 40; };
    const struct {
        const char* name;
        HWND window;
        int index;
        COLORREF colour;
        std::function<bool(COLORREF)> shows;
    } cases[] = {
        {"label text", label.hwnd(), COLOR_BTNTEXT, RGB(255, 0, 255), magenta},
        {"button shadow", button.hwnd(), COLOR_BTNSHADOW, RGB(255, 0, 0), reddish},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            const SystemColour changed(c.index, c.colour);
            RedrawWindow(c.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            host.capture(c.window);
            EXPECT_GT(pixelsWhere(host, c.shows), 10);
        }
        RedrawWindow(c.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        host.capture(c.window);
        EXPECT_EQ(pixelsWhere(host, c.shows), 0);
    }
}

} // namespace
} // namespace kestrum::test
