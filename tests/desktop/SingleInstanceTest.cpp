#include "shell/app/SingleInstance.h"

#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

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

// A later start that notes whom it let take the foreground, and whether the first one's window
// was still hidden then: Wine has no foreground lock, so only this shows that the permission
// comes before the request.
class WatchedLaterStart : public CSingleInstance {
public:
    explicit WatchedLaterStart(HWND window)
        : CSingleInstance(DesktopTestApp::testInstanceName()), window_(window) {}

    std::vector<DWORD> allowed;
    bool hiddenWhenAllowed = false;

protected:
    void allowForeground(DWORD processId) override {
        allowed.push_back(processId);
        hiddenWhenAllowed = !IsWindowVisible(window_);
        CSingleInstance::allowForeground(processId);
    }

private:
    HWND window_;
};

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
    WatchedLaterStart later(window.hwnd());
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(later.handOver(10000), HandOver::Opened);
    EXPECT_TRUE(window.visible());
    // The first one's process may take the foreground, allowed before it was asked to open.
    EXPECT_EQ(later.allowed, std::vector<DWORD>{GetCurrentProcessId()});
    EXPECT_TRUE(later.hiddenWhenAllowed);
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
