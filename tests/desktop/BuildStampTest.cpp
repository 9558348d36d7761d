#include "shell/app/BuildStamp.h"

#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

// The test machines run at UTC, where the stamp is the build date itself.
TEST(BuildStamp, SixDigitsOfTheBuildDate) {
    EXPECT_EQ(buildStamp("Oct 13 2004"), "041013");
    EXPECT_EQ(buildStamp("Dec  8 2026"), "261208"); // the compiler pads a one-digit day
    EXPECT_EQ(buildStamp("Jan  1 2000"), "000101");
    EXPECT_EQ(buildStamp("not a date"), "");
    EXPECT_EQ(buildStamp(""), "");
}

} // namespace
} // namespace kestrum::test
