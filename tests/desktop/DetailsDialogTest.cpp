#include "shell/app/ConnectionDetails.h"
#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"
#include "tests/shell/ShellTestHost.h"
#include "tests/shell/SystemColour.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr int rowIds[] = {IDC_DETAILS_NAME,       IDC_DETAILS_MANUFACTURER, IDC_DETAILS_MODEL,
                          IDC_DETAILS_ACCESS,     IDC_DETAILS_CAPACITY,     IDC_DETAILS_SHARE,
                          IDC_DETAILS_CONNECTION, IDC_DETAILS_ADDRESS,      IDC_DETAILS_TOTALS};

ConnectionFacts dslFacts() {
    ConnectionFacts facts;
    facts.friendlyName = "Caf\xC3\xA9 \xE6\x97\xA5";
    facts.manufacturer = "AVM";
    facts.modelName = "FRITZ!Box 7590";
    facts.accessType = "DSL";
    facts.physicalLinkStatus = "Up";
    facts.hasCapacity = true;
    facts.downstreamBitRate = 100'000'000;
    facts.upstreamBitRate = 40'000'000;
    facts.connectionStatus = "Connected";
    facts.hasUptime = true;
    facts.uptimeSeconds = 3 * 86400 + 4 * 3600 + 5 * 60 + 6;
    facts.externalAddress = "203.0.113.7";
    return facts;
}

// A started application whose monitor window is on screen and has had its first update.
class DetailsDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.start());
        window_ = app_.monitorWindow();
        app_.pump();
    }

    void TearDown() override { app_.exitFromTray(); }

    CDetailsDialog& details() { return window_->detailsWindow(); }
    std::wstring row(int id) { return DesktopTestApp::wideWindowText(details().item(id)); }
    void openDetails() { SendMessageW(window_->hwnd(), WM_COMMAND, ID_TRAY_DETAILS, 0); }
    // Counters that move by these many bytes in the second since the last update.
    void update(std::uint32_t received, std::uint32_t sent) {
        app_.postUpdate("Gateway", received, sent);
    }

    DesktopTestApp app_;
    CMonitorDialog* window_ = nullptr;
};

TEST_F(DetailsDialogTest, RowsSayWhatTheGatewayToldAndUnknownForTheRest) {
    const struct {
        const char* name;
        ConnectionFacts facts;
        std::vector<std::wstring> rows;
    } cases[] = {
        {"nothing told",
         ConnectionFacts{},
         {L"unknown", L"unknown", L"unknown", L"unknown", L"unknown", L"unknown", L"unknown",
          L"unknown", L"1.00 MB received, 500 kB sent"}},
        {"a DSL line",
         dslFacts(),
         {L"Caf\u00E9 \u65E5", L"AVM", L"FRITZ!Box 7590", L"DSL, link Up",
          L"100.0 Mbit/s down, 40.0 Mbit/s up", L"8 % down, 10 % up", L"Connected, up 3 d 04:05:06",
          L"203.0.113.7", L"2.00 MB received, 1.00 MB sent"}},
    };
    std::uint32_t received = 0;
    std::uint32_t sent = 0;
    update(received, sent);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app_.snapshot.facts = c.facts;
        // 1 MB/s down, 500 kB/s up: 8 % and 10 % of the DSL line.
        received += 1'000'000;
        sent += 500'000;
        update(received, sent);
        openDetails();
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(row(rowIds[i]), c.rows[i]) << "row " << i;
        }
    }
}

// A capacity that the measured traffic exceeds, or a value that gateways report by default, is
// only what the gateway says: marked so, and no share is worked out from it.
TEST_F(DetailsDialogTest, AnIncredibleCapacityIsMarkedAndGivesNoShare) {
    const struct {
        const char* name;
        const char* accessType;
        std::uint32_t down, up;
        std::uint32_t receivedPerSecond; // rising: the highest rate seen only grows
        const wchar_t* capacity;
    } cases[] = {
        {"the daemons' default", "DSL", 4'200'000, 4'200'000, 1000,
         L"4.2 Mbit/s down, 4.2 Mbit/s up (as reported)"},
        {"the Ethernet port's speed", "Ethernet", 100'000'000, 100'000'000, 2000,
         L"100.0 Mbit/s down, 100.0 Mbit/s up (as reported)"},
        {"below the traffic seen", "DSL", 8'000'000, 1'000'000, 2'000'000,
         L"8.0 Mbit/s down, 1.0 Mbit/s up (as reported)"},
    };
    std::uint32_t received = 0;
    update(received, 0);
    openDetails();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app_.snapshot.facts = dslFacts();
        app_.snapshot.facts.accessType = c.accessType;
        app_.snapshot.facts.downstreamBitRate = c.down;
        app_.snapshot.facts.upstreamBitRate = c.up;
        received += c.receivedPerSecond;
        update(received, 0);
        EXPECT_EQ(row(IDC_DETAILS_CAPACITY), c.capacity);
        EXPECT_EQ(row(IDC_DETAILS_SHARE), L"unknown");
    }
}

// Closed, the window reads nothing; open, it follows every update; asked for again, the one
// window comes to the front where it is.
TEST_F(DetailsDialogTest, FollowsTheUpdatesOnlyWhileOpen) {
    update(0, 0);
    openDetails();
    const HWND first = details().hwnd();
    EXPECT_TRUE(details().visible());
    EXPECT_EQ(GetForegroundWindow(), first);
    EXPECT_EQ(GetFocus(), details().item(IDOK));
    EXPECT_EQ(row(IDC_DETAILS_ADDRESS), L"unknown");

    SendMessageW(first, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(details().visible());
    app_.snapshot.facts = dslFacts();
    update(1000, 0);
    EXPECT_EQ(row(IDC_DETAILS_ADDRESS), L"unknown");
    EXPECT_EQ(row(IDC_DETAILS_TOTALS), L"0 B received, 0 B sent");

    openDetails();
    EXPECT_EQ(row(IDC_DETAILS_ADDRESS), L"203.0.113.7");
    EXPECT_EQ(row(IDC_DETAILS_TOTALS), L"1.00 kB received, 0 B sent");
    update(3000, 500);
    EXPECT_EQ(row(IDC_DETAILS_TOTALS), L"3.00 kB received, 500 B sent");

    RECT where{};
    GetWindowRect(first, &where);
    SetForegroundWindow(window_->hwnd());
    openDetails();
    EXPECT_EQ(details().hwnd(), first);
    EXPECT_EQ(GetForegroundWindow(), first);
    RECT again{};
    GetWindowRect(first, &again);
    EXPECT_EQ(again.left, where.left);
    EXPECT_EQ(again.top, where.top);
}

// Every value can be reached with Tab, comes selected whole for copying, and cannot be changed;
// a selection survives updates that leave its row as it was. Escape closes the window.
TEST_F(DetailsDialogTest, ValuesAreSelectableReadOnlyAndReachedWithTab) {
    app_.snapshot.facts = dslFacts();
    update(0, 0);
    openDetails();
    for (int id : rowIds) {
        const LONG style = GetWindowLongW(details().item(id), GWL_STYLE);
        EXPECT_TRUE(style & ES_READONLY) << id;
        EXPECT_TRUE(style & WS_TABSTOP) << id;
        EXPECT_FALSE(style & WS_BORDER) << id;
    }
    const HWND name = details().item(IDC_DETAILS_NAME);
    SetFocus(name);
    SendMessageW(name, EM_SETSEL, 0, 4);
    update(1000, 1000); // the totals change, the name does not
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(name, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);

    SendMessageW(name, WM_CHAR, L'x', 1);
    EXPECT_EQ(row(IDC_DETAILS_NAME), L"Café 日");

    PostMessageW(name, WM_KEYDOWN, VK_TAB, 1);
    PostMessageW(name, WM_KEYUP, VK_TAB, 0xC0000001);
    app_.pump();
    const HWND model = details().item(IDC_DETAILS_MANUFACTURER);
    EXPECT_EQ(GetFocus(), model);
    SendMessageW(model, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u); // "AVM"

    PostMessageW(model, WM_KEYDOWN, VK_ESCAPE, 1);
    app_.pump();
    EXPECT_FALSE(details().visible());
    EXPECT_TRUE(window_->visible());
}

TEST_F(DetailsDialogTest, TheTrayMenuOffersTheDetailsBetweenOpenAndAbout) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    const UINT expected[] = {ID_TRAY_OPEN, ID_TRAY_DETAILS, ID_TRAY_ABOUT, 0, ID_TRAY_EXIT};
    ASSERT_EQ(GetMenuItemCount(popup), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(GetMenuItemID(popup, i), expected[i]) << i;
    }
    wchar_t text[64] = L"";
    GetMenuStringW(popup, ID_TRAY_DETAILS, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Connection details...");
    DestroyMenu(menu);
}

constexpr int normalDpi = 96;
constexpr int highDpi = 144;
// Whole-window pictures for a person to look at, beside the test program in the build tree, as
// the monitor window's.
constexpr const wchar_t* screenshots = L"dpi-screenshots";

// The details window open in this program's place on the shared display, with a DSL line's
// facts and some traffic.
class DetailsPictureTest : public DetailsDialogTest {
protected:
    void SetUp() override {
        DetailsDialogTest::SetUp();
        app_.snapshot.facts = dslFacts();
        // A name in the fonts of every prefix: the pictures are for people to look at.
        app_.snapshot.facts.friendlyName = "FRITZ!Box 7590";
        update(0, 0);
        update(1'234'567, 89'012);
        openDetails();
        RECT place{};
        GetWindowRect(host_.window(), &place);
        ShowWindow(host_.window(), SW_HIDE);
        SetWindowPos(details().hwnd(), HWND_TOPMOST, place.left, place.top, 0, 0,
                     SWP_NOSIZE | SWP_SHOWWINDOW);
        GetWindowRect(details().hwnd(), &frame_);
        app_.pump();
    }

    // As the system sends it: the new DPI and the window rectangle scaled from the first one.
    void changeDpi(int dpi) {
        RECT suggested = frame_;
        suggested.right = frame_.left + MulDiv(frame_.right - frame_.left, dpi, normalDpi);
        suggested.bottom = frame_.top + MulDiv(frame_.bottom - frame_.top, dpi, normalDpi);
        SendMessageW(details().hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        app_.pump();
    }

    // Pixels of the control's last capture that pass the test.
    int count(bool (*test)(COLORREF, COLORREF), COLORREF reference) const {
        int found = 0;
        for (int y = 0; y < host_.height(); ++y) {
            for (int x = 0; x < host_.width(); ++x) {
                found += test(host_.pixel(x, y), reference) ? 1 : 0;
            }
        }
        return found;
    }

    RECT rectOf(int id) {
        RECT rect{};
        GetWindowRect(details().item(id), &rect);
        MapWindowPoints(nullptr, details().hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    void saveScreenshot(const std::wstring& name) {
        CreateDirectoryW(screenshots, nullptr);
        host_.capture(details().hwnd());
        EXPECT_TRUE(host_.saveBitmap(std::wstring(screenshots) + L"/" + name + L".bmp"));
    }

    static bool same(COLORREF c, COLORREF reference) { return c == reference; }
    static bool differs(COLORREF c, COLORREF reference) { return c != reference; }

    ShellTestHost host_;
    RECT frame_{};
};

// Every row and label shows whole in the window's font, drawn in the system's colours on the
// dialog's face, at 96 and 144 DPI; back at 96 the layout is the first one again.
TEST_F(DetailsPictureTest, RowsShowWholeInSystemColoursAtEveryDpi) {
    std::vector<RECT> first;
    for (int id : rowIds) {
        first.push_back(rectOf(id));
    }
    for (const int dpi : {normalDpi, highDpi}) {
        SCOPED_TRACE(dpi);
        changeDpi(dpi);
        saveScreenshot(dpi == normalDpi ? L"details-96dpi" : L"details-144dpi");
        for (HWND child = GetWindow(details().hwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            RECT client{};
            GetClientRect(child, &client);
            const int width = DesktopTestApp::textWidth(child);
            EXPECT_GT(width, 0);
            EXPECT_LE(width, client.right) << DesktopTestApp::windowText(child);
        }
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        host_.capture(details().item(IDC_DETAILS_CAPACITY));
        const int ink = count(differs, face);
        // Text in the window text colour, smoothed or not, on the face colour.
        EXPECT_GT(ink, host_.height());
        EXPECT_GT(count(same, face), ink);
        EXPECT_GT(count(same, GetSysColor(COLOR_WINDOWTEXT)), 0);
    }
    const RECT name96 = first[0];
    const RECT name144 = rectOf(IDC_DETAILS_NAME);
    EXPECT_GE((name144.right - name144.left) * 100, (name96.right - name96.left) * 140);
    EXPECT_LE((name144.right - name144.left) * 100, (name96.right - name96.left) * 160);
    EXPECT_GE((name144.bottom - name144.top) * 100, (name96.bottom - name96.top) * 130);

    changeDpi(normalDpi);
    for (std::size_t i = 0; i < first.size(); ++i) {
        const RECT now = rectOf(rowIds[i]);
        EXPECT_TRUE(EqualRect(&now, &first[i])) << "row " << i;
    }
}

// A new face colour reaches the rows at once: they paint on the dialog's face, not on white.
TEST_F(DetailsPictureTest, RowsFollowTheSystemColours) {
    const COLORREF magenta = RGB(255, 0, 255);
    {
        const SystemColour face(COLOR_BTNFACE, magenta);
        app_.pump();
        InvalidateRect(details().hwnd(), nullptr, TRUE);
        host_.capture(details().item(IDC_DETAILS_TOTALS));
        EXPECT_GT(count(same, magenta), host_.width() * host_.height() / 2);
    }
    app_.pump();
    InvalidateRect(details().hwnd(), nullptr, TRUE);
    host_.capture(details().item(IDC_DETAILS_TOTALS));
    EXPECT_EQ(count(same, magenta), 0);
}

} // namespace
} // namespace kestrum::test
