#include "shell/app/SystemTray.h"

#include "shell/app/Icons.h"
#include "shell/framework/TextConversion.h"

#include <algorithm>
#include <windowsx.h>

namespace kestrum {

namespace {

constexpr const wchar_t* trayWindowClass = L"KestrumTrayWindow";
// Windows 11's first build.
constexpr DWORD firstBuildOfWindows11 = 22000;

// The system's own version: unlike GetVersionEx it does not depend on the manifest.
DWORD systemBuild() {
    using Function = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return getVersion != nullptr && getVersion(&version) == 0 ? version.dwBuildNumber : 0;
}

} // namespace

TrayNotification readTrayNotification(WPARAM wParam, LPARAM lParam, UINT iconId) {
    TrayNotification notification;
    if (HIWORD(lParam) == iconId) {
        notification.event = LOWORD(lParam);
        notification.anchor = {GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
    } else if (wParam == iconId && HIWORD(lParam) == 0) {
        notification.event = LOWORD(lParam) == WM_RBUTTONUP ? WM_CONTEXTMENU : LOWORD(lParam);
        GetCursorPos(&notification.anchor);
    }
    return notification;
}

bool TrayShell::notifyIcon(DWORD message, NOTIFYICONDATAW& record) {
    return Shell_NotifyIconW(message, &record) != FALSE;
}

CSystemTray::CSystemTray(TrayShell* shell) : shell_(shell != nullptr ? *shell : defaultShell_) {
    // The whole record: version 4 and the standard tooltip with it need its later fields.
    record_.cbSize = sizeof record_;
}

CSystemTray::~CSystemTray() {
    destroy();
}

UINT CSystemTray::taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

TrayTooltip::Ampersands CSystemTray::ampersandRule() {
    static const TrayTooltip::Ampersands rule = ampersandRuleForBuild(systemBuild());
    return rule;
}

TrayTooltip::Ampersands CSystemTray::ampersandRuleForBuild(DWORD build) {
    return build < firstBuildOfWindows11 ? TrayTooltip::Ampersands::Tripled
                                         : TrayTooltip::Ampersands::Literal;
}

bool CSystemTray::create(HWND notifyWindow, UINT callbackMessage, const char* tooltip,
                         int iconResource, UINT id) {
    enabled_ = LOBYTE(LOWORD(GetVersion())) >= 4;
    if (!enabled_) {
        return false;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = trayWindowClass;
    RegisterClassW(&windowClass); // fails harmlessly when already registered
    window_ = CreateWindowExW(0, trayWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // Run elevated, the program would otherwise never hear from a new Explorer.
        ChangeWindowMessageFilterEx(window_, taskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    }
    // The hidden window sits on the primary monitor, beside the notification area.
    iconSize_ = iconMetricForWindow(SM_CXSMICON, window_);

    record_.hWnd = notifyWindow != nullptr ? notifyWindow : window_;
    record_.uID = id;
    record_.hIcon = icon(iconResource);
    iconResource_ = iconResource;
    record_.uCallbackMessage = callbackMessage;
    copyTooltip(tooltip);
    creationFlags_ = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    return install();
}

bool CSystemTray::setIcon(int resourceId) {
    if (!enabled_) {
        return false;
    }
    HICON loaded = icon(resourceId);
    if (loaded == nullptr) {
        return false;
    }
    iconResource_ = resourceId;
    record_.hIcon = loaded;
    return hidden_ || loaded == shellIcon_ || send(NIM_MODIFY, NIF_ICON);
}

bool CSystemTray::setTooltipText(const char* text) {
    if (!enabled_) {
        return false;
    }
    copyTooltip(text);
    return hidden_ || shellTooltip_ == record_.szTip || send(NIM_MODIFY, NIF_TIP | NIF_SHOWTIP);
}

bool CSystemTray::removeIcon() {
    showPending_ = false;
    stopRetry();
    if (!enabled_ || removed_) {
        return true;
    }
    // Gone on purpose: nothing more is sent and no new taskbar brings it back. A refused delete
    // leaves it not removed, so that the next one asks again.
    hidden_ = true;
    record_.uFlags = 0;
    removed_ = shell_.notifyIcon(NIM_DELETE, record_);
    if (removed_) {
        shellIcon_ = nullptr;
        shellTooltip_.clear();
    }
    return removed_;
}

void CSystemTray::destroy() {
    removeIcon();
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
    destroyIcons(icons_);
}

// An add fails also for an icon the shell still has (a taskbar that announces itself after a
// display change, an add that timed out at logon); modifying it then shows it.
bool CSystemTray::install() {
    const bool shown = send(NIM_ADD, creationFlags_) || send(NIM_MODIFY, creationFlags_);
    hidden_ = showPending_ = !shown;
    removed_ = false; // it may exist even when the shell said no
    if (shown) {
        // A new taskbar forgets the version with the icon: asked again after every add.
        record_.uVersion = NOTIFYICON_VERSION_4;
        versionFour_ = shell_.notifyIcon(NIM_SETVERSION, record_);
        stopRetry();
    } else {
        scheduleRetry();
    }
    return shown;
}

void CSystemTray::scheduleRetry() {
    if (window_ == nullptr) {
        return;
    }
    retryDelay_ = retryDelay_ == 0 ? firstRetryDelay : std::min(2 * retryDelay_, lastRetryDelay);
    SetTimer(window_, retryTimer, retryDelay_, nullptr);
}

void CSystemTray::stopRetry() {
    if (retryDelay_ != 0) {
        KillTimer(window_, retryTimer);
        retryDelay_ = 0;
    }
}

bool CSystemTray::send(DWORD message, UINT flags) {
    record_.uFlags = flags;
    if (!shell_.notifyIcon(message, record_)) {
        return false;
    }
    if ((flags & NIF_ICON) != 0) {
        shellIcon_ = record_.hIcon;
    }
    if ((flags & NIF_TIP) != 0) {
        shellTooltip_ = record_.szTip;
    }
    return true;
}

HICON CSystemTray::icon(int resourceId) {
    const auto loaded = std::find_if(icons_.begin(), icons_.end(), [&](const LoadedIcon& icon) {
        return icon.resourceId == resourceId;
    });
    if (loaded != icons_.end()) {
        return loaded->icon;
    }
    HICON icon = loadIcon(resourceId, iconSize_);
    if (icon != nullptr) {
        icons_.push_back({resourceId, icon});
    }
    return icon;
}

bool CSystemTray::resizeIcons(int pixels) {
    if (pixels == iconSize_) {
        return false;
    }
    std::vector<LoadedIcon> old;
    old.swap(icons_);
    const int oldSize = iconSize_;
    iconSize_ = pixels;
    HICON current = icon(iconResource_);
    if (current == nullptr) {
        // Keep the icons that work.
        icons_.swap(old);
        iconSize_ = oldSize;
        return false;
    }
    // The shell keeps its own copy; the record must not keep a destroyed handle.
    record_.hIcon = current;
    shellIcon_ = nullptr;
    destroyIcons(old);
    return true;
}

void CSystemTray::destroyIcons(std::vector<LoadedIcon>& icons) {
    for (const LoadedIcon& loaded : icons) {
        DestroyIcon(loaded.icon);
    }
    icons.clear();
}

void CSystemTray::copyTooltip(const char* text) {
    std::wstring wide = utf8ToWide(text);
    if (wide.size() > maximumTooltipUnits) {
        // A surrogate pair goes whole.
        const bool splitsPair = IS_HIGH_SURROGATE(wide[maximumTooltipUnits - 1]);
        wide.resize(maximumTooltipUnits - (splitsPair ? 1 : 0));
    }
    std::fill(std::begin(record_.szTip), std::end(record_.szTip), L'\0');
    wide.copy(record_.szTip, maximumTooltipUnits);
}

void CSystemTray::onTaskbarCreated() {
    // An icon removed on purpose stays removed; a shown one, or one not shown yet, comes back.
    if (!enabled_ || (hidden_ && !showPending_)) {
        return;
    }
    // A change of the primary display's scaling announces a new taskbar too.
    resizeIcons(iconMetricForWindow(SM_CXSMICON, window_));
    install();
}

void CSystemTray::onWorkAreaChanged() {
    // Only an icon that is not shown needs another attempt.
    if (hidden_ && showPending_) {
        install();
    }
}

void CSystemTray::onRetryTimer() {
    KillTimer(window_, retryTimer);
    if (hidden_ && showPending_) {
        install();
    } else {
        stopRetry();
    }
}

void CSystemTray::onDpiChanged(UINT dpi) {
    if (resizeIcons(iconMetricForDpi(SM_CXSMICON, dpi)) && !hidden_) {
        send(NIM_MODIFY, NIF_ICON);
    }
}

LRESULT CALLBACK CSystemTray::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tray = reinterpret_cast<CSystemTray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (tray == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == taskbarCreatedMessage()) {
        tray->onTaskbarCreated();
        return 0;
    }
    switch (message) {
    case WM_SETTINGCHANGE: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        if (wParam == SPI_SETWORKAREA) {
            tray->onWorkAreaChanged();
        }
        return result;
    }
    case WM_TIMER:
        if (wParam == retryTimer) {
            tray->onRetryTimer();
            return 0;
        }
        break;
    case WM_DPICHANGED:
        tray->onDpiChanged(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        // Only destroy ends this window: without it a new taskbar would never get the icon back.
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace kestrum
