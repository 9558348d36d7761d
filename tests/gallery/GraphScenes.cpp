#include "shell/controls/TrafficGraph.h"
#include "tests/gallery/GalleryScene.h"

#include <cmath>
#include <vector>

namespace kestrum {

namespace {

constexpr int width = 132; // the monitor window's graph at 96 dots per inch
constexpr int height = 65;

std::unique_ptr<CTrafficGraph> attach(HWND window) {
    auto graph = std::make_unique<CTrafficGraph>();
    graph->subclassWindow(window);
    return graph;
}

// A rate that rises and falls over the history, as the window would hand it over: W + 1 values.
void feedWave(CTrafficGraph& graph, HWND window, int scale) {
    RECT client{};
    GetClientRect(window, &client);
    std::vector<int> history(static_cast<std::size_t>(client.right) + 1);
    for (std::size_t i = 0; i < history.size(); ++i) {
        const double phase = static_cast<double>(i) / 9.0;
        history[i] = static_cast<int>(scale * (0.5 + 0.4 * std::sin(phase)));
    }
    graph.setSamples(history.data(), static_cast<int>(history.size()), true);
}

// The monitor window's set-up: black, framed, sunken.
std::unique_ptr<CTrafficGraph> monitorGraph(HWND window, COLORREF line) {
    auto graph = attach(window);
    graph->setRange(0, 30);
    graph->setLineColour(line);
    graph->setBackgroundColour(RGB(0, 0, 0));
    graph->fill(0, true);
    graph->setBorder(true);
    graph->redraw();
    graph->setSunken(true);
    graph->redraw();
    return graph;
}

constexpr Scene scenes[] = {
    {"graph-default", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto graph = attach(window);
         feedWave(*graph, window, 100);
         return graph;
     }},
    {"graph-received-sunken", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto graph = monitorGraph(window, RGB(50, 255, 50));
         feedWave(*graph, window, 30);
         return graph;
     }},
    {"graph-sent-raised", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto graph = monitorGraph(window, RGB(255, 50, 50));
         graph->setSunken(false);
         feedWave(*graph, window, 30);
         return graph;
     }},
    {"graph-idle-filled-zero", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         return monitorGraph(window, RGB(50, 255, 50));
     }},
    {"graph-range-zero", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto graph = monitorGraph(window, RGB(50, 255, 50));
         // Anything above 0 lies above the range: the rise climbs to the top row and runs
         // along it.
         const int samples[] = {0, 0, 1, 1};
         graph->setRange(0, 0);
         graph->setSamples(samples, 4, true);
         return graph;
     }},
    {"graph-single-sample", L"STATIC", 0, width, height,
     [](HWND window) -> std::unique_ptr<CSubclassedWindow> {
         auto graph = attach(window); // one pixel at x = 0, which a border would cover
         const int sample = 50;
         graph->setSamples(&sample, 1, true);
         return graph;
     }},
};

} // namespace

std::span<const Scene> graphScenes() {
    return scenes;
}

} // namespace kestrum
