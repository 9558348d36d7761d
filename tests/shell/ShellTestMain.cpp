#include "tests/shell/ShellTestHost.h"

#include <cstdio>
#include <gtest/gtest.h>

// GUI test programs need a display; without one they report themselves skipped, never passed.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!kestrum::test::ShellTestHost::displayAvailable()) {
        std::puts("No display: GUI tests skipped.");
        return kestrum::test::ShellTestHost::noDisplayExitCode;
    }
    return RUN_ALL_TESTS();
}
