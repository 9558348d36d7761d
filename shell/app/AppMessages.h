#pragma once

#include <windows.h>

namespace kestrum {

// The program's own window messages, each with a number of its own.

// Posted by the gateway monitor's thread to the monitor window: re-read the monitor (both
// parameters 0). A window message survives the modal loops of menus and message boxes.
constexpr UINT WM_MONITOR_UPDATE = WM_APP + 1;
// The tray icon's callback message to the monitor window.
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 2;
// Sent by a later start of the program to the main window of the first one: open the monitor
// window. The result is TRUE when it did, FALSE while the program is ending.
constexpr UINT WM_OPEN_REQUEST = WM_APP + 3;

} // namespace kestrum
