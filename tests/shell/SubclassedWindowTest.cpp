#include "shell/framework/SubclassedWindow.h"

#include "tests/shell/ShellTestHost.h"

#include <algorithm>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <vector>

namespace kestrum::test {
namespace {

// Records what reaches it and consumes a message or a reflected notification when told to.
class Recorder : public CSubclassedWindow {
public:
    std::vector<UINT> seen;
    std::vector<UINT> reflected;
    UINT consume = 0;
    int subclassedCalls = 0;
    // Where the messages go when set, as well as into seen.
    std::vector<UINT>* log = nullptr;

protected:
    void onSubclassed() override { ++subclassedCalls; }
    bool preTranslateMessage(MSG& message) override { return message.message == consume; }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back(message);
        if (log != nullptr) {
            log->push_back(message);
        }
        return defaultProc(message, wParam, lParam);
    }
    bool onReflected(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        reflected.push_back(message);
        result = 1234;
        return message == WM_CTLCOLORSTATIC;
    }
};

TEST(SubclassedWindow, attachesOnceAndPassesMessagesToTheOriginalProcedure) {
    ShellTestHost host;
    HWND control = host.createControl(60, 20, L"STATIC", 0, L"before", 7);
    Recorder recorder;
    EXPECT_FALSE(recorder.subclassDlgItem(8, host.window())); // no such control
    ASSERT_TRUE(recorder.subclassDlgItem(7, host.window()));
    EXPECT_EQ(recorder.hwnd(), control);
    EXPECT_EQ(recorder.subclassedCalls, 1);
    EXPECT_EQ(CSubclassedWindow::fromHandle(control), &recorder);
    EXPECT_EQ(CSubclassedWindow::fromHandle(host.window()), nullptr);

    Recorder second;
    EXPECT_FALSE(second.subclassWindow(control));
    EXPECT_FALSE(recorder.subclassWindow(host.window()));

    // The static control's own procedure still keeps its text.
    SetWindowTextW(control, L"after");
    wchar_t text[16] = {};
    GetWindowTextW(control, text, 16);
    EXPECT_STREQ(text, L"after");
    EXPECT_NE(std::find(recorder.seen.begin(), recorder.seen.end(), WM_SETTEXT),
              recorder.seen.end());
}

// Someone else's subclass on the same window, as a screen reader or a theme may add: counts the
// messages it passes on.
LRESULT CALLBACK countingSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(window, message, wParam, lParam);
}

std::wstring textOf(HWND window) {
    wchar_t text[32] = {};
    GetWindowTextW(window, text, 32);
    return text;
}

TEST(SubclassedWindow, detachesWhenTheWindowOrTheObjectGoes) {
    ShellTestHost host;
    HWND first = host.createControl(60, 20);
    // What the object saw, kept outside it: after it is gone nothing may arrive here.
    std::vector<UINT> seen;
    int othersCount = 0;
    {
        Recorder recorder;
        ASSERT_TRUE(recorder.subclassWindow(first));
        // Another subclass after ours, which stays when ours goes.
        ASSERT_TRUE(SetWindowSubclass(first, countingSubclass, 7,
                                      reinterpret_cast<DWORD_PTR>(&othersCount)));
        SetWindowTextW(first, L"while attached");
        EXPECT_NE(std::find(recorder.seen.begin(), recorder.seen.end(), WM_SETTEXT),
                  recorder.seen.end());
        recorder.log = &seen;
    }
    EXPECT_EQ(CSubclassedWindow::fromHandle(first), nullptr);
    const int othersBefore = othersCount;
    SetWindowTextW(first, L"still works");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(textOf(first), L"still works"); // the static control's own procedure got it
    EXPECT_GT(othersCount, othersBefore);     // and the later subclass still sees everything
    RemoveWindowSubclass(first, countingSubclass, 7);

    Recorder recorder;
    ASSERT_TRUE(recorder.subclassWindow(first));
    DestroyWindow(first);
    EXPECT_EQ(recorder.hwnd(), nullptr);
    EXPECT_TRUE(recorder.subclassWindow(host.createControl(60, 20)));
}

TEST(SubclassedWindow, reflectsNotificationsAndPreTranslatesUpToTheTopLevel) {
    ShellTestHost host;
    HWND control = host.createControl(60, 20);
    Recorder recorder;
    ASSERT_TRUE(recorder.subclassWindow(control));

    HDC dc = GetDC(control);
    LRESULT result = 0;
    EXPECT_TRUE(reflectToChild(host.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(control), result));
    EXPECT_EQ(result, 1234);
    // The host's procedure reflects too, and returns what the child answered.
    EXPECT_EQ(SendMessageW(host.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(control)),
              1234);
    EXPECT_FALSE(reflectToChild(host.window(), WM_COMMAND, 0, reinterpret_cast<LPARAM>(control),
                                result));                                  // seen but not handled
    EXPECT_FALSE(reflectToChild(host.window(), WM_COMMAND, 0, 0, result)); // a menu command
    ReleaseDC(control, dc);
    EXPECT_EQ(recorder.reflected,
              (std::vector<UINT>{WM_CTLCOLORSTATIC, WM_CTLCOLORSTATIC, WM_COMMAND}));

    // A child's parent sees the child's messages; the top-level window ends the walk.
    Recorder hostRecorder;
    ASSERT_TRUE(hostRecorder.subclassWindow(host.window()));
    hostRecorder.consume = WM_KEYDOWN;
    MSG key{control, WM_KEYDOWN, VK_SPACE, 0, 0, {}};
    EXPECT_TRUE(CSubclassedWindow::preTranslate(key));
    MSG other{control, WM_KEYUP, VK_SPACE, 0, 0, {}};
    EXPECT_FALSE(CSubclassedWindow::preTranslate(other));
    recorder.consume = WM_KEYUP;
    EXPECT_TRUE(CSubclassedWindow::preTranslate(other));
}

} // namespace
} // namespace kestrum::test
