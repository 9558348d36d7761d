#include "shell/controls/SegmentDisplay.h"
#include "tests/gallery/GalleryScene.h"

namespace kestrum {

namespace {

constexpr int width = 83; // the monitor window's readout at 96 dots per inch
constexpr int height = 39;

std::unique_ptr<CSubclassedWindow> readout(HWND window, bool green, int digits, int value) {
    auto display = std::make_unique<CSegmentDisplay>();
    display->subclassWindow(window);
    if (green) {
        display->useGreenScheme();
    } else {
        display->useRedScheme();
    }
    display->setDigitCount(digits);
    display->setValue(value);
    return display;
}

constexpr Scene scenes[] = {
    {"readout-zero", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, true, 4, 0); }},
    {"readout-42", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, true, 4, 42); }},
    {"readout-12345-on-4-digits", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, false, 4, 12345); }},
    {"readout-minus-7", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, false, 4, -7); }},
    {"readout-minus-fills-every-position", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, false, 4, -1234); }},
    {"readout-thin-height-20", L"STATIC", 0, width, 20,
     [](HWND window) { return readout(window, true, 4, 8090); }},
    {"readout-six-digits", L"STATIC", 0, 160, height,
     [](HWND window) { return readout(window, false, 6, 1234567); }},
    {"readout-no-digits", L"STATIC", 0, width, height,
     [](HWND window) { return readout(window, true, 0, 42); }},
};

} // namespace

std::span<const Scene> readoutScenes() {
    return scenes;
}

} // namespace kestrum
