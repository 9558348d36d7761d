#include "shell/controls/StyledButton.h"

#include "tests/shell/Picture.h"
#include "tests/shell/RepaintLeakCheck.h"
#include "tests/shell/ShellTestHost.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

constexpr int (*noNoise)() = [] { return 0; };
constexpr int (*fullNoise)() = [] { return 0x7FFF; };

struct Shade {
    int x;
    int row; // counted from the bottom
    int index;
};

int indexAt(const std::vector<std::uint8_t>& indices, int width, int x, int row) {
    return indices[static_cast<std::size_t>(row * textureRowStride(width) + x)];
}

TEST(ButtonTexture, paletteRunsFromShadowOverFaceToHighlight) {
    const TexturePalette palette =
        shadePalette({RGB(128, 128, 128), RGB(0, 0, 0), RGB(255, 255, 255)});
    const std::pair<int, COLORREF> entries[] = {
        {0, RGB(128, 128, 128)},   {64, RGB(64, 64, 64)},
        {127, RGB(1, 1, 1)},       {128, RGB(1, 1, 1)}, // the second run rewrites the face entry
        {192, RGB(129, 129, 129)}, {255, RGB(255, 255, 255)},
    };
    for (const auto& [entry, colour] : entries) {
        EXPECT_EQ(palette[static_cast<std::size_t>(entry)], colour) << "entry " << entry;
    }
    EXPECT_EQ(blendColour(RGB(200, 100, 0), RGB(0, 0, 255), 40), RGB(120, 60, 102));
    EXPECT_EQ(blendColour(RGB(200, 100, 0), RGB(0, 0, 255), 150), RGB(0, 0, 255));
    EXPECT_EQ(blendColour(RGB(200, 100, 0), RGB(0, 0, 255), -5), RGB(200, 100, 0));
}

TEST(ButtonTexture, shadingIsDarkBelowBrightAboveWithRoundedEdges) {
    // 48 x 20: edge bands 8 wide at mid-height (row 10), narrower toward top and bottom.
    const std::vector<std::uint8_t> quiet = shadeIndices(48, 20, 0, noNoise);
    const Shade shades[] = {
        {24, 0, 3},   {24, 19, 220}, {24, 10, 128}, {24, 5, 112},  {24, 15, 144}, {0, 10, 255},
        {7, 10, 143}, {8, 10, 128},  {47, 10, 16},  {41, 10, 112}, {40, 10, 128}, {5, 5, 175},
        {6, 5, 112},  {43, 5, 80},   {42, 5, 112},  {0, 0, 3},     {0, 19, 255},  {2, 19, 220},
    };
    for (const Shade& shade : shades) {
        EXPECT_EQ(indexAt(quiet, 48, shade.x, shade.row), shade.index)
            << "x " << shade.x << " row " << shade.row;
    }
    // Noise is added twice per pixel and the index saturates instead of wrapping to black.
    const std::vector<std::uint8_t> noisy = shadeIndices(48, 20, 0, fullNoise);
    EXPECT_EQ(indexAt(noisy, 48, 24, 10), 130);
    EXPECT_EQ(indexAt(noisy, 48, 0, 10), 255);
    EXPECT_EQ(indexAt(noisy, 48, 47, 10), 17);

    // The smallest size with rounded edges; below it the face is plain.
    const std::vector<std::uint8_t> smallest = shadeIndices(6, 2, 0, noNoise);
    EXPECT_EQ(indexAt(smallest, 6, 0, 0), 3);
    EXPECT_EQ(indexAt(smallest, 6, 0, 1), 255);
    EXPECT_EQ(shadeIndices(5, 2, 0, noNoise), std::vector<std::uint8_t>(16, 128));
    EXPECT_EQ(shadeIndices(6, 1, 0, noNoise), std::vector<std::uint8_t>(8, 128));
}

// A button that counts the clicks its parent receives.
class CountingButton : public CStyledButton {
public:
    int clicks = 0;

protected:
    bool onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
        }
        return CStyledButton::onReflected(message, wParam, lParam, result);
    }
};

constexpr COLORREF noFrame = CLR_INVALID;
constexpr int buttonWidth = 48;
constexpr int buttonHeight = 20;
constexpr COLORREF ink = RGB(200, 40, 80);
constexpr const char* glyph[] = {"rrrrrr", "r....r", "r....r", "rrrrrr"};
constexpr Ink glyphInks[] = {{'r', ink}};

class StyledButtonTest : public testing::Test {
public:
    void SetUp() override {
        const ShadeColours system = ShadeColours::system();
        normal = shadePalette(system);
        for (COLORREF& colour : normal) {
            colour = blendColour(colour, system.face, 40);
        }
        hover = normal;
        for (COLORREF& colour : hover) {
            colour = blendColour(colour, system.highlight, 30);
        }
        createButton();
    }

    // A fresh button as the monitor window sets it up, in place of the one before.
    void createButton() {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        button = std::make_unique<CountingButton>();
        window = host.createControl(buttonWidth, buttonHeight, L"BUTTON", BS_DEFPUSHBUTTON);
        ASSERT_TRUE(button->subclassWindow(window));
        // Test programs run side by side, and another one may be the active application.
        button->setTrackWhileInactive(true);
        ASSERT_TRUE(button->makeTexture(CStyledButton::shadedTexture, 0, 30, 40,
                                        GetSysColor(COLOR_BTNFACE)));
        ASSERT_EQ(button->setBitmaps(createPicture(glyph, glyphInks), RGB(255, 255, 255),
                                     CStyledButton::darkerCopy(), RGB(255, 255, 255)),
                  0);
    }

    // Moves the real pointer too, so that the system's own leave tracking agrees.
    void movePointer(int x, int y, WPARAM keys = 0) {
        POINT screen{x, y};
        ClientToScreen(window, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageW(window, WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
    }

    void press() {
        movePointer(24, 10);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(24, 10));
    }

    // The noise may raise an index by up to 2.
    void expectShade(const TexturePalette& palette, int x, int y, int index) const {
        const COLORREF seen = host.pixel(x, y);
        bool found = false;
        for (int noise = 0; noise <= 2 && index + noise < 256; ++noise) {
            found = found || seen == palette[static_cast<std::size_t>(index + noise)];
        }
        EXPECT_TRUE(found) << "(" << x << ", " << y << ") shows " << std::hex << seen
                           << ", palette index " << std::dec << index << " expected";
    }

    ShellTestHost host;
    HWND window = nullptr;
    std::unique_ptr<CountingButton> button;
    TexturePalette normal{};
    TexturePalette hover{};
};

struct Look {
    const char* name;
    void (*enter)(StyledButtonTest& test);
    bool hovered;
    int shift;             // the hover texture and the bitmap move while pressed
    COLORREF frame[2];     // top-left and bottom-right, or noFrame for no frame
    COLORREF bitmapColour; // the hover image or its darker copy
};

TEST_F(StyledButtonTest, normalHoverAndPressedLooks) {
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    // Each look starts from a fresh button.
    const Look looks[] = {
        {"normal", [](StyledButtonTest&) {}, false, 0, {noFrame, noFrame}, darkerColour(ink)},
        {"hover",
         [](StyledButtonTest& t) { t.movePointer(24, 10); },
         true,
         0,
         {light, shadow},
         ink},
        {"pressed", [](StyledButtonTest& t) { t.press(); }, true, 1, {shadow, light}, ink},
        {"left while held",
         [](StyledButtonTest& t) {
             t.press();
             t.movePointer(-30, -5, MK_LBUTTON);
         },
         false,
         0,
         {noFrame, noFrame},
         darkerColour(ink)},
        {"released outside",
         [](StyledButtonTest& t) {
             t.press();
             t.movePointer(-30, -5, MK_LBUTTON);
             SendMessageW(t.window, WM_LBUTTONUP, 0, MAKELPARAM(-30, -5));
         },
         false,
         0,
         {noFrame, noFrame},
         darkerColour(ink)},
        {"pressed by the space bar",
         [](StyledButtonTest& t) { SendMessageW(t.window, WM_KEYDOWN, VK_SPACE, 0); },
         false,
         1,
         {shadow, light},
         ink},
    };
    // Palette indices of the texture clear of the frame and the bitmap: mid-height, near the
    // top and bottom, and in both edge bands.
    const Shade shades[] = {{12, 9, 128}, {24, 1, 192}, {24, 17, 64},
                            {1, 9, 239},  {45, 9, 48},  {5, 14, 175}};
    for (const Look& look : looks) {
        SCOPED_TRACE(look.name);
        // Another test program may take the activation, which releases a pressed button; the
        // look is then shown again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            createButton();
            look.enter(*this);
            host.capture(window);
            if (look.shift == 0 || (SendMessageW(window, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0) {
                break;
            }
        }
        const TexturePalette& palette = look.hovered ? hover : normal;
        const int shift = look.hovered ? look.shift : 0;
        for (const Shade& shade : shades) {
            expectShade(palette, shade.x + shift, shade.row + shift, shade.index);
        }
        if (look.frame[0] == noFrame) {
            expectShade(palette, 0, 0, 255);
            expectShade(palette, buttonWidth - 1, buttonHeight - 1, 3);
        } else {
            EXPECT_EQ(host.pixel(0, 0), look.frame[0]);
            EXPECT_EQ(host.pixel(buttonWidth - 2, 0), look.frame[0]);
            EXPECT_EQ(host.pixel(0, buttonHeight - 2), look.frame[0]);
            EXPECT_EQ(host.pixel(buttonWidth - 1, 0), look.frame[1]);
            EXPECT_EQ(host.pixel(0, buttonHeight - 1), look.frame[1]);
            EXPECT_EQ(host.pixel(buttonWidth - 1, buttonHeight - 1), look.frame[1]);
        }
        // The 6 x 4 bitmap is centred at (21, 8); its white inside is transparent.
        const int left = 21 + look.shift;
        const int top = 8 + look.shift;
        EXPECT_EQ(host.pixel(left, top), look.bitmapColour);
        EXPECT_EQ(host.pixel(left + 5, top + 3), look.bitmapColour);
        expectShade(palette, left + 2, top + 1, 128);
        EXPECT_NE(host.pixel(left - 1, top), look.bitmapColour);
    }
}

TEST_F(StyledButtonTest, textureFollowsTheSizeAndSmallSizesArePlain) {
    SetWindowPos(window, nullptr, 0, 0, 60, 24, SWP_NOMOVE | SWP_NOZORDER);
    host.capture(window);
    // 60 x 24: edge bands 10 wide at mid-height (y 11).
    expectShade(normal, 1, 11, 243);
    expectShade(normal, 58, 11, 25);
    expectShade(normal, 30, 23, 3);

    SetWindowPos(window, nullptr, 0, 0, 5, 10, SWP_NOMOVE | SWP_NOZORDER);
    host.capture(window);
    expectShade(normal, 2, 0, 128);
    expectShade(normal, 2, 9, 128);
}

TEST_F(StyledButtonTest, defaultButtonClicksAndBitmapFailures) {
    EXPECT_EQ(SendMessageW(window, WM_GETDLGCODE, 0, 0) &
                  (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON),
              DLGC_DEFPUSHBUTTON);
    SendMessageW(window, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_EQ(SendMessageW(window, WM_GETDLGCODE, 0, 0) &
                  (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON),
              DLGC_UNDEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & 0x1F, BS_OWNERDRAW);

    // A double click is two clicks.
    const UINT messages[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    for (UINT message : messages) {
        SendMessageW(window, message, message == WM_LBUTTONUP ? 0u : WPARAM{MK_LBUTTON},
                     MAKELPARAM(5, 5));
    }
    host.pumpMessages();
    EXPECT_EQ(button->clicks, 2);

    // Not a bitmap: its size cannot be read, and the button paints without bitmaps.
    EXPECT_EQ(button->setBitmaps(reinterpret_cast<HBITMAP>(CreatePen(PS_SOLID, 1, 0)), 0,
                                 CStyledButton::darkerCopy(), 0),
              1);
    EXPECT_EQ(button->setBitmaps(nullptr, 0, nullptr, 0), 0);
    host.capture(window);
    expectShade(normal, 21, 8, 128);
}

TEST_F(StyledButtonTest, paintingLeavesNoGdiObjectsBehind) {
    press();
    expectRepaintingKeepsGdiObjects(window);
}

} // namespace
} // namespace kestrum::test
