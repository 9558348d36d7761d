#include "shell/app/SingleInstance.h"

#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <gtest/gtest.h>
#include <thread>

namespace kestrum::test {
namespace {

using HandOver = CSingleInstance::HandOver;

// The first instance's hold on the session, on a thread of its own as in another process: a
// mutex is its owner thread's to take again.
class FirstInstance {
public:
    enum class Ending { Released, Abandoned };

    explicit FirstInstance(Ending ending) {
        HANDLE claimed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, ending, claimed] {
            HANDLE mutex = CreateMutexW(
                nullptr, TRUE,
                (std::wstring(L"Local\\") + DesktopTestApp::testInstanceName()).c_str());
            first_ = mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
            SetEvent(claimed);
            WaitForSingleObject(end_, INFINITE);
            if (ending == Ending::Released) {
                ReleaseMutex(mutex);
            }
            CloseHandle(mutex);
        });
        WaitForSingleObject(claimed, INFINITE);
        CloseHandle(claimed);
    }
    ~FirstInstance() { end(); }

    bool first() const { return first_; }
    void end() {
        if (thread_.joinable()) {
            SetEvent(end_);
            thread_.join();
        }
    }

private:
    HANDLE end_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool first_ = false;
    std::thread thread_;
};

std::wstring className(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

TEST(SingleInstance, ALaterStartOpensTheFirstOnesWindowAndBringsItToTheFront) {
    FirstInstance first(FirstInstance::Ending::Released);
    ASSERT_TRUE(first.first());
    DesktopTestApp app;
    ASSERT_TRUE(app.start());
    const HWND main = app.hiddenOwner().hwnd();
    EXPECT_EQ(className(main), L"" MAIN_WINDOW_CLASS);
    EXPECT_EQ(DesktopTestApp::wideWindowText(main), DesktopTestApp::testInstanceName());
    EXPECT_EQ(CSingleInstance::findMainWindow(DesktopTestApp::testInstanceName()), main);

    CMonitorDialog& window = *app.monitorWindow();
    window.show(SW_HIDE);
    CSingleInstance later(DesktopTestApp::testInstanceName());
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(later.handOver(10000), HandOver::Opened);
    EXPECT_TRUE(window.visible());
    // Activated within this thread whether or not the system grants the foreground, which
    // a test started from a console need not have.
    EXPECT_EQ(GetActiveWindow(), window.hwnd());
    // Nothing of a second program started: no second icon.
    EXPECT_EQ(app.shell.count(NIM_ADD), 1);
    app.exitFromTray();
}

// A first instance that is ending does not open its window; once it has ended, the later
// start takes its place, however it ended.
TEST(SingleInstance, ALaterStartWaitsForAnEndingFirstOneAndTakesItsPlace) {
    for (const auto ending : {FirstInstance::Ending::Released, FirstInstance::Ending::Abandoned}) {
        SCOPED_TRACE(ending == FirstInstance::Ending::Released ? "released" : "abandoned");
        FirstInstance first(ending);
        ASSERT_TRUE(first.first());
        DesktopTestApp app;
        ASSERT_TRUE(app.start());
        SendMessageW(app.hiddenOwner().hwnd(), WM_CLOSE, 0, 0); // Exit begins

        CSingleInstance later(DesktopTestApp::testInstanceName());
        EXPECT_FALSE(later.claim());
        EXPECT_EQ(later.handOver(300), HandOver::NoAnswer);
        EXPECT_FALSE(app.monitorWindow()->visible());
        first.end();
        EXPECT_EQ(later.handOver(10000), HandOver::BecameFirst);
        app.messageLoop();
        app.finish(0);
    }
    // The place is free again.
    CSingleInstance next(DesktopTestApp::testInstanceName());
    EXPECT_TRUE(next.claim());
}

} // namespace
} // namespace kestrum::test
