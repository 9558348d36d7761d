#include "tests/shell/RepaintLeakCheck.h"

#include "tests/shell/ShellTestHost.h"

#include <gtest/gtest.h>

namespace kestrum::test {

namespace {

void repaint(HWND control) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

} // namespace

void expectRepaintingKeepsGdiObjects(HWND control) {
    repaint(control);
    const int before = ShellTestHost::gdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 10000; ++i) {
        repaint(control);
    }
    EXPECT_EQ(ShellTestHost::gdiObjectCount(), before);
}

} // namespace kestrum::test
