#include "shell/controls/SegmentDisplay.h"
#include "shell/controls/TextLabel.h"
#include "shell/controls/TrafficGraph.h"
#include "tests/shell/ShellTestHost.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace kestrum::test {
namespace {

constexpr int paints = 10000;

struct LeakCase {
    const char* name;
    std::function<std::unique_ptr<CSubclassedWindow>(HWND)> attach;
    std::function<void(CSubclassedWindow&, int)> paint; // the i-th repaint
};

TEST(GdiLeak, paintingTenThousandTimesKeepsTheGdiObjectCount) {
    const LeakCase cases[] = {
        {"traffic graph",
         [](HWND window) {
             auto graph = std::make_unique<CTrafficGraph>();
             graph->subclassWindow(window);
             graph->setBorder(true);
             return graph;
         },
         [](CSubclassedWindow& control, int i) {
             const int samples[] = {i % 100, 50, (i * 7) % 100};
             static_cast<CTrafficGraph&>(control).setSamples(samples, 3, true);
         }},
        {"segment display",
         [](HWND window) {
             auto display = std::make_unique<CSegmentDisplay>();
             display->subclassWindow(window);
             return display;
         },
         [](CSubclassedWindow& control, int i) {
             static_cast<CSegmentDisplay&>(control).setValue(i - paints / 2);
         }},
        {"text label",
         [](HWND window) {
             auto label = std::make_unique<CTextLabel>();
             label->subclassWindow(window);
             return label;
         },
         [](CSubclassedWindow& control, int i) {
             static_cast<CTextLabel&>(control).setText(i % 2 == 0 ? "Status" : "Gateway name");
         }},
    };
    ShellTestHost host;
    for (const LeakCase& test : cases) {
        SCOPED_TRACE(test.name);
        HWND window = host.createControl(80, 40);
        {
            std::unique_ptr<CSubclassedWindow> control = test.attach(window);
            // The first paints may create what the system keeps for good (a realised font).
            test.paint(*control, 0);
            test.paint(*control, 1);
            host.pumpMessages();
            const int before = ShellTestHost::gdiObjectCount();
            ASSERT_GT(before, 0);
            for (int i = 0; i < paints; ++i) {
                test.paint(*control, i);
            }
            host.pumpMessages();
            EXPECT_EQ(ShellTestHost::gdiObjectCount(), before);
        }
        DestroyWindow(window);
    }
}

} // namespace
} // namespace kestrum::test
