#include "shell/controls/Tooltip.h"

#include "shell/framework/TextConversion.h"

#include <commctrl.h>

namespace kestrum {

namespace {

constexpr UINT_PTR toolId = 1;
constexpr LPARAM maximumTipWidth = 400;

// The size of the oldest record every common-controls version accepts; the text lives as long
// as the record is used.
TOOLINFOW toolInfo(HWND window, const std::wstring* text) {
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = window;
    info.uId = toolId;
    info.lpszText = text != nullptr ? const_cast<wchar_t*>(text->c_str()) : nullptr;
    GetClientRect(window, &info.rect);
    return info;
}

} // namespace

bool CTooltip::create(HWND window, DWORD style, const char* text, bool active) {
    destroy();
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ == nullptr) {
        return false;
    }
    window_ = window;
    const std::wstring wide = utf8ToWide(text);
    TOOLINFOW info = toolInfo(window, &wide);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, maximumTipWidth);
    activate(active);
    return true;
}

void CTooltip::setText(const char* text) {
    if (exists()) {
        const std::wstring wide = utf8ToWide(text);
        TOOLINFOW info = toolInfo(window_, &wide);
        SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CTooltip::activate(bool active) {
    if (exists()) {
        SendMessageW(tooltip_, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
    }
}

void CTooltip::fitTool() {
    if (exists()) {
        TOOLINFOW info = toolInfo(window_, nullptr);
        SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CTooltip::relay(const MSG& message) {
    if (exists() && message.hwnd == window_) {
        MSG copy = message;
        SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&copy));
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
