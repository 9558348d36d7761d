#include "shell/app/ResourceIds.h"
#include "shell/app/WindowPlacement.h"
#include "shell/app/WindowUpdateNotifier.h"
#include "tests/desktop/DesktopTestApp.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

namespace kestrum::test {
namespace {

using Steps = std::vector<std::string>;

bool threadExists(DWORD id) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found;
         more = Thread32Next(snapshot, &entry)) {
        found = entry.th32ThreadID == id && entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return found;
}

TEST(StartUp, SocketsThenMonitorThenWindowsThenTrayIcon) {
    DesktopTestApp app;
    ASSERT_TRUE(app.start());
    // Both platform steps ran before any window existed.
    EXPECT_EQ(app.steps, (Steps{"sockets", "monitor"}));
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(app.buildStamp(), "041013");

    CDialog* owner = app.mainWindow();
    ASSERT_EQ(owner, &app.hiddenOwner());
    EXPECT_FALSE(owner->visible());
    CMonitorDialog* monitor = app.monitorWindow();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->visible());
    // Owned by the hidden window, so it has no taskbar button.
    EXPECT_EQ(GetWindow(monitor->hwnd(), GW_OWNER), owner->hwnd());
    EXPECT_EQ(GetWindow(monitor->aboutBox().hwnd(), GW_OWNER), owner->hwnd());
    EXPECT_FALSE(monitor->aboutBox().visible());
    EXPECT_EQ(DesktopTestApp::windowText(monitor->hwnd()), "Kestrum");

    ASSERT_EQ(app.shell.calls.size(), 1u);
    const RecordingShell::Call& add = app.shell.calls[0];
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.window, monitor->hwnd());
    EXPECT_EQ(add.tooltip, L"Kestrum");
    EXPECT_EQ(app.tray().record().uID, 131u);
    EXPECT_EQ(app.tray().record().uCallbackMessage, WM_TRAY_NOTIFY);
    EXPECT_NE(add.icon, nullptr);

    // The system menu carries "&About..." after a separator.
    HMENU systemMenu = GetSystemMenu(monitor->hwnd(), FALSE);
    const int items = GetMenuItemCount(systemMenu);
    char text[32] = "";
    GetMenuStringA(systemMenu, IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About...");
    EXPECT_EQ(GetMenuItemID(systemMenu, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(GetMenuState(systemMenu, static_cast<UINT>(items - 2), MF_BYPOSITION) & MF_SEPARATOR,
              static_cast<UINT>(MF_SEPARATOR));

    PostMessageA(monitor->hwnd(), WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(app.messageLoop(), 0);
    app.finish(0);
}

// The window opens whole in the corner of the work area beside the notification area (every
// taskbar edge is WindowPlacementTest's), with icons of the sizes the system asks for. COM is
// ready on this thread for the links until Exit.
TEST(StartUp, WindowOpensInTheCornerWithIconsAtTheirSizesAndComReady) {
    DesktopTestApp app;
    ASSERT_TRUE(app.start());
    const HWND window = app.monitorWindow()->hwnd();
    // The desktop as the program reads it: Wine reports a 1-pixel auto-hidden taskbar, whose
    // thickness comes off the work area.
    const DesktopLayout desktop = readDesktop(window, trayIconId);
    const bool hasTaskbar = desktop.hasTaskbar;
    const RECT work = usableArea(desktop);
    RECT frame{};
    GetWindowRect(window, &frame);
    SCOPED_TRACE(hasTaskbar ? "taskbar edge " + std::to_string(desktop.edge) : "no taskbar");
    EXPECT_GE(frame.left, work.left);
    EXPECT_GE(frame.top, work.top);
    EXPECT_LE(frame.right, work.right);
    EXPECT_LE(frame.bottom, work.bottom);
    if (hasTaskbar) {
        const bool left = desktop.edge == ABE_LEFT;
        const bool top = desktop.edge == ABE_TOP;
        EXPECT_EQ(left ? frame.left : frame.right, left ? work.left : work.right);
        EXPECT_EQ(top ? frame.top : frame.bottom, top ? work.top : work.bottom);
    } else {
        // Waiting for the taskbar, centred: not in a corner it may later cover.
        EXPECT_LE(std::abs((frame.left - work.left) - (work.right - frame.right)), 1);
        EXPECT_LE(std::abs((frame.top - work.top) - (work.bottom - frame.bottom)), 1);
    }

    const auto windowIcon = [&](WPARAM which) {
        return reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, which, 0));
    };
    EXPECT_EQ(DesktopTestApp::iconWidth(windowIcon(ICON_BIG)), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(DesktopTestApp::iconWidth(windowIcon(ICON_SMALL)), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(DesktopTestApp::iconWidth(app.tray().record().hIcon), GetSystemMetrics(SM_CXSMICON));

    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    PostMessageA(window, WM_COMMAND, ID_TRAY_EXIT, 0);
    app.messageLoop();
    app.finish(0);
    const HRESULT afterExit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(afterExit, S_OK);
    if (SUCCEEDED(afterExit)) {
        CoUninitialize();
    }
}

int queuedUpdates(HWND window) {
    int count = 0;
    MSG message;
    while (PeekMessageA(&message, window, WM_MONITOR_UPDATE, WM_MONITOR_UPDATE, PM_REMOVE)) {
        ++count;
    }
    return count;
}

// The monitor starts before the window that receives its updates exists.
TEST(StartUp, AnUpdatePostedBeforeTheWindowExistsArrivesOnceItDoes) {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    WindowUpdateNotifier notifier;
    notifier.postUpdate();
    notifier.postUpdate(); // updates carry no data: one stands for both
    EXPECT_EQ(queuedUpdates(window), 0);
    notifier.setWindow(window);
    EXPECT_EQ(queuedUpdates(window), 1);
    notifier.postUpdate();
    notifier.postUpdate();
    EXPECT_EQ(queuedUpdates(window), 2);
    notifier.setWindow(nullptr);
    notifier.postUpdate();
    EXPECT_EQ(queuedUpdates(window), 0);
    DestroyWindow(window);
}

TEST(StartUp, SocketFailureShowsItsMessageAndEndsBeforeAnyWindow) {
    DesktopTestApp app;
    app.socketsWork = false;
    EXPECT_FALSE(app.start());
    EXPECT_EQ(app.messages, (Steps{"Windows sockets initialization failed."}));
    EXPECT_EQ(app.steps, (Steps{"sockets"}));
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_EQ(app.monitorWindow(), nullptr);
    EXPECT_NE(app.finish(1), 0);
    EXPECT_TRUE(app.shell.calls.empty());
    EXPECT_EQ(app.steps, (Steps{"sockets"})); // nothing to stop
}

TEST(StartUp, MonitorThreadFailureShowsAMessageAndEndsInOrder) {
    DesktopTestApp app;
    app.monitorWorks = false;
    EXPECT_FALSE(app.start());
    EXPECT_EQ(app.messages, (Steps{"The gateway monitor could not be started."}));
    EXPECT_EQ(app.mainWindow(), nullptr);
    app.finish(1);
    EXPECT_EQ(app.steps, (Steps{"sockets", "monitor", "stop sockets"}));
    EXPECT_TRUE(app.shell.calls.empty());
}

// Every way the program is asked to end: the tray menu's Exit, a close request to the main
// window (installers, the restart manager), and the end of the session.
TEST(Exit, HidesAndRemovesTheIconFirstThenStopsTheMonitorThenEndsTheLoop) {
    enum class To { MonitorWindow, MainWindow };
    const struct {
        const char* name;
        To to;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } requests[] = {
        {"tray menu Exit", To::MonitorWindow, WM_COMMAND, ID_TRAY_EXIT, 0},
        {"close request", To::MainWindow, WM_CLOSE, 0, 0},
        {"restart manager", To::MainWindow, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP},
        {"log off", To::MainWindow, WM_ENDSESSION, TRUE, static_cast<LPARAM>(ENDSESSION_LOGOFF)},
        {"shut down", To::MainWindow, WM_ENDSESSION, TRUE, 0},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.name);
        DesktopTestApp app;
        ASSERT_TRUE(app.start());
        CMonitorDialog& monitor = *app.monitorWindow();
        ASSERT_TRUE(app.pump());
        SendMessageA(monitor.hwnd(), WM_COMMAND, ID_TRAY_ABOUT, 0);
        EXPECT_TRUE(monitor.aboutBox().visible());
        const DWORD monitorThread = app.idleMonitor.threadId();
        ASSERT_NE(monitorThread, 0u);

        HWND target = request.to == To::MainWindow ? app.hiddenOwner().hwnd() : monitor.hwnd();
        // The session may end: nothing is stored, so the answer is always yes, and asking
        // changes nothing yet.
        EXPECT_EQ(SendMessageA(target, WM_QUERYENDSESSION, 0, request.lParam), TRUE);
        EXPECT_TRUE(monitor.visible());
        SendMessageA(target, request.message, request.wParam, request.lParam);
        // Everything is done when the request returns: after the end of a session the process
        // may be ended at any moment.
        EXPECT_FALSE(monitor.visible());
        EXPECT_FALSE(monitor.aboutBox().visible());
        EXPECT_EQ(app.shell.count(NIM_DELETE), 1);
        EXPECT_EQ(app.shell.calls.back().message, static_cast<DWORD>(NIM_DELETE));
        EXPECT_EQ(app.idleMonitor.state(), WorkerThread::State::Finished);
        EXPECT_FALSE(threadExists(monitorThread));

        // A second request in the same run changes nothing.
        SendMessageA(app.hiddenOwner().hwnd(), WM_CLOSE, 0, 0);
        EXPECT_EQ(app.messageLoop(), 0);
        EXPECT_EQ(app.finish(0), 0);
        EXPECT_EQ(app.steps,
                  (Steps{"sockets", "monitor", "stop monitor, icon gone", "stop sockets"}));
        EXPECT_EQ(app.shell.count(NIM_DELETE), 1);
    }
}

TEST(Exit, ACancelledSessionEndKeepsTheProgramRunning) {
    DesktopTestApp app;
    ASSERT_TRUE(app.start());
    SendMessageA(app.hiddenOwner().hwnd(), WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(app.pump());
    EXPECT_TRUE(app.monitorWindow()->visible());
    EXPECT_EQ(app.shell.count(NIM_DELETE), 0);
    EXPECT_NE(app.idleMonitor.state(), WorkerThread::State::Finished);
    PostMessageA(app.monitorWindow()->hwnd(), WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(app.messageLoop(), 0);
    app.finish(0);
}

} // namespace
} // namespace kestrum::test
