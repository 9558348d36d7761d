#include "shell/app/SystemTray.h"

#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

HICON someIcon() {
    return LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION, shared
}

HICON otherIcon() {
    return LoadIconA(nullptr, MAKEINTRESOURCEA(32516)); // IDI_INFORMATION, shared
}

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
constexpr Flags addFailed{true, true, true};
constexpr Flags removed{true, true, false};

TEST(SystemTray, CreateAddsVisibleIconAndModifiesWhileShown) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    ASSERT_TRUE(tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131));
    expectState(tray, shown);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.calls[0].flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(shell.calls[0].tooltip, L"Kestrum");
    EXPECT_EQ(shell.calls[0].size, static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
    EXPECT_EQ(tray.record().hWnd, tray.window()); // no notification window given
    EXPECT_EQ(tray.record().uID, 131u);
    EXPECT_EQ(tray.record().uCallbackMessage, 0x8001u);

    EXPECT_TRUE(tray.setIcon(otherIcon()));
    EXPECT_TRUE(tray.setTooltipText("Gateway"));
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[1].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(shell.calls[1].flags, static_cast<UINT>(NIF_ICON));
    EXPECT_EQ(shell.calls[1].icon, otherIcon());
    EXPECT_EQ(shell.calls[2].flags, static_cast<UINT>(NIF_TIP));
    EXPECT_EQ(shell.calls[2].tooltip, L"Gateway");

    // A refused modification is reported and changes no state.
    shell.succeed = false;
    EXPECT_FALSE(tray.setTooltipText("again"));
    expectState(tray, shown);

    // A work-area change leaves a shown icon alone.
    changeWorkArea(tray);
    EXPECT_EQ(shell.calls.size(), 4u);
}

TEST(SystemTray, FailedAddKeepsChangesAndAddsThemWhenTheTaskbarAppears) {
    RecordingShell shell;
    shell.succeed = false;
    CSystemTray tray(&shell);
    EXPECT_FALSE(tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131));
    expectState(tray, addFailed);

    // Hidden: the record changes, the shell hears nothing.
    EXPECT_TRUE(tray.setIcon(otherIcon()));
    EXPECT_TRUE(tray.setTooltipText("Gateway\nReceiving (KB/s): 5"));
    EXPECT_EQ(shell.calls.size(), 1u);

    // Still no taskbar: the attempt fails and stays pending.
    announceTaskbar(tray);
    expectState(tray, addFailed);

    shell.succeed = true;
    announceTaskbar(tray);
    expectState(tray, shown);
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[2].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.calls[2].flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(shell.calls[2].icon, otherIcon());
    EXPECT_EQ(shell.calls[2].tooltip, L"Gateway\nReceiving (KB/s): 5");

    // Added late, it is removed at the end like any other.
    EXPECT_TRUE(tray.removeIcon());
    EXPECT_EQ(shell.calls.back().message, static_cast<DWORD>(NIM_DELETE));
}

TEST(SystemTray, WorkAreaChangeRetriesAFailedAdd) {
    RecordingShell shell;
    shell.succeed = false;
    CSystemTray tray(&shell);
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
    shell.succeed = true;
    changeWorkArea(tray);
    expectState(tray, shown);
    EXPECT_EQ(shell.calls.back().message, static_cast<DWORD>(NIM_ADD));
}

TEST(SystemTray, NewTaskbarGetsTheLatestIconAndTooltip) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
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

// Every refresh sets a level icon: each resource is loaded once and its handle reused, since
// every new handle the shell sees costs memory under Wine.
TEST(SystemTray, LevelIconsAreLoadedOnceAndStayAlive) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
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
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
    EXPECT_FALSE(tray.setIcon(4242));
    EXPECT_EQ(tray.record().hIcon, someIcon());
    EXPECT_EQ(shell.calls.size(), 1u);
}

TEST(SystemTray, RemoveTwiceAsksTheShellOnceAndStaysRemoved) {
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
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

TEST(SystemTray, TooltipKeepsAtMost127BytesOnACharacterBoundary) {
    struct Case {
        std::string text;
        std::wstring expected;
    };
    const std::string a126(126, 'a');
    const std::wstring w126(126, L'a');
    const Case cases[] = {
        {std::string(200, 'x'), std::wstring(127, L'x')},
        {std::string(127, 'x'), std::wstring(127, L'x')},
        {"", L""},
        // A two-byte character whose second byte would be the 128th is dropped whole.
        {a126 + "\xC3\xA9", w126},
        {std::string(125, 'a') + "\xC3\xA9z", std::wstring(125, L'a') + L"\u00E9"},
        // A three-byte character cut after its first byte by an earlier 127-byte cut.
        {a126 + "\xE6", w126},
        {"\xE6\x97\xA5\xE6\x9C\xAC Gateway", L"\u65E5\u672C Gateway"},
        // A four-byte character becomes a surrogate pair, or goes whole.
        {"\xF0\x9F\x98\x80", L"\U0001F600"},
        {std::string(124, 'a') + "\xF0\x9F\x98\x80", std::wstring(124, L'a')},
        {"Caf\xC3\xA9\nReceiving", L"Caf\u00E9\nReceiving"},
    };
    RecordingShell shell;
    CSystemTray tray(&shell);
    tray.create(nullptr, 0x8001, "Kestrum", someIcon(), 131);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tray.setTooltipText(c.text.c_str());
        EXPECT_EQ(std::wstring(tray.record().szTip), c.expected);
        EXPECT_EQ(tray.record().szTip[127], L'\0');
    }
}

} // namespace
} // namespace kestrum::test
