#include "shell/controls/Tooltip.h"

#include <commctrl.h>

namespace kestrum {

namespace {

constexpr UINT_PTR toolId = 1;
constexpr LPARAM maximumTipWidth = 400;

// The size of the oldest record every common-controls version accepts.
TOOLINFOA toolInfo(HWND window, const char* text) {
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.hwnd = window;
    info.uId = toolId;
    info.lpszText = const_cast<char*>(text);
    GetClientRect(window, &info.rect);
    return info;
}

} // namespace

bool CTooltip::create(HWND window, DWORD style, const char* text, bool active) {
    destroy();
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (tooltip_ == nullptr) {
        return false;
    }
    window_ = window;
    TOOLINFOA info = toolInfo(window, text);
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, maximumTipWidth);
    activate(active);
    return true;
}

void CTooltip::setText(const char* text) {
    if (exists()) {
        TOOLINFOA info = toolInfo(window_, text);
        SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CTooltip::activate(bool active) {
    if (exists()) {
        SendMessageA(tooltip_, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
    }
}

void CTooltip::fitTool() {
    if (exists()) {
        TOOLINFOA info = toolInfo(window_, nullptr);
        SendMessageA(tooltip_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CTooltip::relay(const MSG& message) {
    if (exists() && message.hwnd == window_) {
        MSG copy = message;
        SendMessageA(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&copy));
    }
}

void CTooltip::destroy() {
    if (tooltip_ != nullptr && IsWindow(tooltip_)) {
        DestroyWindow(tooltip_);
    }
    tooltip_ = nullptr;
    window_ = nullptr;
}

} // namespace kestrum
