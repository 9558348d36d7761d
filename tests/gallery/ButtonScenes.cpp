#include "shell/controls/StyledButton.h"
#include "tests/gallery/GalleryScene.h"
#include "tests/shell/Picture.h"

namespace kestrum {

namespace {

// The apply button's size at 96 dots per inch, and a glyph like its bitmap.
constexpr int width = 24;
constexpr int height = 23;
// clang-format off
constexpr const char* tick[] = {
    "..............",
    "..............",
    "...........dd.",
    "..........dgd.",
    ".........dgd..",
    "........dgd...",
    ".dd....dgd....",
    ".dgd..dgd.....",
    "..dgddgd......",
    "...dggd.......",
    "....dd........",
    "..............",
    "..............",
    "..............",
    "..............",
};
// clang-format on
constexpr test::Ink tickInks[] = {{'g', RGB(0, 160, 0)}, {'d', RGB(0, 80, 0)}};

std::unique_ptr<CSubclassedWindow> button(HWND window) {
    auto control = std::make_unique<CStyledButton>();
    control->subclassWindow(window);
    control->makeTexture(CStyledButton::shadedTexture, 0, 30, 40, GetSysColor(COLOR_BTNFACE));
    control->setBitmaps(test::createPicture(tick, tickInks), RGB(255, 255, 255),
                        CStyledButton::darkerCopy(), RGB(255, 255, 255));
    control->setTooltipStyleBalloon();
    control->setTooltipText("Set the graph scale and refresh rate", true);
    return control;
}

// The pointer really moves there, so that the system's leave tracking agrees.
void pointAtCentre(HWND window) {
    POINT centre{width / 2, height / 2};
    ClientToScreen(window, &centre);
    SetCursorPos(centre.x, centre.y);
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(width / 2, height / 2));
}

constexpr Scene scenes[] = {
    {"button-normal", L"BUTTON", BS_DEFPUSHBUTTON, width, height, button},
    {"button-hover", L"BUTTON", BS_DEFPUSHBUTTON, width, height,
     [](HWND window) {
         auto control = button(window);
         pointAtCentre(window);
         return control;
     }},
    {"button-pressed", L"BUTTON", BS_DEFPUSHBUTTON, width, height,
     [](HWND window) {
         auto control = button(window);
         pointAtCentre(window);
         SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(width / 2, height / 2));
         return control;
     }},
};

} // namespace

std::span<const Scene> buttonScenes() {
    return scenes;
}

} // namespace kestrum
