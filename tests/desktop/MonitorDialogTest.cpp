#include "monitor/SettingRange.h"
#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

// A started application whose monitor window is on screen.
class MonitorDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.start());
        window_ = app_.monitorWindow();
        app_.pump();
    }

    void TearDown() override {
        PostMessageA(window_->hwnd(), WM_COMMAND, ID_TRAY_EXIT, 0);
        app_.messageLoop();
        app_.finish(0);
    }

    HWND item(int id) const { return window_->item(id); }
    std::string text(int id) const { return DesktopTestApp::windowText(item(id)); }
    std::wstring wideText(int id) const { return DesktopTestApp::wideWindowText(item(id)); }

    // One WM_MONITOR_UPDATE, posted to the window as the monitor posts it.
    void update(const char* status, std::uint32_t received, std::uint32_t sent, bool published,
                std::int64_t milliseconds = 1000) {
        app_.postUpdate(status, received, sent, published, milliseconds);
    }

    void setEdits(const char* scale, const char* refresh) {
        SetWindowTextA(item(IDC_SCALE_EDIT), scale);
        SetWindowTextA(item(IDC_REFRESH_EDIT), refresh);
    }

    void pressApply() {
        SendMessageA(window_->hwnd(), WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item(IDC_APPLY)));
    }

    // A key pressed and released in an edit, through the message loop as typed.
    void key(int edit, WPARAM virtualKey) {
        SetFocus(item(edit));
        PostMessageA(item(edit), WM_KEYDOWN, virtualKey, 1);
        PostMessageA(item(edit), WM_KEYUP, virtualKey, 0xC0000001);
        app_.pump();
    }

    std::wstring tooltip() { return app_.tray().record().szTip; }

    DesktopTestApp app_;
    CMonitorDialog* window_ = nullptr;
};

TEST_F(MonitorDialogTest, StartsWithItsSettingsAndEmptyReadouts) {
    EXPECT_EQ(text(IDC_SCALE_EDIT), "30");
    EXPECT_EQ(text(IDC_REFRESH_EDIT), "500");
    EXPECT_EQ(text(IDC_STATUS), "Status");
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "0");
    EXPECT_EQ(text(IDC_SENT_READOUT), "0");
    EXPECT_EQ(text(IDC_LINK), "tarnwick.example");
    // The short caption keeps the right-aligned link clear of the Apply button.
    RECT link{};
    RECT apply{};
    GetWindowRect(item(IDC_LINK), &link);
    GetWindowRect(item(IDC_APPLY), &apply);
    EXPECT_GE(link.left, apply.right);
}

TEST_F(MonitorDialogTest, UpdatesShowStatusRatesAndTooltip) {
    // The first update: status and tooltip only.
    update("Looking for an UPnP gateway...", 0, 0, false);
    EXPECT_EQ(text(IDC_STATUS), "Looking for an UPnP gateway...");
    EXPECT_EQ(tooltip(), L"Looking for an UPnP gateway...");
    const auto iconChanges = [&] {
        int changes = 0;
        for (const auto& call : app_.shell.calls) {
            changes += call.message == NIM_MODIFY && call.flags == NIF_ICON ? 1 : 0;
        }
        return changes;
    };
    EXPECT_EQ(iconChanges(), 0);

    // A gateway's name, in any script, and its first counters: still no rates.
    update("Caf\xC3\xA9 \xE6\x97\xA5", 1'000'000, 2'000'000, true);
    EXPECT_EQ(wideText(IDC_STATUS), L"Caf\u00E9 \u65E5");
    EXPECT_EQ(tooltip(), L"Caf\u00E9 \u65E5");
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "0");

    // 45 000 and 10 000 bytes in a second at scale 30: the scale sizes only the graph.
    update("Gateway", 1'045'000, 2'010'000, true);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "45");
    EXPECT_EQ(text(IDC_SENT_READOUT), "10");
    EXPECT_EQ(tooltip(), L"Gateway\nReceiving (KB/s): 45\n  Sending (KB/s): 10");
    EXPECT_EQ(iconChanges(), 1);

    // An update within a refresh period is skipped and changes nothing but the status line.
    update("Gateway", 1'100'000, 2'100'000, true, 100);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "45");
    EXPECT_EQ(iconChanges(), 1);
}

// The tray's tooltip keeps both rates and as much of the name as fits, "&" written as this
// system's tray wants it.
TEST_F(MonitorDialogTest, TooltipKeepsTheRatesOfALongNameAndShowsItsAmpersands) {
    const std::string name = "AT&T " + std::string(100, 'x');
    update(name.c_str(), 0, 0, true);
    update(name.c_str(), 12'500'000, 12'500'000, true);
    const bool tripled = CSystemTray::ampersandRule() == TrayTooltip::Ampersands::Tripled;
    const std::wstring rates = L"\nReceiving (KB/s): 12500\n  Sending (KB/s): 12500";
    const std::wstring expected = tripled ? L"AT&&&T " + std::wstring(71, L'x') + L"\u2026" + rates
                                          : L"AT&T " + std::wstring(73, L'x') + L"\u2026" + rates;
    EXPECT_EQ(tooltip(), expected);
    EXPECT_EQ(tooltip().size(), 127u);
}

TEST_F(MonitorDialogTest, TrueRatesFarAboveTheScaleWidenTheReadoutUntilApply) {
    const auto digits = [&](int id) {
        return static_cast<CSegmentDisplay*>(CSubclassedWindow::fromHandle(item(id)))->digitCount();
    };
    update("Gateway", 1'000'000, 1'000'000, true);
    // 100 Mbit/s at the default scale of 30.
    update("Gateway", 13'500'000, 1'029'000, true);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "12500");
    EXPECT_EQ(text(IDC_SENT_READOUT), "29");
    EXPECT_EQ(tooltip(), L"Gateway\nReceiving (KB/s): 12500\n  Sending (KB/s): 29");
    EXPECT_EQ(app_.shell.calls.back().flags, static_cast<UINT>(NIF_TIP | NIF_SHOWTIP));
    EXPECT_EQ(digits(IDC_RECEIVED_READOUT), 5);
    EXPECT_EQ(digits(IDC_SENT_READOUT), 4);

    // Back below 10 000: the readout keeps its five cells.
    update("Gateway", 13'501'000, 1'029'000, true);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "1");
    EXPECT_EQ(digits(IDC_RECEIVED_READOUT), 5);

    // Apply starts again from the scale.
    setEdits("30", "500");
    pressApply();
    EXPECT_EQ(digits(IDC_RECEIVED_READOUT), 4);
    setEdits("100000", "500");
    pressApply();
    EXPECT_EQ(digits(IDC_RECEIVED_READOUT), 6);
    EXPECT_EQ(digits(IDC_SENT_READOUT), 6);
}

TEST_F(MonitorDialogTest, StuckCountersShowInTheStatusLineAndTooltip) {
    // A received counter at 2^32 - 1 for 60 s, one reading a second.
    for (int second = 0; second <= 60; ++second) {
        update("Kestrum Demo Gateway", 0xFFFFFFFFu, 5'000'000, true);
    }
    EXPECT_EQ(text(IDC_STATUS), "Kestrum Demo Gateway (counters stuck)");
    EXPECT_EQ(tooltip(), L"Kestrum Demo Gateway (counters stuck)\nReceiving (KB/s): 0\n"
                         L"  Sending (KB/s): 0");
    update("Kestrum Demo Gateway", 1'000, 5'001'000, true);
    EXPECT_EQ(text(IDC_STATUS), "Kestrum Demo Gateway");
}

TEST_F(MonitorDialogTest, UpdatePostedDuringAModalLoopStillArrives) {
    // The tray menu runs a modal loop; a thread message would be lost in it.
    SetTimer(window_->hwnd(), 1, 10, [](HWND window, UINT, UINT_PTR id, DWORD) {
        KillTimer(window, id);
        PostMessageA(window, WM_MONITOR_UPDATE, 0, 0);
        SetTimer(window, id, 50, [](HWND, UINT, UINT_PTR, DWORD) { EndMenu(); });
    });
    app_.snapshot.statusText = "During the menu";
    SendMessageA(window_->hwnd(), WM_TRAY_NOTIFY, 131, WM_RBUTTONUP);
    KillTimer(window_->hwnd(), 1);
    EXPECT_EQ(text(IDC_STATUS), "During the menu");
}

TEST_F(MonitorDialogTest, ApplyRejectsBadValuesWithTheFrameworkMessagesAndChangesNothing) {
    const std::string scaleRange = "Please enter an integer between 1 and 1000000.";
    const std::string refreshRange = "Please enter an integer between 100 and 10000.";
    const std::string positive = "Please enter a positive integer.";
    const struct {
        const char* scale;
        const char* refresh;
        std::string message;
        int focus;
    } cases[] = {
        {"0", "1000", scaleRange, IDC_SCALE_EDIT},
        {"2000000", "1000", scaleRange, IDC_SCALE_EDIT},
        {"4294967296", "1000", scaleRange, IDC_SCALE_EDIT},
        {"-5", "1000", positive, IDC_SCALE_EDIT},
        {"", "1000", positive, IDC_SCALE_EDIT},
        {"12 KB", "1000", positive, IDC_SCALE_EDIT},
        {"45", "99", refreshRange, IDC_REFRESH_EDIT},
        {"45", "10001", refreshRange, IDC_REFRESH_EDIT},
        {"45", "fast", positive, IDC_REFRESH_EDIT},
        {"45", " ", positive, IDC_REFRESH_EDIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scale) + " / " + c.refresh);
        app_.messages.clear();
        setEdits(c.scale, c.refresh);
        pressApply();
        EXPECT_EQ(app_.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(GetFocus(), item(c.focus));
        // All or nothing: neither setting moves, and the user's text stays for correction.
        EXPECT_EQ(window_->graphScale(), 30u);
        EXPECT_EQ(app_.refreshPeriod().get(), 500u);
        EXPECT_EQ(text(IDC_SCALE_EDIT), c.scale);
        EXPECT_EQ(text(IDC_REFRESH_EDIT), c.refresh);
    }

    // After a rejected 0 the rates still come, measured against the last accepted scale.
    update("Gateway", 0, 0, true);
    update("Gateway", 20'000, 5'000, true);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "20");
    EXPECT_EQ(text(IDC_SENT_READOUT), "5");
}

TEST_F(MonitorDialogTest, ApplyAcceptsBothValuesAtTheirBounds) {
    const struct {
        const char* scale;
        const char* refresh;
        std::uint32_t expectedScale;
        std::uint32_t expectedRefresh;
    } cases[] = {
        {"1", "100", 1, 100},
        {"1000000", "10000", 1000000, 10000},
        {" +100000\t", "250 ", 100000, 250},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        setEdits(c.scale, c.refresh);
        pressApply();
        EXPECT_TRUE(app_.messages.empty());
        EXPECT_EQ(window_->graphScale(), c.expectedScale);
        EXPECT_EQ(app_.refreshPeriod().get(), c.expectedRefresh);
        EXPECT_EQ(GetFocus(), item(IDC_SCALE_EDIT));
    }
    // With scale 100000 a rate of 12 500 KB/s shows in full.
    update("Gateway", 0, 0, true);
    update("Gateway", 12'500'000, 0, true);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "12500");
}

// The traffic level picks the tray icon; every level from the highest up shares its icon.
TEST(MonitorDialogIcons, EveryLevelHasItsIcon) {
    const int expected[] = {141, 133, 134, 135, 136, 137, 138, 139, 140, 132, 132};
    for (std::uint32_t level = 0; level <= 10; ++level) {
        EXPECT_EQ(trayIconForLevel(level), expected[level]) << level;
    }
    EXPECT_EQ(trayIconForLevel(0xFFFFFFFFu), 132);
}

// Enter in an edit presses the default button, Apply, with Apply's validation; Escape and the
// dialog's OK and Cancel change nothing.
TEST_F(MonitorDialogTest, EnterAppliesAndEscapeIsIgnored) {
    const std::string scaleRange = "Please enter an integer between 1 and 1000000.";
    const std::string refreshRange = "Please enter an integer between 100 and 10000.";
    const struct {
        const char* scale;
        const char* refresh;
        int edit;
        WPARAM key;
        std::uint32_t expectedScale;
        std::uint32_t expectedRefresh;
        std::vector<std::string> messages;
        int focus;
    } cases[] = {
        {"60", "1000", IDC_REFRESH_EDIT, VK_RETURN, 60, 1000, {}, IDC_SCALE_EDIT},
        {"45", "2000", IDC_SCALE_EDIT, VK_RETURN, 45, 2000, {}, IDC_SCALE_EDIT},
        {"0", "3000", IDC_REFRESH_EDIT, VK_RETURN, 45, 2000, {scaleRange}, IDC_SCALE_EDIT},
        {"50", "99", IDC_SCALE_EDIT, VK_RETURN, 45, 2000, {refreshRange}, IDC_REFRESH_EDIT},
        {"70", "3000", IDC_REFRESH_EDIT, VK_ESCAPE, 45, 2000, {}, IDC_REFRESH_EDIT},
        {"70", "3000", IDC_SCALE_EDIT, VK_ESCAPE, 45, 2000, {}, IDC_SCALE_EDIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scale) + " / " + c.refresh);
        app_.messages.clear();
        setEdits(c.scale, c.refresh);
        key(c.edit, c.key);
        EXPECT_EQ(app_.messages, c.messages);
        EXPECT_EQ(window_->graphScale(), c.expectedScale);
        EXPECT_EQ(app_.refreshPeriod().get(), c.expectedRefresh);
        EXPECT_EQ(GetFocus(), item(c.focus));
        EXPECT_TRUE(window_->visible());
    }
}

// Characters typed into the window reach it whole through the message loop, whatever the
// system's code page; Apply then reads them as the user typed them.
TEST_F(MonitorDialogTest, TypedCharactersOutsideTheCodePageArriveWhole) {
    SetWindowTextW(item(IDC_SCALE_EDIT), L"");
    SetFocus(item(IDC_SCALE_EDIT));
    for (const wchar_t typed : {L'\uFF11', L'\u65E5'}) { // a full-width one, a CJK character
        PostMessageW(item(IDC_SCALE_EDIT), WM_CHAR, typed, 1);
    }
    app_.pump();
    EXPECT_EQ(wideText(IDC_SCALE_EDIT), L"\uFF11\u65E5");
    pressApply();
    EXPECT_EQ(app_.messages, std::vector<std::string>{positiveIntegerMessage});
    EXPECT_EQ(window_->graphScale(), 30u);
}

TEST_F(MonitorDialogTest, OkCancelAndCloseLeaveTheProgramRunning) {
    SendMessageA(window_->hwnd(), WM_COMMAND, IDOK, 0);
    SendMessageA(window_->hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(window_->visible());
    SendMessageA(window_->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window_->visible());
    EXPECT_TRUE(app_.pump());
    EXPECT_FALSE(app_.tray().removed());
    EXPECT_EQ(app_.steps.size(), 2u); // nothing stopped
}

TEST_F(MonitorDialogTest, SteadyTrafficSendsTheShellNothingNew) {
    update("Gateway", 0, 0, true);
    const std::size_t before = app_.shell.calls.size();
    for (std::uint32_t second = 1; second <= 100; ++second) {
        update("Gateway", second * 10'000, second * 5'000, true);
    }
    // The first rates change the icon and the tooltip once; the rest repeat them.
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "10");
    EXPECT_LE(app_.shell.calls.size() - before, 2u);
    EXPECT_EQ(app_.shell.count(NIM_MODIFY), static_cast<int>(app_.shell.calls.size() - 1));
}

RECT frameOf(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    return frame;
}

bool within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The about box opens centred on the monitor window and whole on the work area; asked for
// again while open but behind another window, it comes to the front where it is.
TEST_F(MonitorDialogTest, AboutOpensCentredOnTheWindowAndComesToTheFront) {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const struct {
        const char* name;
        int x, y;
        bool centred;
    } cases[] = {
        {"middle", (work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 100, true},
        {"bottom right", work.right, work.bottom, false},
    };
    CAboutDialog& about = window_->aboutBox();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        about.show(SW_HIDE);
        SetWindowPos(window_->hwnd(), nullptr, c.x, c.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SendMessageA(window_->hwnd(), WM_COMMAND, ID_TRAY_ABOUT, 0);
        const RECT box = frameOf(about.hwnd());
        const RECT owner = frameOf(window_->hwnd());
        EXPECT_TRUE(within(box, work));
        if (c.centred) {
            EXPECT_LE(std::abs((box.left + box.right) - (owner.left + owner.right)), 1);
            EXPECT_LE(std::abs((box.top + box.bottom) - (owner.top + owner.bottom)), 1);
        }
        EXPECT_EQ(GetForegroundWindow(), about.hwnd());

        SetForegroundWindow(window_->hwnd());
        ASSERT_EQ(GetForegroundWindow(), window_->hwnd());
        SendMessageA(window_->hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        EXPECT_EQ(GetForegroundWindow(), about.hwnd());
        const RECT again = frameOf(about.hwnd());
        EXPECT_EQ(again.left, box.left);
        EXPECT_EQ(again.top, box.top);
    }
}

// A notification in version 4's layout: the event and the icon ID in lParam, the anchor in wParam.
void trayEvent(HWND window, UINT event, POINT anchor = {}, UINT icon = trayIconId) {
    SendMessageA(window, WM_TRAY_NOTIFY, MAKEWPARAM(anchor.x, anchor.y), MAKELPARAM(event, icon));
}

TEST_F(MonitorDialogTest, TrayNotificationsOpenTheWindowOnlyForOurIcon) {
    const HWND window = window_->hwnd();
    // Each row starts hidden: the events in order, and whether the window opened. The older
    // layout (icon ID in wParam) still counts, as from a shell that refused version 4.
    const struct {
        const char* what;
        std::vector<UINT> events;
        UINT icon;
        bool opens;
    } rows[] = {
        {"double click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT, WM_LBUTTONDBLCLK}, 131, true},
        {"another icon's double click", {WM_LBUTTONDBLCLK}, 7, false},
        {"single click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT}, 131, false},
        {"mouse moves", {WM_MOUSEMOVE}, 131, false},
        {"Enter or Space on the icon", {NIN_KEYSELECT}, 131, true},
        {"Enter on an icon the mouse selected", {WM_MOUSEMOVE, NIN_SELECT}, 131, true},
        {"another icon's key", {NIN_KEYSELECT}, 7, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        window_->show(SW_HIDE);
        for (UINT event : row.events) {
            trayEvent(window, event, {}, row.icon);
        }
        EXPECT_EQ(window_->visible(), row.opens);
    }
    window_->show(SW_HIDE);
    SendMessageA(window, WM_TRAY_NOTIFY, 131, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(window_->visible());
}

// After a monitor was unplugged the window may stand where no monitor is: opening it again
// brings it back beside the notification area.
TEST_F(MonitorDialogTest, OpeningAWindowOffEveryMonitorPlacesItAgain) {
    RECT placed{};
    GetWindowRect(window_->hwnd(), &placed);
    SetWindowPos(window_->hwnd(), nullptr, -5000, -5000, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    window_->show(SW_HIDE);
    trayEvent(window_->hwnd(), WM_LBUTTONDBLCLK);
    RECT frame{};
    GetWindowRect(window_->hwnd(), &frame);
    EXPECT_NE(MonitorFromRect(&frame, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_TRUE(EqualRect(&frame, &placed));
}

// Chooses an item of the tray menu with the keyboard once the menu is up: down moves to the
// first item, and each further press to the next one (the separator is skipped). Notes where
// the menu stood and its default item.
struct MenuChoice {
    static inline int downs = 0;
    static inline bool menuSeen = false;
    static inline RECT menuFrame{};
    static inline UINT defaultItem = 0;

    static void CALLBACK choose(HWND window, UINT, UINT_PTR id, DWORD) {
        KillTimer(window, id);
        HWND menu = FindWindowA("#32768", nullptr);
        menuSeen = menu != nullptr && IsWindowVisible(menu);
        GetWindowRect(menu, &menuFrame);
        defaultItem = GetMenuDefaultItem(
            reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0)), FALSE, 0);
        for (int i = 0; i < downs; ++i) {
            PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
        }
        PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
};

// The menu as the shell asks for it, by mouse or keyboard, at the anchor it gives.
void chooseFromTrayMenu(HWND window, int downs, POINT anchor = {300, 200}) {
    MenuChoice::downs = downs;
    MenuChoice::menuSeen = false;
    MenuChoice::defaultItem = 0;
    SetTimer(window, 2, 50, MenuChoice::choose);
    trayEvent(window, WM_CONTEXTMENU, anchor);
}

TEST_F(MonitorDialogTest, TrayMenuOpensDetailsAboutAndExits) {
    window_->show(SW_HIDE);
    // A user's right click comes long after the hide: its news from the window system (under
    // Wine the X server's, which the cursor query waits for) is handled before the menu opens.
    POINT cursor{};
    GetCursorPos(&cursor);
    app_.pump();
    chooseFromTrayMenu(window_->hwnd(), 1);
    EXPECT_TRUE(MenuChoice::menuSeen);
    app_.pump();
    EXPECT_TRUE(window_->visible());

    chooseFromTrayMenu(window_->hwnd(), 2);
    app_.pump();
    EXPECT_TRUE(window_->detailsWindow().visible());

    chooseFromTrayMenu(window_->hwnd(), 3);
    app_.pump();
    EXPECT_TRUE(window_->aboutBox().visible());

    chooseFromTrayMenu(window_->hwnd(), 4);
    EXPECT_FALSE(app_.pump()); // Exit ended the message loop
    EXPECT_TRUE(app_.tray().removed());
    EXPECT_FALSE(window_->visible());
    EXPECT_FALSE(window_->detailsWindow().visible());
    EXPECT_EQ(app_.idleMonitor.state(), WorkerThread::State::Finished);
}

// The shell's anchor, not the mouse pointer, places the menu: from the keyboard the pointer may
// be anywhere. "Open" is the bold default item.
TEST_F(MonitorDialogTest, TrayMenuOpensAtTheShellsAnchorWithOpenAsDefault) {
    SetCursorPos(20, 20);
    const POINT anchor{400, 300};
    chooseFromTrayMenu(window_->hwnd(), 0, anchor); // Enter on nothing closes it
    ASSERT_TRUE(MenuChoice::menuSeen);
    EXPECT_EQ(MenuChoice::defaultItem, static_cast<UINT>(ID_TRAY_OPEN));
    EXPECT_EQ(GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? MenuChoice::menuFrame.right
                                                          : MenuChoice::menuFrame.left,
              anchor.x);
    EXPECT_EQ(MenuChoice::menuFrame.top, anchor.y);
    // A right-button release in version 4 is followed by WM_CONTEXTMENU: no menu of its own.
    MenuChoice::menuSeen = false;
    SetTimer(window_->hwnd(), 2, 50, MenuChoice::choose);
    trayEvent(window_->hwnd(), WM_RBUTTONUP, anchor);
    app_.pump();
    EXPECT_FALSE(MenuChoice::menuSeen);
    KillTimer(window_->hwnd(), 2);
}

TEST(TrayMenu, TracksWithEitherButtonOnTheSideTheSystemNames) {
    EXPECT_EQ(CMonitorDialog::trayMenuFlags(0), static_cast<UINT>(TPM_RIGHTBUTTON | TPM_LEFTALIGN));
    EXPECT_EQ(CMonitorDialog::trayMenuFlags(1),
              static_cast<UINT>(TPM_RIGHTBUTTON | TPM_RIGHTALIGN));
}

TEST_F(MonitorDialogTest, AboutTwiceShowsOneBoxWithTheBuildSuffixOnce) {
    CAboutDialog& about = window_->aboutBox();
    const HWND box = about.hwnd();
    SendMessageA(window_->hwnd(), WM_COMMAND, ID_TRAY_ABOUT, 0);
    SendMessageA(about.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(about.visible());
    // The system menu item, with the low bits the system may set.
    SendMessageA(window_->hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
    EXPECT_TRUE(about.visible());
    EXPECT_EQ(about.hwnd(), box);
    EXPECT_EQ(DesktopTestApp::windowText(about.item(IDC_VERSION_TEXT)),
              "Kestrum Version 1.0 build 041013");
    EXPECT_EQ(DesktopTestApp::windowText(about.hwnd()), "About Kestrum");
    EXPECT_EQ(DesktopTestApp::windowText(about.item(IDC_LINK)), "tarnwick.example");

    // Escape and the close button hide it; the monitor window stays.
    SetFocus(about.item(IDOK));
    PostMessageA(about.item(IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
    app_.pump();
    EXPECT_FALSE(about.visible());
    SendMessageA(window_->hwnd(), WM_COMMAND, ID_TRAY_ABOUT, 0);
    SendMessageA(about.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(about.visible());
    EXPECT_TRUE(window_->visible());
}

} // namespace
} // namespace kestrum::test
