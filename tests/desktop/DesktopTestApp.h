#pragma once

#include "monitor/WorkerThread.h"
#include "shell/app/MonitorApp.h"

#include <set>
#include <string>
#include <vector>

namespace kestrum::test {

// Records every call the tray makes to the shell, the version requests apart; the shell refuses
// the messages in `refused`.
class RecordingShell : public TrayShell {
public:
    struct Call {
        DWORD message;
        UINT flags;
        HICON icon;
        std::wstring tooltip;
        HWND window;
        DWORD size;
    };

    bool notifyIcon(DWORD message, NOTIFYICONDATAW& record) override;
    int count(DWORD message) const;
    std::vector<DWORD> messages() const;

    std::vector<Call> calls;
    // Each NIM_SETVERSION's version, and how many icon calls came before it.
    struct VersionCall {
        UINT version;
        std::size_t after;
    };
    std::vector<VersionCall> versions;
    std::set<DWORD> refused;
};

// A worker that only waits to be stopped: the monitor's thread without the network.
class IdleMonitor : public WorkerThread {
public:
    DWORD threadId() const { return threadId_; }

protected:
    bool run() override;

private:
    std::atomic<DWORD> threadId_{0};
};

// The application with its platform steps recorded and the monitor replaced: it never
// discovers, and the test sets what the monitor window reads.
class DesktopTestApp : public CMonitorApp {
public:
    static constexpr const char* buildDate = "Oct 13 2004";

    DesktopTestApp();
    ~DesktopTestApp() override;

    // The instance name of this test process: test programs run side by side, each with its
    // own main window to find.
    static const wchar_t* testInstanceName();

    MonitorSnapshot monitorSnapshot() const override { return snapshot; }
    std::int64_t now() const override { return clock; }
    int messageBox(HWND owner, const char* text, UINT type) override;

    // Start-up as the program does it.
    bool start() { return initInstance(); }
    // The exit processing after the message loop.
    int finish(int exitCode) { return exitInstance(exitCode); }
    // Handles what is queued; false once WM_QUIT came.
    bool pump();
    // One WM_MONITOR_UPDATE, by default a second after the last, as the monitor posts it, with what
    // the monitor holds then; handled before this returns.
    void postUpdate(const char* status, std::uint32_t received, std::uint32_t sent,
                    bool published = true, std::int64_t milliseconds = 1000);
    // The tray menu's Exit, the message loop to its end and the exit processing.
    void exitFromTray();
    // A window's text as a screen reader reads it.
    static std::string windowText(HWND window);
    static std::wstring wideWindowText(HWND window);
    // The width in pixels of a control's text in its own font.
    static int textWidth(HWND control);
    // 0 for no icon.
    static int iconWidth(HICON icon);

    RecordingShell shell;
    IdleMonitor idleMonitor;
    std::vector<std::string> steps;
    std::vector<std::string> messages;
    bool socketsWork = true;
    bool monitorWorks = true;
    MonitorSnapshot snapshot;
    std::int64_t clock = 1'000'000;

protected:
    bool startSockets() override;
    void stopSockets() override;
    void startMonitor() override;
    void stopMonitor() override;
};

} // namespace kestrum::test
