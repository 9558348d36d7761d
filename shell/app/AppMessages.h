#pragma once

#include <windows.h>

namespace kestrum {

// The program's own window messages, each with a number of its own.

// Posted by the gateway monitor's thread to the monitor window: re-read the monitor (both
// parameters 0). A window message survives the modal loops of menus and message boxes.
constexpr UINT WM_MONITOR_UPDATE = WM_APP + 1;
// The tray icon's callback message to the monitor window.
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 2;

} // namespace kestrum
