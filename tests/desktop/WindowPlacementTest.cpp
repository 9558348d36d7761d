#include "shell/app/WindowPlacement.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr RECT screen{0, 0, 1600, 900};
constexpr SIZE windowSize{300, 250};

DesktopLayout taskbarAt(UINT edge, bool autoHide = false, bool rightToLeft = false) {
    DesktopLayout desktop;
    desktop.rightToLeft = rightToLeft;
    desktop.hasTaskbar = true;
    desktop.edge = edge;
    desktop.autoHide = autoHide;
    desktop.monitor = screen;
    desktop.work = screen;
    // A 40-pixel taskbar; an auto-hidden one leaves the work area whole.
    switch (edge) {
    case ABE_TOP:
        desktop.taskbar = {0, 0, 1600, 40};
        desktop.work.top = autoHide ? 0 : 40;
        break;
    case ABE_LEFT:
        desktop.taskbar = {0, 0, 40, 900};
        desktop.work.left = autoHide ? 0 : 40;
        break;
    case ABE_RIGHT:
        desktop.taskbar = {1560, 0, 1600, 900};
        desktop.work.right = autoHide ? 1600 : 1560;
        break;
    default:
        desktop.taskbar = {0, 860, 1600, 900};
        desktop.work.bottom = autoHide ? 900 : 860;
        break;
    }
    return desktop;
}

// The system's popup calculation as a test sees it: what it was asked, and its answer.
struct PopupCall {
    POINT anchor;
    UINT flags;
    RECT exclude;
};

struct FakePopup {
    std::vector<PopupCall> calls;
    std::optional<RECT> answer;

    PopupCalculator calculator() {
        return [this](POINT anchor, SIZE, UINT flags, RECT exclude) {
            calls.push_back({anchor, flags, exclude});
            return answer;
        };
    }
};

// By the taskbar's edge, where the shell gives no icon rectangle (as under Wine).
TEST(WindowPlacement, CornerBesideTheNotificationAreaByTheTaskbarsEdge) {
    const DesktopLayout noTaskbar = [] {
        DesktopLayout desktop;
        desktop.monitor = desktop.work = screen;
        return desktop;
    }();
    const struct {
        const char* what;
        DesktopLayout desktop;
        POINT corner;
        bool besideTaskbar;
    } rows[] = {
        {"bottom", taskbarAt(ABE_BOTTOM), {1300, 610}, true},
        {"top", taskbarAt(ABE_TOP), {1300, 40}, true},
        {"left", taskbarAt(ABE_LEFT), {40, 650}, true},
        {"right", taskbarAt(ABE_RIGHT), {1260, 650}, true},
        // Its thickness comes off the work area, which would otherwise be the whole screen.
        {"bottom, auto-hidden", taskbarAt(ABE_BOTTOM, true), {1300, 610}, true},
        {"top, auto-hidden", taskbarAt(ABE_TOP, true), {1300, 40}, true},
        {"left, auto-hidden", taskbarAt(ABE_LEFT, true), {40, 650}, true},
        {"right, auto-hidden", taskbarAt(ABE_RIGHT, true), {1260, 650}, true},
        // Right-to-left: the notification area is at the left end of a top or bottom taskbar.
        {"bottom, right-to-left", taskbarAt(ABE_BOTTOM, false, true), {0, 610}, true},
        {"top, right-to-left", taskbarAt(ABE_TOP, false, true), {0, 40}, true},
        {"left, right-to-left", taskbarAt(ABE_LEFT, false, true), {40, 650}, true},
        {"right, right-to-left", taskbarAt(ABE_RIGHT, false, true), {1260, 650}, true},
        // Not yet at logon: centred for now, never in the screen's corner.
        {"no taskbar", noTaskbar, {650, 325}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePopup popup;
        const Placement placed =
            placeBesideNotificationArea(row.desktop, windowSize, popup.calculator());
        EXPECT_EQ(placed.corner.x, row.corner.x);
        EXPECT_EQ(placed.corner.y, row.corner.y);
        EXPECT_EQ(placed.besideTaskbar, row.besideTaskbar);
        EXPECT_TRUE(popup.calls.empty());
    }
}

// By the icon: the system places the window next to it, on the screen's side.
TEST(WindowPlacement, BesideTheIconOnTheScreensSideOfTheTaskbar) {
    const struct {
        UINT edge;
        RECT icon;
        POINT anchor;
        UINT flags;
    } rows[] = {
        {ABE_BOTTOM,
         {1400, 864, 1432, 896},
         {1416, 864},
         TPM_VERTICAL | TPM_BOTTOMALIGN | TPM_CENTERALIGN},
        {ABE_TOP, {1400, 4, 1432, 36}, {1416, 36}, TPM_VERTICAL | TPM_TOPALIGN | TPM_CENTERALIGN},
        {ABE_LEFT, {4, 700, 36, 732}, {36, 716}, TPM_HORIZONTAL | TPM_LEFTALIGN | TPM_VCENTERALIGN},
        {ABE_RIGHT,
         {1564, 700, 1596, 732},
         {1564, 716},
         TPM_HORIZONTAL | TPM_RIGHTALIGN | TPM_VCENTERALIGN},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("edge " + std::to_string(row.edge));
        DesktopLayout desktop = taskbarAt(row.edge);
        desktop.icon = row.icon;
        FakePopup popup;
        popup.answer = RECT{500, 300, 800, 550};
        const Placement placed =
            placeBesideNotificationArea(desktop, windowSize, popup.calculator());
        ASSERT_EQ(popup.calls.size(), 1u);
        EXPECT_EQ(popup.calls[0].anchor.x, row.anchor.x);
        EXPECT_EQ(popup.calls[0].anchor.y, row.anchor.y);
        EXPECT_EQ(popup.calls[0].flags, row.flags | TPM_WORKAREA);
        EXPECT_TRUE(EqualRect(&popup.calls[0].exclude, &row.icon));
        EXPECT_EQ(placed.corner.x, 500);
        EXPECT_EQ(placed.corner.y, 300);

        // Where the system cannot tell, the taskbar's edge decides.
        popup.answer.reset();
        const Placement fallback =
            placeBesideNotificationArea(desktop, windowSize, popup.calculator());
        const Placement byEdge =
            placeBesideNotificationArea(taskbarAt(row.edge), windowSize, popup.calculator());
        EXPECT_EQ(fallback.corner.x, byEdge.corner.x);
        EXPECT_EQ(fallback.corner.y, byEdge.corner.y);
    }
    // The system's answer stays out of an auto-hidden taskbar's way.
    DesktopLayout hidden = taskbarAt(ABE_BOTTOM, true);
    hidden.icon = RECT{1400, 864, 1432, 896};
    FakePopup popup;
    popup.answer = RECT{1266, 650, 1566, 900};
    EXPECT_EQ(placeBesideNotificationArea(hidden, windowSize, popup.calculator()).corner.y, 610);
}

// A window that, like one moved onto a monitor of another DPI, takes a new size during its
// first move once armed.
LRESULT CALLBACK growingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOVE && RemovePropW(window, L"armed") != nullptr) {
        SetWindowPos(window, nullptr, 0, 0, 450, 375, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(window, L"armed");
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(WindowPlacement, ANewSizeDuringTheMoveIsPlacedAgain) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = growingWindow;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrumGrowingWindow";
    RegisterClassW(&windowClass);
    const HWND window =
        CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP, 100, 100, 300,
                        250, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    SetPropW(window, L"armed", window);
    FakePopup popup;
    EXPECT_TRUE(placeNearNotificationArea(window, taskbarAt(ABE_BOTTOM), popup.calculator()));
    RECT frame{};
    GetWindowRect(window, &frame);
    // Whole, in the corner, at its new size.
    EXPECT_EQ(frame.right - frame.left, 450);
    EXPECT_EQ(frame.right, 1600);
    EXPECT_EQ(frame.bottom, 860);
    DestroyWindow(window);
}

} // namespace
} // namespace kestrum::test
