#include "shell/app/WindowPlacement.h"

#include <algorithm>
#include <shellapi.h>

namespace kestrum {

namespace {

RECT workAreaOf(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

// Moves the window's top-left corner to (x, y), then back inside the work area as far as its
// size allows, so that the caption stays reachable.
void moveWithin(HWND window, const RECT& work, int x, int y) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    x = std::max(std::min(x, static_cast<int>(work.right) - width), static_cast<int>(work.left));
    y = std::max(std::min(y, static_cast<int>(work.bottom) - height), static_cast<int>(work.top));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void placeNearNotificationArea(HWND window) {
    APPBARDATA taskbar{};
    taskbar.cbSize = sizeof taskbar;
    const bool found = SHAppBarMessage(ABM_GETTASKBARPOS, &taskbar) != 0;
    const HMONITOR monitor = found ? MonitorFromRect(&taskbar.rc, MONITOR_DEFAULTTOPRIMARY)
                                   : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    const RECT work = workAreaOf(monitor);
    // Aim past the far corner; moveWithin brings the window back to touch it.
    const bool top = found && taskbar.uEdge == ABE_TOP;
    const bool left = found && taskbar.uEdge == ABE_LEFT;
    moveWithin(window, work, left ? work.left : work.right, top ? work.top : work.bottom);
}

void centreOn(HWND window, HWND other) {
    RECT frame{};
    RECT over{};
    GetWindowRect(window, &frame);
    GetWindowRect(other, &over);
    const RECT work = workAreaOf(MonitorFromWindow(other, MONITOR_DEFAULTTONEAREST));
    moveWithin(window, work, (over.left + over.right - (frame.right - frame.left)) / 2,
               (over.top + over.bottom - (frame.bottom - frame.top)) / 2);
}

} // namespace kestrum
