// The main of every test program: a program that ran no case to a pass (all skipped, or none
// there) reports itself skipped to CTest instead of passed.

#include <gtest/gtest.h>

namespace {

// CTest's SKIP_RETURN_CODE of every test program.
constexpr int skipped = 77;

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->successful_test_count() == 0) {
        return skipped;
    }
    return result;
}
