#pragma once

#include "monitor/TrayTooltip.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#include <string>
#include <vector>

namespace kestrum {

// The one call into the shell's notification area, replaceable so that tests can watch the
// tray's conversation with the shell.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual bool notifyIcon(DWORD message, NOTIFYICONDATAW& record);
};

// What the shell reports about the icon in a callback message, read from either layout: version 4
// (the event and the icon ID in lParam, the anchor point in wParam) or the older one (the icon ID
// in wParam, the mouse message in lParam). The older layout's right-button release is the request
// for the menu, at the cursor; in version 4 a WM_CONTEXTMENU with its anchor follows it.
struct TrayNotification {
    UINT event = 0; // 0: not about this icon
    POINT anchor{};
};
TrayNotification readTrayNotification(WPARAM wParam, LPARAM lParam, UINT iconId);

// One icon with a tooltip in the notification area. Texts are UTF-8 and reach the shell as
// UTF-16, so that any gateway name shows correctly; the shell keeps 127 units of a tooltip. Icons
// are the program's icon resources, loaded once each at the small-icon size of the notification
// area's DPI. Only what differs from what the shell shows is sent. An icon the shell refuses is
// tried again on the next "TaskbarCreated" and on a timer that backs off from firstRetryDelay to
// lastRetryDelay. Every add asks for the version 4 notifications, which also
// come from the keyboard, and keeps the standard tooltip that version 4 would otherwise drop.
class CSystemTray {
public:
    static constexpr int maximumTooltipUnits = 127;
    static constexpr UINT firstRetryDelay = 1000; // milliseconds
    static constexpr UINT lastRetryDelay = 60000;
    static constexpr UINT_PTR retryTimer = 1;

    // Null shell: the real one.
    explicit CSystemTray(TrayShell* shell = nullptr);
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;
    ~CSystemTray();

    // Adds the icon; notifications go to notifyWindow (the tray's own window when null). False
    // when the shell refused it; it is then retried.
    bool create(HWND notifyWindow, UINT callbackMessage, const char* tooltip, int iconResource,
                UINT id);
    // False when the icon resource cannot be loaded (nothing changes) or the shell refused it.
    bool setIcon(int resourceId);
    bool setTooltipText(const char* text);
    bool removeIcon();
    void destroy();

    bool enabled() const { return enabled_; }
    bool hidden() const { return hidden_; }
    bool removed() const { return removed_; }
    bool showPending() const { return showPending_; }
    // The shell took the request for version 4 notifications at the last add.
    bool versionFour() const { return versionFour_; }
    const NOTIFYICONDATAW& record() const { return record_; }
    HWND window() const { return window_; }
    int iconSize() const { return iconSize_; }
    // The delay of the retry that is due, 0 when none is.
    UINT retryDelay() const { return retryDelay_; }

    // The broadcast a new taskbar sends, registered once per process.
    static UINT taskbarCreatedMessage();
    // How this system's tray shows "&" in a tooltip, by its build number.
    static TrayTooltip::Ampersands ampersandRule();
    static TrayTooltip::Ampersands ampersandRuleForBuild(DWORD build);

private:
    struct LoadedIcon {
        int resourceId;
        HICON icon;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onTaskbarCreated();
    void onWorkAreaChanged();
    void onRetryTimer();
    void onDpiChanged(UINT dpi);
    bool install();
    void scheduleRetry();
    void stopRetry();
    // Sends the record with these flags; on success the shell shows what they cover.
    bool send(DWORD message, UINT flags);
    HICON icon(int resourceId);
    bool resizeIcons(int pixels);
    static void destroyIcons(std::vector<LoadedIcon>& icons);
    void copyTooltip(const char* text);

    TrayShell defaultShell_;
    TrayShell& shell_;
    NOTIFYICONDATAW record_{};
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool showPending_ = false;
    bool versionFour_ = false;
    UINT creationFlags_ = 0;
    HWND window_ = nullptr;
    UINT retryDelay_ = 0;
    // What the shell shows, as far as it confirmed.
    HICON shellIcon_ = nullptr;
    std::wstring shellTooltip_;
    int iconResource_ = 0;
    int iconSize_ = 0;
    std::vector<LoadedIcon> icons_;
};

} // namespace kestrum
