#pragma once

#include <functional>
#include <optional>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

namespace kestrum {

// What placing a window beside the notification area needs to know of the desktop.
struct DesktopLayout {
    std::optional<RECT> icon; // the tray icon, where the shell tells
    bool hasTaskbar = false;
    UINT edge = ABE_BOTTOM; // ABE_*: the taskbar's edge
    RECT taskbar{};
    bool autoHide = false;
    RECT monitor{}; // the monitor of the taskbar (the primary one without a taskbar)
    RECT work{};    // its work area
    // A right-to-left taskbar (Arabic, Hebrew) holds the notification area at its left end.
    bool rightToLeft = false;
};

// The system's CalculatePopupWindowPosition: the window's rectangle, or nothing when it fails.
using PopupCalculator =
    std::function<std::optional<RECT>(POINT anchor, SIZE window, UINT flags, RECT exclude)>;

struct Placement {
    POINT corner; // the window's top-left corner
    // False without a taskbar (at logon, before it exists): the window waits centred on the
    // primary monitor, to be placed again once the taskbar is there.
    bool besideTaskbar;
};

// The desktop now; the icon's rectangle when the shell gives it for this window and icon ID.
DesktopLayout readDesktop(HWND iconWindow, UINT iconId);
// The work area less an auto-hidden taskbar's thickness, which would slide over the window.
RECT usableArea(const DesktopLayout& desktop);
// By the icon: next to it, on the screen's side of the taskbar, kept whole in the work area.
// Where that fails (no icon rectangle, as under Wine): the corner of the work area beside the
// notification area, that is the right end (left, right-to-left) of a taskbar at the top or
// bottom and the bottom end of one at the left or right.
Placement placeBesideNotificationArea(const DesktopLayout& desktop, SIZE window,
                                      const PopupCalculator& popup);
// Moves the window there; a move onto a monitor of another DPI changes its size, and it is then
// placed again at the new size. False while there is no taskbar.
bool placeNearNotificationArea(HWND window, const DesktopLayout& desktop,
                               const PopupCalculator& popup);
bool placeNearNotificationArea(HWND window, UINT iconId);
// True when no monitor shows any of the window (one was unplugged).
bool offEveryMonitor(HWND window);

// Centres a window on another one, kept whole on that window's monitor.
void centreOn(HWND window, HWND other);

} // namespace kestrum
