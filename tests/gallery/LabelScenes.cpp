#include "shell/controls/TextLabel.h"
#include "tests/gallery/GalleryScene.h"

namespace kestrum {

namespace {

constexpr int width = 240;
constexpr int height = 16;

std::unique_ptr<CSubclassedWindow> label(HWND window, const char* text) {
    auto control = std::make_unique<CTextLabel>();
    control->subclassWindow(window);
    if (text != nullptr) {
        control->setText(text);
    }
    return control;
}

constexpr Scene scenes[] = {
    {"label-template-text", L"STATIC", 0, width, height,
     [](HWND window) {
         SetWindowTextW(window, L"Status");
         return label(window, nullptr);
     }},
    {"label-caption", L"STATIC", 0, width, height,
     [](HWND window) { return label(window, "Graph scale (KB/s) / Refresh rate (ms)"); }},
    {"label-shorter-after-longer", L"STATIC", 0, width, height,
     [](HWND window) {
         auto control = label(window, "Looking for an UPnP gateway...");
         static_cast<CTextLabel&>(*control).setText("Router");
         return control;
     }},
    {"label-any-script", L"STATIC", 0, width, height,
     [](HWND window) { return label(window, "Маршрутизатор · Ελληνικά · ルーター · 路由器"); }},
    {"label-tall-centred", L"STATIC", 0, width, 40,
     [](HWND window) { return label(window, "Received KB/s"); }},
};

} // namespace

std::span<const Scene> labelScenes() {
    return scenes;
}

} // namespace kestrum
