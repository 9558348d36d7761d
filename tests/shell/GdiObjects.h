#pragma once

#include <windows.h>

namespace kestrum {

// A count that rises by one for every GDI object the process holds: the system's own count
// where it keeps one, else (under Wine, whose count stays 0) the number of object handles that
// can no longer be created, found by creating objects until the handle table is full.
long gdiObjectCount();

// Repaints the window `times` times, each time completely and at once.
void repaint(HWND window, int times);

} // namespace kestrum
