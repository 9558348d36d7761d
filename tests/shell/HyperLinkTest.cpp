#include "shell/controls/HyperLink.h"

#include "tests/shell/FakeLinkOpener.h"
#include "tests/shell/RepaintLeakCheck.h"
#include "tests/shell/ShellTestHost.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr const char* address = "http://kestrum.example/";
constexpr const char* commandKey = "htmlfile\\shell\\open\\command";

struct Fallback {
    const char* name;
    std::intptr_t shellResult;
    const char* pageClass;  // the ".htm" class, null when missing
    const char* registered; // its open command, null when missing
    const char* runs;       // what the command line holds before the address, null for none
};

TEST(LinkOpener, shellFirstThenTheRegisteredBrowser) {
    const Fallback cases[] = {
        {"the shell opens it", 42, "htmlfile", "b.exe %1", nullptr},
        {"quoted placeholder", 31, "htmlfile", "\"C:\\b.exe\" \"%1\"", "\"C:\\b.exe\"  "},
        {"bare placeholder", 31, "htmlfile", "b.exe -new %1 -x", "b.exe -new  "},
        {"quoted placeholder first", 31, "htmlfile", "b.exe %1 \"%1\"", "b.exe %1  "},
        {"no placeholder", 2, "htmlfile", "b.exe", "b.exe "},
        {"no .htm class", 31, nullptr, "b.exe %1", nullptr},
        {"empty .htm class", 31, "", "b.exe %1", nullptr},
        {"no open command", 27, "htmlfile", nullptr, nullptr},
        {"empty open command", 27, "htmlfile", "", nullptr},
    };
    for (const Fallback& fallback : cases) {
        SCOPED_TRACE(fallback.name);
        FakeLinkOpener opener;
        opener.shellResult = fallback.shellResult;
        const std::string pageClass = fallback.pageClass != nullptr ? fallback.pageClass : "";
        if (fallback.pageClass != nullptr) {
            opener.classes[".htm"] = pageClass;
        }
        if (fallback.registered != nullptr) {
            opener.classes[pageClass + "\\shell\\open\\command"] = fallback.registered;
        }
        EXPECT_EQ(launchAddress(opener, address, SW_SHOW),
                  fallback.runs != nullptr ? opener.commandResult : fallback.shellResult);
        EXPECT_EQ(opener.shellOpened, std::vector<std::string>{address});
        EXPECT_EQ(opener.commands,
                  fallback.runs == nullptr
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{fallback.runs + std::string(address)});
    }
    // No fixed buffer: a command of any length comes out whole.
    const std::string program = "\"C:\\" + std::string(600, 'p') + ".exe\"";
    EXPECT_EQ(browserCommand(program + " \"%1\"", address), program + "  " + address);
}

TEST(LinkOpener, failureTexts) {
    const std::pair<std::intptr_t, const char*> texts[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {26, "A sharing violation occurred. "},
        {32, "The specified dynamic-link library was not found."},
        {33, "Unknown Error (33) occurred."},
        {-1, "Unknown Error (-1) occurred."},
    };
    for (const auto& [code, text] : texts) {
        EXPECT_EQ(openFailureText(code), std::string("Can't open link:\n\n") + text);
    }
}

class HyperLinkTest : public testing::Test {
public:
    // A static control with the dialog font, so that the link underlines and fits its text.
    HWND createStatic(DWORD alignment) {
        HWND window = host.createControl(200, 20, L"STATIC", alignment, L"Kestrum home page");
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
        return window;
    }

    HWND createLink(CHyperLink& link, unsigned style) {
        HWND window = createStatic(SS_LEFT);
        link.setStyle(style);
        link.setOpener(opener);
        EXPECT_TRUE(link.subclassWindow(window));
        link.setAddress(address);
        return window;
    }

    int count(COLORREF colour) const {
        int found = 0;
        for (int y = 0; y < host.height(); ++y) {
            for (int x = 0; x < host.width(); ++x) {
                found += host.pixel(x, y) == colour ? 1 : 0;
            }
        }
        return found;
    }

    ShellTestHost host;
    FakeLinkOpener opener;
};

void click(HWND link) {
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

struct State {
    const char* name;
    unsigned style;
    std::intptr_t shellResult;
    void (*enter)(HWND link, HWND host);
    std::size_t opens;
    bool captured;
    COLORREF colour;
};

TEST_F(HyperLinkTest, coloursAndOpeningInEachState) {
    constexpr unsigned plain = CHyperLink::defaultStyle;
    constexpr unsigned hoverColour = plain | CHyperLink::hoverColourStyle;
    const State states[] = {
        {"unvisited", plain, 42, [](HWND, HWND) {}, 0, false, CHyperLink::unvisitedColour},
        {"focused", plain, 42, [](HWND link, HWND) { SetFocus(link); }, 0, false,
         CHyperLink::focusedColour},
        {"clicked keeps the focus", plain, 42, [](HWND link, HWND) { click(link); }, 1, false,
         CHyperLink::focusedColour},
        {"visited", plain, 42,
         [](HWND link, HWND parent) {
             click(link);
             SetFocus(parent);
         },
         1, false, CHyperLink::visitedColour},
        {"open fails", plain, 2,
         [](HWND link, HWND parent) {
             click(link);
             SetFocus(parent);
         },
         1, false, CHyperLink::unvisitedColour},
        {"released without a press", plain, 42,
         [](HWND link, HWND) { SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2)); }, 0, false,
         CHyperLink::unvisitedColour},
        {"released with the focus", plain, 42,
         [](HWND link, HWND) {
             SetFocus(link);
             SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
         },
         1, false, CHyperLink::focusedColour},
        {"space bar", plain, 42,
         [](HWND link, HWND) {
             SetFocus(link);
             SendMessageW(link, WM_KEYDOWN, VK_SPACE, 0);
         },
         1, false, CHyperLink::focusedColour},
        {"hover, default style", plain, 42,
         [](HWND link, HWND) { SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2)); }, 0, true,
         CHyperLink::unvisitedColour},
        {"hover", hoverColour, 42,
         [](HWND link, HWND) { SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2)); }, 0, true,
         CHyperLink::hoverColour},
        {"moved off", hoverColour, 42,
         [](HWND link, HWND) {
             SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
             SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(-3, 2));
         },
         0, false, CHyperLink::unvisitedColour},
    };
    const COLORREF colours[] = {CHyperLink::unvisitedColour, CHyperLink::visitedColour,
                                CHyperLink::focusedColour, CHyperLink::hoverColour};
    for (const State& state : states) {
        SCOPED_TRACE(state.name);
        std::unique_ptr<CHyperLink> link;
        HWND window = nullptr;
        // Another test program may take the activation and with it the focus; the state is
        // then entered again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (window != nullptr) {
                DestroyWindow(window);
            }
            link = std::make_unique<CHyperLink>();
            opener = FakeLinkOpener{};
            opener.shellResult = state.shellResult;
            window = createLink(*link, state.style);
            state.enter(window, host.window());
            host.capture(window);
            if (state.colour != CHyperLink::focusedColour || GetFocus() == window) {
                break;
            }
        }
        EXPECT_EQ(opener.shellOpened.size(), state.opens);
        EXPECT_EQ(GetCapture() == window, state.captured);
        EXPECT_EQ(opener.failures.size(), state.shellResult <= 32 ? state.opens : 0u);
        for (COLORREF colour : colours) {
            EXPECT_EQ(count(colour) > 0, colour == state.colour) << std::hex << colour;
        }
        // Fitted to its text, the underline runs across the whole control.
        int longestRow = 0;
        for (int y = 0; y < host.height(); ++y) {
            int row = 0;
            for (int x = 0; x < host.width(); ++x) {
                row += host.pixel(x, y) == state.colour ? 1 : 0;
            }
            longestRow = std::max(longestRow, row);
        }
        EXPECT_EQ(longestRow, host.width());
        ReleaseCapture();
        DestroyWindow(window);
    }
}

TEST(HyperLinkColours, highContrastUsesTheSystemLinkColourInEveryState) {
    constexpr unsigned plain = CHyperLink::defaultStyle;
    constexpr unsigned hover = plain | CHyperLink::hoverColourStyle;
    constexpr unsigned noFocus = plain | CHyperLink::noFocusColourStyle;
    const struct {
        bool over, pressed, visited;
        unsigned style;
        COLORREF colour;
    } cases[] = {
        {false, false, false, plain, CHyperLink::unvisitedColour},
        {false, false, true, plain, CHyperLink::visitedColour},
        {false, true, true, plain, CHyperLink::focusedColour},
        {false, true, true, noFocus, CHyperLink::visitedColour},
        {true, false, false, plain, CHyperLink::unvisitedColour},
        {true, true, true, hover, CHyperLink::hoverColour},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CHyperLink::colourFor(c.over, c.pressed, c.visited, c.style, false), c.colour);
        EXPECT_EQ(CHyperLink::colourFor(c.over, c.pressed, c.visited, c.style, true),
                  GetSysColor(COLOR_HOTLIGHT));
    }
}

// Each repaint covers the last one: smoothed text drawn again over itself would thicken its
// edges, and a hover colour would leave its fringe.
TEST_F(HyperLinkTest, hoveringTenTimesLeavesTheFirstPicture) {
    // Smoothed as ClearType smooths the dialog font on Windows; Wine smooths only larger sizes.
    HFONT smooth = CreateFontW(-20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                               ANTIALIASED_QUALITY, 0, L"Tahoma");
    ASSERT_NE(smooth, nullptr);
    for (const unsigned style :
         {CHyperLink::defaultStyle, CHyperLink::defaultStyle | CHyperLink::hoverColourStyle}) {
        SCOPED_TRACE(style);
        HWND window = host.createControl(250, 30, L"STATIC", SS_LEFT, L"Kestrum home page");
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(smooth), FALSE);
        CHyperLink link;
        link.setStyle(style);
        link.setOpener(opener);
        ASSERT_TRUE(link.subclassWindow(window));
        const auto picture = [&] {
            host.capture(window);
            std::vector<COLORREF> pixels;
            for (int y = 0; y < host.height(); ++y) {
                for (int x = 0; x < host.width(); ++x) {
                    pixels.push_back(host.pixel(x, y));
                }
            }
            return pixels;
        };
        const std::vector<COLORREF> first = picture();
        ASSERT_GT(count(CHyperLink::unvisitedColour), 0);
        for (int i = 0; i < 10; ++i) {
            SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
            host.pumpMessages();
            SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(-3, 2));
            host.pumpMessages();
        }
        const std::vector<COLORREF> last = picture();
        ASSERT_EQ(last.size(), first.size());
        int changed = 0;
        for (std::size_t i = 0; i < first.size(); ++i) {
            changed += last[i] != first[i] ? 1 : 0;
        }
        EXPECT_EQ(changed, 0);
        DestroyWindow(window);
    }
    DeleteObject(smooth);
}

TEST_F(HyperLinkTest, failureMessageAndHandCursor) {
    CHyperLink link;
    opener.shellResult = 2;
    opener.classes = {{".htm", "htmlfile"}, {commandKey, "\"C:\\Web\\browser.exe\" \"%1\""}};
    opener.commandResult = 5;
    HWND window = createLink(link, CHyperLink::defaultStyle);
    click(window);
    ASSERT_EQ(opener.failures.size(), 1u);
    EXPECT_EQ(opener.failures[0],
              "Can't open link:\n\nThe operating system denied\naccess to the specified file.");
    EXPECT_EQ(opener.commands.size(), 1u);

    SetCursor(nullptr);
    EXPECT_EQ(SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_NE(GetCursor(), nullptr);
    EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, 0), HTCLIENT);
}

RECT rectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(HyperLinkTest, fitsItsTextKeepingTheAlignedEdge) {
    for (const DWORD alignment : {DWORD{SS_LEFT}, DWORD{SS_CENTER}, DWORD{SS_RIGHT}}) {
        HWND window = createStatic(alignment);
        const RECT before = rectInParent(window);
        CHyperLink link;
        link.setOpener(opener);
        ASSERT_TRUE(link.subclassWindow(window));
        const RECT after = rectInParent(window);
        EXPECT_GT(after.right - after.left, 0);
        EXPECT_LT(after.right - after.left, before.right - before.left);
        const LONG leftMoved = after.left - before.left;
        const LONG rightMoved = before.right - after.right;
        EXPECT_EQ(alignment == SS_LEFT    ? leftMoved
                  : alignment == SS_RIGHT ? rightMoved
                                          : leftMoved - rightMoved,
                  0)
            << alignment;
        DestroyWindow(window);
    }
}

TEST_F(HyperLinkTest, paintingLeavesNoGdiObjectsBehind) {
    CHyperLink link;
    HWND window = createLink(link, CHyperLink::defaultStyle | CHyperLink::hoverColourStyle);
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    expectRepaintingKeepsGdiObjects(window);
    ReleaseCapture();
}

} // namespace
} // namespace kestrum::test
