#pragma once

#include <map>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

namespace kestrum {

// The one call into the shell's notification area, replaceable so that tests can watch the
// tray's conversation with the shell.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual bool notifyIcon(DWORD message, NOTIFYICONDATAW& record);
};

// One icon with a tooltip in the notification area. Texts are UTF-8 and reach the shell as
// UTF-16, so that any gateway name shows correctly.
class CSystemTray {
public:
    static constexpr int maximumTooltipBytes = 127;

    // Null shell: the real one.
    explicit CSystemTray(TrayShell* shell = nullptr);
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;
    ~CSystemTray();

    // Adds the icon; notifications go to notifyWindow (the tray's own window when null).
    bool create(HWND notifyWindow, UINT callbackMessage, const char* tooltip, HICON icon, UINT id);
    // The caller keeps ownership of the icon.
    bool setIcon(HICON icon);
    // Loads the icon resource once and keeps it for the tray's life: under Wine every new icon
    // handle that reaches the shell costs memory for good.
    bool setIcon(int resourceId);
    bool setTooltipText(const char* text);
    bool removeIcon();
    void destroy();

    bool enabled() const { return enabled_; }
    bool hidden() const { return hidden_; }
    bool removed() const { return removed_; }
    bool showPending() const { return showPending_; }
    const NOTIFYICONDATAW& record() const { return record_; }
    HWND window() const { return window_; }

    // The broadcast a new taskbar sends, registered once per process.
    static UINT taskbarCreatedMessage();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onTaskbarCreated();
    void onWorkAreaChanged();
    bool installIfPending();
    bool modify();
    void copyTooltip(const char* text);

    TrayShell defaultShell_;
    TrayShell& shell_;
    NOTIFYICONDATAW record_{};
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool showPending_ = false;
    UINT creationFlags_ = 0;
    std::map<int, HICON> loadedIcons_;
    HWND window_ = nullptr;
};

} // namespace kestrum
