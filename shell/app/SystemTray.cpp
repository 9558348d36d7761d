#include "shell/app/SystemTray.h"

#include "shell/framework/TextConversion.h"

namespace kestrum {

namespace {

constexpr const char* trayWindowClass = "KestrumTrayWindow";

} // namespace

bool TrayShell::notifyIcon(DWORD message, NOTIFYICONDATAW& record) {
    return Shell_NotifyIconW(message, &record) != FALSE;
}

CSystemTray::CSystemTray(TrayShell* shell) : shell_(shell != nullptr ? *shell : defaultShell_) {
    // The platform's own size of the record's version 2 layout.
    record_.cbSize = NOTIFYICONDATAW_V2_SIZE;
}

CSystemTray::~CSystemTray() {
    destroy();
}

UINT CSystemTray::taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

bool CSystemTray::create(HWND notifyWindow, UINT callbackMessage, const char* tooltip, HICON icon,
                         UINT id) {
    enabled_ = LOBYTE(LOWORD(GetVersion())) >= 4;
    if (!enabled_) {
        return false;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = trayWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    window_ = CreateWindowExA(0, trayWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    taskbarCreatedMessage();

    record_.hWnd = notifyWindow != nullptr ? notifyWindow : window_;
    record_.uID = id;
    record_.hIcon = icon;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = callbackMessage;
    copyTooltip(tooltip);
    hidden_ = false;
    creationFlags_ = record_.uFlags;

    const bool added = shell_.notifyIcon(NIM_ADD, record_);
    removed_ = hidden_ = showPending_ = !added;
    return added;
}

bool CSystemTray::setIcon(HICON icon) {
    if (!enabled_) {
        return false;
    }
    record_.uFlags = NIF_ICON;
    record_.hIcon = icon;
    return hidden_ || modify();
}

bool CSystemTray::setIcon(int resourceId) {
    auto loaded = loadedIcons_.find(resourceId);
    if (loaded == loadedIcons_.end()) {
        HICON icon =
            static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId),
                                          IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
        if (icon == nullptr) {
            return false;
        }
        loaded = loadedIcons_.emplace(resourceId, icon).first;
    }
    return setIcon(loaded->second);
}

bool CSystemTray::setTooltipText(const char* text) {
    if (!enabled_) {
        return false;
    }
    record_.uFlags = NIF_TIP;
    copyTooltip(text);
    return hidden_ || modify();
}

bool CSystemTray::removeIcon() {
    showPending_ = false;
    if (!enabled_ || removed_) {
        return true;
    }
    record_.uFlags = 0;
    if (shell_.notifyIcon(NIM_DELETE, record_)) {
        hidden_ = removed_ = true;
    }
    return removed_;
}

void CSystemTray::destroy() {
    removeIcon();
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
    // The record may still name one of them, but the icon is gone from the shell by now.
    for (const auto& [resourceId, icon] : loadedIcons_) {
        DestroyIcon(icon);
    }
    loadedIcons_.clear();
}

bool CSystemTray::modify() {
    return shell_.notifyIcon(NIM_MODIFY, record_);
}

void CSystemTray::copyTooltip(const char* text) {
    const String cut = cutUtf8(text, maximumTooltipBytes);
    const std::wstring wide = utf8ToWide(cut.c_str());
    constexpr std::size_t capacity = sizeof record_.szTip / sizeof record_.szTip[0];
    std::fill(std::begin(record_.szTip), std::end(record_.szTip), L'\0');
    wide.copy(record_.szTip, capacity - 1);
}

void CSystemTray::onTaskbarCreated() {
    // An icon removed on purpose stays removed; a shown one, or one whose add failed, comes back.
    if (!enabled_ || (removed_ && !showPending_)) {
        return;
    }
    showPending_ = true;
    installIfPending();
}

void CSystemTray::onWorkAreaChanged() {
    // Only an icon that is not shown needs another attempt.
    if (hidden_ && showPending_) {
        installIfPending();
    }
}

bool CSystemTray::installIfPending() {
    if (!showPending_) {
        return false;
    }
    record_.uFlags = creationFlags_;
    const bool added = shell_.notifyIcon(NIM_ADD, record_);
    hidden_ = removed_ = showPending_ = !added;
    return hidden_;
}

LRESULT CALLBACK CSystemTray::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tray = reinterpret_cast<CSystemTray*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (tray != nullptr && message == taskbarCreatedMessage()) {
        tray->onTaskbarCreated();
        return 0;
    }
    if (tray != nullptr && message == WM_SETTINGCHANGE) {
        const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
        if (wParam == SPI_SETWORKAREA) {
            tray->onWorkAreaChanged();
        }
        return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace kestrum
