#pragma once

#include <cstdint>
#include <windows.h>

namespace kestrum {

// An icon metric (SM_CXICON, SM_CXSMICON) in pixels at a DPI, or at the window's own DPI. Where
// the system has no per-monitor DPI these are the system's metrics.
int iconMetricForDpi(int metric, UINT dpi);
int iconMetricForWindow(int metric, HWND window);

// The tray icon resource of a traffic level 0 ... 10; level 10 (both rates at the scale) shows
// the icon of level 9.
int trayIconForLevel(std::uint32_t level);

// A window's large and small icon, each loaded from the icon resource at its own size for the
// window's DPI, so that neither is shrunk or stretched.
class CWindowIcons {
public:
    CWindowIcons() = default;
    CWindowIcons(const CWindowIcons&) = delete;
    CWindowIcons& operator=(const CWindowIcons&) = delete;
    ~CWindowIcons();

    // Sets the window's icons; again after a DPI change.
    void apply(HWND window, int resourceId);

private:
    HICON large_ = nullptr;
    HICON small_ = nullptr;
};

// An icon resource as a square of that many pixels; null when it cannot be loaded.
HICON loadIcon(int resourceId, int pixels);

} // namespace kestrum
