#include "shell/app/Icons.h"

#include "shell/app/ResourceIds.h"

namespace kestrum {

namespace {

// Both exist from Windows 10 1607; before that a window's DPI is the system's.
template <typename Function> Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

void replace(HICON& kept, HICON icon) {
    if (kept != nullptr) {
        DestroyIcon(kept);
    }
    kept = icon;
}

} // namespace

int iconMetricForDpi(int metric, UINT dpi) {
    using Function = int(WINAPI*)(int, UINT);
    static const auto forDpi = user32Function<Function>("GetSystemMetricsForDpi");
    return forDpi != nullptr && dpi != 0 ? forDpi(metric, dpi) : GetSystemMetrics(metric);
}

int iconMetricForWindow(int metric, HWND window) {
    using Function = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = user32Function<Function>("GetDpiForWindow");
    return iconMetricForDpi(metric, dpiForWindow != nullptr ? dpiForWindow(window) : 0);
}

int trayIconForLevel(std::uint32_t level) {
    static constexpr int icons[] = {IDI_LEVEL_0, IDI_LEVEL_1, IDI_LEVEL_2, IDI_LEVEL_3,
                                    IDI_LEVEL_4, IDI_LEVEL_5, IDI_LEVEL_6, IDI_LEVEL_7,
                                    IDI_LEVEL_8, IDI_LEVEL_9};
    constexpr std::uint32_t highest = sizeof icons / sizeof icons[0] - 1;
    return icons[level < highest ? level : highest];
}

HICON loadIcon(int resourceId, int pixels) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                         IMAGE_ICON, pixels, pixels, LR_DEFAULTCOLOR));
}

CWindowIcons::~CWindowIcons() {
    replace(large_, nullptr);
    replace(small_, nullptr);
}

void CWindowIcons::apply(HWND window, int resourceId) {
    HICON large = loadIcon(resourceId, iconMetricForWindow(SM_CXICON, window));
    HICON small = loadIcon(resourceId, iconMetricForWindow(SM_CXSMICON, window));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The window no longer uses the old ones.
    replace(large_, large);
    replace(small_, small);
}

} // namespace kestrum
