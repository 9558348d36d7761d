#pragma once

#include "monitor/GatewayMonitor.h"
#include "monitor/MonitorSnapshot.h"
#include "monitor/RefreshPeriod.h"
#include "monitor/StartOptions.h"
#include "net/String.h"
#include "shell/app/HiddenOwnerDialog.h"
#include "shell/app/MonitorDialog.h"
#include "shell/app/SingleInstance.h"
#include "shell/app/SystemTray.h"
#include "shell/app/WindowUpdateNotifier.h"
#include "shell/framework/Application.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrum {

// Kestrum's application object: starts sockets, the gateway monitor, the hidden
// owner, the monitor window and the tray icon; ends the program.
class CMonitorApp : public CApplication {
public:
    // buildDate: the compiler's date text of the executable, as "Oct 13 2004".
    // Null tray shell: the real one. instanceName: the main window's title, by which a later
    // start finds it (see CSingleInstance).
    explicit CMonitorApp(const char* buildDate, TrayShell* trayShell = nullptr,
                         const wchar_t* instanceName = CSingleInstance::programName);
    ~CMonitorApp() override;

    RefreshPeriod& refreshPeriod() { return refreshPeriod_; }
    // The command line's settings, before run: the gateway, the refresh period, and for the
    // monitor window the scale and the unit.
    void setStartOptions(const StartOptions& options);
    const StartOptions& startOptions() const { return startOptions_; }
    const String& buildStamp() const { return buildStamp_; }
    CSystemTray& tray() { return tray_; }
    CHiddenOwnerDialog& hiddenOwner() { return owner_; }
    CMonitorDialog* monitorWindow() const { return monitorWindow_.get(); }
    const std::wstring& instanceName() const { return instanceName_; }

    // What the monitor window reads on each update.
    virtual MonitorSnapshot monitorSnapshot() const { return monitor_.snapshot(); }
    // Steady milliseconds: the clock of the counters' reading times, which never goes back.
    virtual std::int64_t now() const;

    // Start-up, without the message loop.
    bool initInstance() override;
    // Exit, from the tray menu, a close request or the end of the session: the window and
    // the icon go at once, then the monitor stops and the message loop ends. A second request
    // finds nothing left to do.
    void exit();
    // A later start's request: shows the monitor window in front. False once Exit began.
    bool openWindow();

protected:
    int exitInstance(int exitCode) override;

    // The platform steps of start-up and exit, replaceable in tests. startMonitor
    // throws Exception when the thread cannot be created.
    virtual bool startSockets();
    virtual void stopSockets();
    virtual void startMonitor();
    virtual void stopMonitor();

private:
    void fail(int messageId);

    std::wstring instanceName_;
    RefreshPeriod refreshPeriod_;
    WindowUpdateNotifier notifier_;
    GatewayMonitor monitor_;
    String buildStamp_;
    StartOptions startOptions_;
    CSystemTray tray_;
    CHiddenOwnerDialog owner_;
    std::unique_ptr<CMonitorDialog> monitorWindow_;
    bool socketsStarted_ = false;
    bool monitorStarted_ = false;
    bool comInitialized_ = false;
    bool exiting_ = false;
};

} // namespace kestrum
