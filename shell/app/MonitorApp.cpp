#include "shell/app/MonitorApp.h"

#include "net/Exception.h"
#include "net/Sockets.h"
#include "shell/app/BuildStamp.h"
#include "shell/app/ResourceIds.h"
#include "shell/framework/TextConversion.h"

#include <commctrl.h>
#include <objbase.h>

namespace kestrum {

CMonitorApp::CMonitorApp(const char* buildDate, TrayShell* trayShell, const wchar_t* instanceName)
    : CApplication(IDS_PRODUCT_NAME), instanceName_(instanceName),
      monitor_(refreshPeriod_, notifier_), buildStamp_(kestrum::buildStamp(buildDate)),
      tray_(trayShell), owner_(*this) {}

CMonitorApp::~CMonitorApp() {
    // Not virtual here: the monitor must be stopped before it is destroyed.
    monitor_.requestStop(true);
    notifier_.setWindow(nullptr);
}

void CMonitorApp::setStartOptions(const StartOptions& options) {
    startOptions_ = options;
    monitor_.setNamedGateway(options.gateway);
    if (options.refreshMs > 0) {
        refreshPeriod_.set(static_cast<std::uint32_t>(options.refreshMs));
    }
}

std::int64_t CMonitorApp::now() const {
    return steadyMilliseconds();
}

bool CMonitorApp::initInstance() {
    // The links open addresses through the shell, which wants COM on the calling thread.
    comInitialized_ =
        SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    if (!startSockets()) {
        fail(IDS_SOCKETS_FAILED);
        return false;
    }
    socketsStarted_ = true;

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    try {
        startMonitor();
    } catch (const Exception&) {
        fail(IDS_MONITOR_FAILED);
        return false;
    }
    monitorStarted_ = true;

    if (!owner_.create(nullptr)) {
        return false;
    }
    owner_.show(SW_HIDE);
    setMainWindow(&owner_);

    monitorWindow_ = std::make_unique<CMonitorDialog>(*this);
    if (!monitorWindow_->create()) {
        return false;
    }
    // From here the monitor's updates, also one posted already, reach the window.
    notifier_.setWindow(monitorWindow_->hwnd());
    monitorWindow_->show(SW_SHOW);

    tray_.create(monitorWindow_->hwnd(), WM_TRAY_NOTIFY,
                 wideToUtf8(loadString(IDS_PRODUCT_NAME)).c_str(), IDI_APPLICATION_ICON,
                 trayIconId);
    return true;
}

int CMonitorApp::exitInstance(int exitCode) {
    if (monitorStarted_) {
        stopMonitor();
        monitorStarted_ = false;
    }
    tray_.destroy();
    if (socketsStarted_) {
        stopSockets();
        socketsStarted_ = false;
    }
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
    return exitCode;
}

void CMonitorApp::fail(int messageId) {
    messageBox(nullptr, wideToUtf8(loadString(messageId)).c_str(), MB_OK | MB_ICONSTOP);
}

void CMonitorApp::exit() {
    exiting_ = true;
    // The program disappears at once; the monitor then stops within a moment.
    if (monitorWindow_ != nullptr) {
        monitorWindow_->show(SW_HIDE);
        monitorWindow_->aboutBox().show(SW_HIDE);
        monitorWindow_->detailsWindow().show(SW_HIDE);
    }
    tray_.removeIcon();
    if (monitorStarted_) {
        stopMonitor();
        monitorStarted_ = false;
    }
    PostQuitMessage(0);
}

bool CMonitorApp::openWindow() {
    if (exiting_ || monitorWindow_ == nullptr) {
        return false;
    }
    monitorWindow_->open();
    return true;
}

bool CMonitorApp::startSockets() {
    try {
        kestrum::startSockets();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void CMonitorApp::stopSockets() {
    kestrum::stopSockets();
}

void CMonitorApp::startMonitor() {
    monitor_.initialize();
    monitor_.start();
}

void CMonitorApp::stopMonitor() {
    monitor_.requestStop(true);
}

} // namespace kestrum
