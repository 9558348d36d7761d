#include "tests/desktop/DesktopTestApp.h"

#include "shell/app/ResourceIds.h"
#include "tests/support/CounterReadings.h"

namespace kestrum::test {

bool RecordingShell::notifyIcon(DWORD message, NOTIFYICONDATAW& record) {
    if (message == NIM_SETVERSION) {
        versions.push_back({record.uVersion, calls.size()});
        return refused.count(message) == 0;
    }
    calls.push_back(
        {message, record.uFlags, record.hIcon, record.szTip, record.hWnd, record.cbSize});
    return refused.count(message) == 0;
}

int RecordingShell::count(DWORD message) const {
    int found = 0;
    for (const Call& call : calls) {
        found += call.message == message ? 1 : 0;
    }
    return found;
}

std::vector<DWORD> RecordingShell::messages() const {
    std::vector<DWORD> sent;
    for (const Call& call : calls) {
        sent.push_back(call.message);
    }
    return sent;
}

bool IdleMonitor::run() {
    threadId_ = GetCurrentThreadId();
    while (!stopRequested()) {
        WorkerThread::sleep(20);
    }
    return false;
}

DesktopTestApp::DesktopTestApp() : CMonitorApp(buildDate, &shell, testInstanceName()) {}

const wchar_t* DesktopTestApp::testInstanceName() {
    static const std::wstring name = L"Kestrum test " + std::to_wstring(GetCurrentProcessId());
    return name.c_str();
}

DesktopTestApp::~DesktopTestApp() {
    idleMonitor.requestStop(true);
}

int DesktopTestApp::messageBox(HWND, const char* text, UINT) {
    messages.push_back(text);
    return IDOK;
}

bool DesktopTestApp::pump() {
    return pumpPending();
}

void DesktopTestApp::postUpdate(const char* status, std::uint32_t received, std::uint32_t sent,
                                bool published, std::int64_t milliseconds) {
    clock += milliseconds;
    // Every update brings a successful reading of both counters, taken now.
    snapshot.statusText = status;
    readCounters(snapshot, 0, received, sent, static_cast<std::uint32_t>(clock));
    snapshot.countersPublished = published;
    // The facts as if just read, so that the uptime shown is the one the test set.
    snapshot.facts.uptimeReadAt = clock;
    PostMessageA(monitorWindow()->hwnd(), WM_MONITOR_UPDATE, 0, 0);
    pump();
}

void DesktopTestApp::exitFromTray() {
    PostMessageA(monitorWindow()->hwnd(), WM_COMMAND, ID_TRAY_EXIT, 0);
    messageLoop();
    finish(0);
}

std::string DesktopTestApp::windowText(HWND window) {
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring DesktopTestApp::wideWindowText(HWND window) {
    wchar_t text[512] = L"";
    SendMessageW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text));
    return text;
}

int DesktopTestApp::textWidth(HWND control) {
    const std::wstring text = wideWindowText(control);
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return extent.cx;
}

int DesktopTestApp::iconWidth(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return mask.bmWidth;
}

bool DesktopTestApp::startSockets() {
    steps.push_back(mainWindow() == nullptr ? "sockets" : "sockets after the windows");
    return socketsWork;
}

void DesktopTestApp::stopSockets() {
    steps.push_back("stop sockets");
}

void DesktopTestApp::startMonitor() {
    steps.push_back(mainWindow() == nullptr ? "monitor" : "monitor after the windows");
    if (!monitorWorks) {
        throw ThreadCreateException();
    }
    idleMonitor.initialize();
    idleMonitor.start();
}

void DesktopTestApp::stopMonitor() {
    steps.push_back(tray().removed() ? "stop monitor, icon gone" : "stop monitor, icon shown");
    idleMonitor.requestStop(true);
}

} // namespace kestrum::test
