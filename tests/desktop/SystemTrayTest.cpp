#include "shell/app/SystemTray.h"

#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace kestrum::test {
namespace {

constexpr int someIcon = IDI_APPLICATION_ICON;
constexpr int otherIcon = IDI_LEVEL_6;
constexpr UINT trayMessage = 0x8001;
const std::set<DWORD> everything{NIM_ADD, NIM_MODIFY, NIM_DELETE};

void announceTaskbar(const CSystemTray& tray) {
    SendMessageA(tray.window(), CSystemTray::taskbarCreatedMessage(), 0, 0);
}

void changeWorkArea(const CSystemTray& tray) {
    SendMessageA(tray.window(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
}

struct Flags {
    bool hidden, removed, pending;
};

void expectState(const CSystemTray& tray, Flags flags) {
    EXPECT_EQ(tray.hidden(), flags.hidden);
    EXPECT_EQ(tray.removed(), flags.removed);
    EXPECT_EQ(tray.showPending(), flags.pending);
}

constexpr Flags shown{false, false, false};
constexpr Flags notShown{true, false, true};
constexpr Flags removed{true, true, false};
constexpr UINT addFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;

TEST(SystemTray, CreateAddsVisibleIconAndSendsOnlyWhatChanged) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    ASSERT_TRUE(tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131));
    expectState(tray, shown);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.calls[0].flags, addFlags);
    EXPECT_EQ(shell.calls[0].tooltip, L"Kestrum");
    EXPECT_EQ(shell.calls[0].size, static_cast<DWORD>(sizeof(NOTIFYICONDATAW)));
    // Version 4 right after the add, so that the keyboard reaches the icon too.
    ASSERT_EQ(shell.versions.size(), 1u);
    EXPECT_EQ(shell.versions[0].version, static_cast<UINT>(NOTIFYICON_VERSION_4));
    EXPECT_EQ(shell.versions[0].after, 1u);
    EXPECT_TRUE(tray.versionFour());
    EXPECT_NE(shell.calls[0].icon, nullptr);
    EXPECT_EQ(tray.record().hWnd, tray.window()); // no notification window given
    EXPECT_EQ(tray.record().uID, 131u);
    EXPECT_EQ(tray.record().uCallbackMessage, trayMessage);

    // Each change once; the same icon or text again is not sent, and an icon resource is
    // loaded once.
    EXPECT_TRUE(tray.setIcon(otherIcon));
    const HICON level6 = tray.record().hIcon;
    EXPECT_TRUE(tray.setIcon(otherIcon));
    EXPECT_TRUE(tray.setTooltipText("Gateway"));
    EXPECT_TRUE(tray.setTooltipText("Gateway"));
    EXPECT_TRUE(tray.setIcon(someIcon));
    EXPECT_TRUE(tray.setIcon(otherIcon));
    EXPECT_EQ(tray.record().hIcon, level6);
    ASSERT_EQ(shell.calls.size(), 5u);
    EXPECT_EQ(shell.calls[1].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(shell.calls[1].flags, static_cast<UINT>(NIF_ICON));
    EXPECT_EQ(shell.calls[1].icon, level6);
    EXPECT_EQ(shell.calls[2].flags, static_cast<UINT>(NIF_TIP | NIF_SHOWTIP));
    EXPECT_EQ(shell.calls[2].tooltip, L"Gateway");
    EXPECT_EQ(shell.calls[4].icon, level6);

    // A refused change is reported, changes no state and is sent again next time.
    shell.refused = everything;
    EXPECT_FALSE(tray.setTooltipText("again"));
    expectState(tray, shown);
    shell.refused.clear();
    EXPECT_TRUE(tray.setTooltipText("again"));
    EXPECT_EQ(shell.calls.size(), 7u);

    // A work-area change leaves a shown icon alone.
    changeWorkArea(tray);
    EXPECT_EQ(shell.calls.size(), 7u);
}

TEST(SystemTray, IconNotShownKeepsChangesAndShowsThemWhenTheTaskbarAppears) {
    RecordingShell shell;
    shell.refused = everything;
    CSystemTray tray(&shell);
    EXPECT_FALSE(tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131));
    expectState(tray, notShown);

    // Not shown: the record changes, the shell hears nothing.
    EXPECT_TRUE(tray.setIcon(otherIcon));
    EXPECT_TRUE(tray.setTooltipText("Gateway\nReceiving (KB/s): 5"));
    EXPECT_EQ(shell.calls.size(), 2u);
    EXPECT_TRUE(shell.versions.empty()); // nothing to ask about
    EXPECT_FALSE(tray.versionFour());

    shell.refused.clear();
    announceTaskbar(tray);
    expectState(tray, shown);
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[2].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.calls[2].flags, addFlags);
    // A new taskbar knows nothing of the version: asked again after its add.
    ASSERT_EQ(shell.versions.size(), 1u);
    EXPECT_EQ(shell.versions[0].version, static_cast<UINT>(NOTIFYICON_VERSION_4));
    EXPECT_EQ(shell.versions[0].after, 3u);
    EXPECT_TRUE(tray.versionFour());
    announceTaskbar(tray);
    ASSERT_EQ(shell.versions.size(), 2u);
    EXPECT_EQ(shell.versions[1].after, 4u);
    shell.refused = {NIM_SETVERSION};
    announceTaskbar(tray);
    EXPECT_FALSE(tray.versionFour()); // the older layout still works
    expectState(tray, shown);
    EXPECT_EQ(shell.calls[2].icon, tray.record().hIcon);
    EXPECT_EQ(shell.calls[2].tooltip, L"Gateway\nReceiving (KB/s): 5");
}

TEST(SystemTray, WorkAreaChangeRetriesAnIconNotShown) {
    RecordingShell shell;
    shell.refused = everything;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    shell.refused.clear();
    changeWorkArea(tray);
    expectState(tray, shown);
    EXPECT_EQ(shell.calls.back().message, static_cast<DWORD>(NIM_ADD));
}

enum class Event { none, taskbarCreated, retryTimer, removedThenTaskbarCreated };

void happen(CSystemTray& tray, Event event) {
    switch (event) {
    case Event::none:
        break;
    case Event::taskbarCreated:
        announceTaskbar(tray);
        break;
    case Event::retryTimer:
        SendMessageA(tray.window(), WM_TIMER, CSystemTray::retryTimer, 0);
        break;
    case Event::removedThenTaskbarCreated:
        tray.removeIcon();
        announceTaskbar(tray);
        break;
    }
}

// What the shell refuses at the add, what happens next while it refuses something else, and
// every message that reaches it, Exit's included: an icon that may exist is always deleted.
TEST(SystemTray, NoStateIsADeadEndAndExitDeletesWhatMayExist) {
    using Refused = std::set<DWORD>;
    const Refused both{NIM_ADD, NIM_MODIFY};
    const Refused none{};
    constexpr DWORD add = NIM_ADD, modify = NIM_MODIFY, remove = NIM_DELETE;
    const struct {
        const char* name;
        Refused atCreate;
        Event event;
        Refused after;
        Flags state;
        std::vector<DWORD> messages;
    } cases[] = {
        {"shown", none, Event::none, none, shown, {add, remove}},
        {"add refused, the icon exists",
         {NIM_ADD},
         Event::none,
         none,
         shown,
         {add, modify, remove}},
        {"not shown", both, Event::none, both, notShown, {add, modify, remove}},
        {"not shown, then a taskbar",
         both,
         Event::taskbarCreated,
         none,
         shown,
         {add, modify, add, remove}},
        {"not shown, then a taskbar that still has it",
         both,
         Event::taskbarCreated,
         {NIM_ADD},
         shown,
         {add, modify, add, modify, remove}},
        {"not shown, no broadcast, the timer",
         both,
         Event::retryTimer,
         none,
         shown,
         {add, modify, add, remove}},
        {"not shown, the timer, still refused",
         both,
         Event::retryTimer,
         both,
         notShown,
         {add, modify, add, modify, remove}},
        {"shown, a display change announces a taskbar",
         none,
         Event::taskbarCreated,
         {NIM_ADD},
         shown,
         {add, add, modify, remove}},
        {"removed on purpose, then a taskbar",
         none,
         Event::removedThenTaskbarCreated,
         none,
         removed,
         {add, remove}},
        {"removal refused, then a taskbar",
         none,
         Event::removedThenTaskbarCreated,
         {NIM_DELETE},
         {true, false, false},
         {add, remove, remove}},
        {"not shown, removed",
         both,
         Event::removedThenTaskbarCreated,
         none,
         removed,
         {add, modify, remove}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingShell shell;
        shell.refused = c.atCreate;
        CSystemTray tray(&shell);
        tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
        shell.refused = c.after;
        happen(tray, c.event);
        expectState(tray, c.state);
        // A retry is due exactly while the icon waits to be shown.
        EXPECT_EQ(tray.retryDelay() != 0, c.state.pending);
        shell.refused.clear();
        tray.destroy(); // Exit
        EXPECT_EQ(shell.messages(), c.messages);
        EXPECT_EQ(tray.retryDelay(), 0u);
    }
}

TEST(SystemTray, RetriesBackOffToAMinuteAndStopOnceShown) {
    RecordingShell shell;
    shell.refused = everything;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    std::vector<UINT> delays{tray.retryDelay()};
    for (int attempt = 0; attempt < 8; ++attempt) {
        happen(tray, Event::retryTimer);
        delays.push_back(tray.retryDelay());
    }
    EXPECT_EQ(delays,
              (std::vector<UINT>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
    EXPECT_EQ(shell.count(NIM_ADD), 9);
    // A taskbar that comes meanwhile is tried at once.
    announceTaskbar(tray);
    EXPECT_EQ(shell.count(NIM_ADD), 10);
    EXPECT_EQ(tray.retryDelay(), 60000u);

    // The real timer, not only its message: with the shell willing, the first retry shows it.
    RecordingShell later;
    later.refused = everything;
    CSystemTray waiting(&later);
    waiting.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    later.refused.clear();
    const DWORD deadline = GetTickCount() + 30000;
    while (waiting.hidden() && GetTickCount() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
    expectState(waiting, shown);
    EXPECT_EQ(later.messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD}));
    EXPECT_EQ(waiting.retryDelay(), 0u);
}

TEST(SystemTray, LoadsTheSmallIconSizeOfItsDpiAndReloadsOnAChange) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    EXPECT_EQ(DesktopTestApp::iconWidth(tray.record().hIcon), GetSystemMetrics(SM_CXSMICON));
    tray.setIcon(otherIcon);
    const struct {
        UINT dpi;
        int pixels;
    } cases[] = {{144, 24}, {144, 24}, {192, 32}, {96, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const std::size_t before = shell.calls.size();
        const HICON old = tray.record().hIcon;
        SendMessageA(tray.window(), WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), 0);
        EXPECT_EQ(tray.iconSize(), c.pixels);
        EXPECT_EQ(DesktopTestApp::iconWidth(tray.record().hIcon), c.pixels);
        // The level icon is shown at the new size; the same DPI again sends nothing.
        const bool changed = tray.record().hIcon != old;
        ASSERT_EQ(shell.calls.size(), before + (changed ? 1 : 0));
        if (changed) {
            EXPECT_EQ(shell.calls.back().flags, static_cast<UINT>(NIF_ICON));
            EXPECT_EQ(shell.calls.back().icon, tray.record().hIcon);
        }
    }
}

TEST(SystemTray, NewTaskbarGetsTheLatestIconAndTooltip) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    ASSERT_TRUE(tray.setIcon(IDI_LEVEL_6));
    const HICON level6 = tray.record().hIcon;
    tray.setTooltipText("Gateway");
    announceTaskbar(tray);
    expectState(tray, shown);
    EXPECT_EQ(shell.calls.back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.calls.back().icon, level6);
    EXPECT_EQ(shell.calls.back().tooltip, L"Gateway");
    // The icon handed to the shell is still alive for that re-add.
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(level6, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// A stray WM_CLOSE (another program's, a tool's) must not take the window that hears of a new
// taskbar.
TEST(SystemTray, StrayCloseLeavesTheWindowAndTheTaskbarHandling) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    SendMessageA(tray.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(tray.window()));
    announceTaskbar(tray);
    EXPECT_EQ(shell.calls.back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.count(NIM_ADD), 2);
}

// Every refresh sets a level icon: each resource is loaded once and its handle reused, since
// every new handle the shell sees costs memory under Wine.
TEST(SystemTray, LevelIconsAreLoadedOnceAndStayAlive) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    for (const int level : {IDI_LEVEL_6, IDI_LEVEL_7, IDI_LEVEL_6, IDI_LEVEL_7}) {
        ASSERT_TRUE(tray.setIcon(level));
    }
    ASSERT_EQ(shell.calls.size(), 5u);
    EXPECT_NE(shell.calls[1].icon, shell.calls[2].icon);
    EXPECT_EQ(shell.calls[1].icon, shell.calls[3].icon);
    EXPECT_EQ(shell.calls[2].icon, shell.calls[4].icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(shell.calls[1].icon, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST(SystemTray, UnknownIconResourceChangesNothing) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    const HICON shownIcon = tray.record().hIcon;
    EXPECT_FALSE(tray.setIcon(4242));
    EXPECT_EQ(tray.record().hIcon, shownIcon);
    EXPECT_EQ(shell.calls.size(), 1u);
}

TEST(SystemTray, RemoveTwiceAsksTheShellOnceAndStaysRemoved) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    EXPECT_TRUE(tray.removeIcon());
    EXPECT_TRUE(tray.removeIcon());
    expectState(tray, removed);
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(shell.calls[1].flags, 0u);
    // Neither a new taskbar nor a work-area change brings a removed icon back.
    announceTaskbar(tray);
    changeWorkArea(tray);
    EXPECT_EQ(shell.calls.size(), 2u);
    // While hidden, changes are kept without calling the shell.
    EXPECT_TRUE(tray.setTooltipText("late"));
    EXPECT_EQ(shell.calls.size(), 2u);
}

TEST(SystemTray, TooltipKeepsAtMost127UnitsOnACharacterBoundary) {
    struct Case {
        std::string text;
        std::wstring expected;
    };
    const std::string cjk = "\xE7\xBD\x91";
    std::string cjk127;
    for (int i = 0; i < 127; ++i) {
        cjk127 += cjk;
    }
    const Case cases[] = {
        {std::string(200, 'x'), std::wstring(127, L'x')},
        {std::string(127, 'x'), std::wstring(127, L'x')},
        {"", L""},
        // 381 bytes, 127 units: all of it.
        {cjk127, std::wstring(127, L'\u7F51')},
        {cjk127 + "x", std::wstring(127, L'\u7F51')},
        // A surrogate pair fits whole or goes whole.
        {std::string(125, 'a') + "\xF0\x9F\x98\x80", std::wstring(125, L'a') + L"\U0001F600"},
        {std::string(126, 'a') + "\xF0\x9F\x98\x80", std::wstring(126, L'a')},
        {"\xE6\x97\xA5\xE6\x9C\xAC Gateway", L"\u65E5\u672C Gateway"},
        {"Caf\xC3\xA9\nReceiving", L"Caf\u00E9\nReceiving"},
    };
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, trayMessage, "Kestrum", someIcon, 131);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tray.setTooltipText(c.text.c_str());
        EXPECT_EQ(std::wstring(tray.record().szTip), c.expected);
        EXPECT_EQ(tray.record().szTip[127], L'\0');
    }
}

// Windows 11 shows "&" as it is; the trays before it take it as a mnemonic prefix.
TEST(SystemTray, AmpersandsAreTripledBeforeWindows11) {
    using Ampersands = TrayTooltip::Ampersands;
    const struct {
        DWORD build;
        Ampersands rule;
    } cases[] = {
        {7601, Ampersands::Tripled},  {19045, Ampersands::Tripled}, {21999, Ampersands::Tripled},
        {22000, Ampersands::Literal}, {26100, Ampersands::Literal},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CSystemTray::ampersandRuleForBuild(c.build), c.rule) << c.build;
    }
}

} // namespace
} // namespace kestrum::test
