#include "shell/app/WindowPlacement.h"

#include <algorithm>
#include <shellapi.h>

namespace kestrum {

namespace {

MONITORINFO monitorInfo(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    return info;
}

SIZE frameSize(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// (x, y) moved back inside the area as far as the size allows, so that the caption stays
// reachable.
POINT within(const RECT& area, SIZE size, int x, int y) {
    x = std::max(std::min(x, static_cast<int>(area.right) - static_cast<int>(size.cx)),
                 static_cast<int>(area.left));
    y = std::max(std::min(y, static_cast<int>(area.bottom) - static_cast<int>(size.cy)),
                 static_cast<int>(area.top));
    return {x, y};
}

void moveTo(HWND window, POINT corner) {
    SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The popup beside the icon, on the screen's side of the taskbar: the anchor is the icon's edge
// that faces the screen.
std::optional<POINT> besideIcon(const DesktopLayout& desktop, const RECT& icon, SIZE window,
                                const PopupCalculator& popup) {
    const LONG middleX = (icon.left + icon.right) / 2;
    const LONG middleY = (icon.top + icon.bottom) / 2;
    POINT anchor{middleX, icon.top};
    UINT flags = TPM_WORKAREA | TPM_VERTICAL | TPM_CENTERALIGN | TPM_BOTTOMALIGN;
    switch (desktop.hasTaskbar ? desktop.edge : ABE_BOTTOM) {
    case ABE_TOP:
        anchor = {middleX, icon.bottom};
        flags = TPM_WORKAREA | TPM_VERTICAL | TPM_CENTERALIGN | TPM_TOPALIGN;
        break;
    case ABE_LEFT:
        anchor = {icon.right, middleY};
        flags = TPM_WORKAREA | TPM_HORIZONTAL | TPM_VCENTERALIGN | TPM_LEFTALIGN;
        break;
    case ABE_RIGHT:
        anchor = {icon.left, middleY};
        flags = TPM_WORKAREA | TPM_HORIZONTAL | TPM_VCENTERALIGN | TPM_RIGHTALIGN;
        break;
    default:
        break;
    }
    const std::optional<RECT> placed = popup(anchor, window, flags, icon);
    if (!placed) {
        return std::nullopt;
    }
    return POINT{placed->left, placed->top};
}

} // namespace

DesktopLayout readDesktop(HWND iconWindow, UINT iconId) {
    DesktopLayout desktop;
    APPBARDATA taskbar{};
    taskbar.cbSize = sizeof taskbar;
    desktop.hasTaskbar = SHAppBarMessage(ABM_GETTASKBARPOS, &taskbar) != 0;
    desktop.edge = taskbar.uEdge;
    desktop.taskbar = taskbar.rc;
    APPBARDATA state{};
    state.cbSize = sizeof state;
    desktop.autoHide = (SHAppBarMessage(ABM_GETSTATE, &state) & ABS_AUTOHIDE) != 0;
    const MONITORINFO monitor =
        monitorInfo(desktop.hasTaskbar ? MonitorFromRect(&taskbar.rc, MONITOR_DEFAULTTOPRIMARY)
                                       : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    desktop.monitor = monitor.rcMonitor;
    desktop.work = monitor.rcWork;
    const HWND taskbarWindow = FindWindowW(L"Shell_TrayWnd", nullptr);
    desktop.rightToLeft = taskbarWindow != nullptr &&
                          (GetWindowLongPtrW(taskbarWindow, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    NOTIFYICONIDENTIFIER identifier{};
    identifier.cbSize = sizeof identifier;
    identifier.hWnd = iconWindow;
    identifier.uID = iconId;
    RECT icon{};
    if (desktop.hasTaskbar && SUCCEEDED(Shell_NotifyIconGetRect(&identifier, &icon)) &&
        !IsRectEmpty(&icon)) {
        desktop.icon = icon;
    }
    return desktop;
}

RECT usableArea(const DesktopLayout& desktop) {
    RECT area = desktop.work;
    if (!desktop.hasTaskbar || !desktop.autoHide) {
        return area;
    }
    // Hidden or shown, the taskbar's rectangle has its thickness.
    const LONG thickness = desktop.edge == ABE_LEFT || desktop.edge == ABE_RIGHT
                               ? desktop.taskbar.right - desktop.taskbar.left
                               : desktop.taskbar.bottom - desktop.taskbar.top;
    switch (desktop.edge) {
    case ABE_TOP:
        area.top = std::max(area.top, desktop.monitor.top + thickness);
        break;
    case ABE_LEFT:
        area.left = std::max(area.left, desktop.monitor.left + thickness);
        break;
    case ABE_RIGHT:
        area.right = std::min(area.right, desktop.monitor.right - thickness);
        break;
    default:
        area.bottom = std::min(area.bottom, desktop.monitor.bottom - thickness);
        break;
    }
    return area;
}

Placement placeBesideNotificationArea(const DesktopLayout& desktop, SIZE window,
                                      const PopupCalculator& popup) {
    const RECT area = usableArea(desktop);
    if (!desktop.hasTaskbar) {
        return {within(area, window, (area.left + area.right - window.cx) / 2,
                       (area.top + area.bottom - window.cy) / 2),
                false};
    }
    if (desktop.icon) {
        if (const std::optional<POINT> corner = besideIcon(desktop, *desktop.icon, window, popup)) {
            return {within(area, window, corner->x, corner->y), true};
        }
    }
    // Aim past the far corner; within brings the window back to touch it.
    const bool top = desktop.edge == ABE_TOP;
    const bool left =
        desktop.edge == ABE_LEFT || (desktop.rightToLeft && desktop.edge != ABE_RIGHT);
    return {within(area, window, left ? area.left : area.right, top ? area.top : area.bottom),
            true};
}

bool placeNearNotificationArea(HWND window, const DesktopLayout& desktop,
                               const PopupCalculator& popup) {
    // A second move only when the first brought a new DPI and with it a new size; a third in
    // case the second went back across the border.
    Placement placement{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        const SIZE before = frameSize(window);
        placement = placeBesideNotificationArea(desktop, before, popup);
        moveTo(window, placement.corner);
        const SIZE after = frameSize(window);
        if (after.cx == before.cx && after.cy == before.cy) {
            break;
        }
    }
    return placement.besideTaskbar;
}

bool placeNearNotificationArea(HWND window, UINT iconId) {
    return placeNearNotificationArea(
        window, readDesktop(window, iconId),
        [](POINT anchor, SIZE size, UINT flags, RECT exclude) -> std::optional<RECT> {
            RECT placed{};
            if (!CalculatePopupWindowPosition(&anchor, &size, flags, &exclude, &placed)) {
                return std::nullopt;
            }
            return placed;
        });
}

bool offEveryMonitor(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    return MonitorFromRect(&frame, MONITOR_DEFAULTTONULL) == nullptr;
}

void centreOn(HWND window, HWND other) {
    RECT over{};
    GetWindowRect(other, &over);
    const SIZE size = frameSize(window);
    const RECT work = monitorInfo(MonitorFromWindow(other, MONITOR_DEFAULTTONEAREST)).rcWork;
    moveTo(window, within(work, size, (over.left + over.right - size.cx) / 2,
                          (over.top + over.bottom - size.cy) / 2));
}

} // namespace kestrum
