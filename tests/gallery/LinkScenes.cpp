#include "shell/controls/HyperLink.h"
#include "tests/gallery/GalleryScene.h"
#include "tests/shell/FakeLinkOpener.h"

namespace kestrum {

namespace {

constexpr int width = 200;
constexpr int height = 16;

// Opening succeeds without opening anything.
test::FakeLinkOpener opener;

std::unique_ptr<CHyperLink> link(HWND window, unsigned style) {
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    auto control = std::make_unique<CHyperLink>();
    control->setStyle(style);
    control->setOpener(opener);
    // Set first, the address also becomes the empty control's text.
    control->setAddress("https://kestrum.example/");
    control->subclassWindow(window);
    return control;
}

constexpr Scene scenes[] = {
    {"link-unvisited", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         return link(window, CHyperLink::defaultStyle);
     }},
    {"link-visited", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto control = link(window, CHyperLink::defaultStyle);
         control->openLink();
         return control;
     }},
    {"link-focused", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto control = link(window, CHyperLink::defaultStyle);
         SetFocus(window);
         return control;
     }},
    // With the default style a link keeps its colour under the pointer; this one shows it.
    {"link-hover", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto control = link(window, CHyperLink::defaultStyle | CHyperLink::hoverColourStyle);
         SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
         return control;
     }},
};

} // namespace

std::span<const Scene> linkScenes() {
    return scenes;
}

} // namespace kestrum
