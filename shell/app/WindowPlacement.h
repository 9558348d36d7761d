#pragma once

#include <windows.h>

namespace kestrum {

// Moves a window into the corner of the work area beside the notification area: the right end
// of a taskbar at the top or bottom, the bottom end of one at the left or right, of the monitor
// that holds it. Without a taskbar: the bottom-right corner of the primary monitor's work area.
void placeNearNotificationArea(HWND window);

// Centres a window on another one, kept whole on that window's monitor.
void centreOn(HWND window, HWND other);

} // namespace kestrum
