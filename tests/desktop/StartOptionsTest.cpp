#include "shell/app/ResourceIds.h"
#include "tests/desktop/DesktopTestApp.h"

#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

// The monitor window started as a shortcut's command line asks.
class StartOptionsTest : public testing::Test {
protected:
    void start(const StartOptions& options) {
        app_.setStartOptions(options);
        ASSERT_TRUE(app_.start());
        window_ = app_.monitorWindow();
        app_.pump();
    }

    void TearDown() override {
        if (window_ != nullptr) {
            app_.exitFromTray();
        }
    }

    std::string text(int id) const { return DesktopTestApp::windowText(window_->item(id)); }

    // One update in which the gateway reports this downstream capacity on a DSL line.
    void reportCapacity(std::uint32_t downstreamBitRate) {
        app_.snapshot.facts.accessType = "DSL";
        app_.snapshot.facts.hasCapacity = true;
        app_.snapshot.facts.downstreamBitRate = downstreamBitRate;
        app_.snapshot.facts.upstreamBitRate = 10'000'000;
        app_.postUpdate("Gateway", 0, 0);
    }

    void apply(const char* scale, const char* refresh) {
        SetWindowTextA(window_->item(IDC_SCALE_EDIT), scale);
        SetWindowTextA(window_->item(IDC_REFRESH_EDIT), refresh);
        SendMessageA(window_->hwnd(), WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window_->item(IDC_APPLY)));
    }

    DesktopTestApp app_;
    CMonitorDialog* window_ = nullptr;
};

TEST_F(StartOptionsTest, ScaleAndRefreshStartInTheEditsApplied) {
    StartOptions options;
    options.scale = 1000000;
    options.refreshMs = 100;
    start(options);
    EXPECT_EQ(text(IDC_SCALE_EDIT), "1000000");
    EXPECT_EQ(text(IDC_REFRESH_EDIT), "100");
    EXPECT_EQ(window_->graphScale(), 1000000u);
    EXPECT_EQ(app_.refreshPeriod().get(), 100u);
    // Seven digits for a scale of seven.
    const auto* readout = static_cast<CSegmentDisplay*>(
        CSubclassedWindow::fromHandle(window_->item(IDC_RECEIVED_READOUT)));
    EXPECT_EQ(readout->digitCount(), 7);
}

TEST_F(StartOptionsTest, WithoutOptionsTheDefaultsHold) {
    start(StartOptions{});
    EXPECT_EQ(text(IDC_SCALE_EDIT), "30");
    EXPECT_EQ(text(IDC_REFRESH_EDIT), "500");
    EXPECT_EQ(text(IDC_RECEIVED_CAPTION), "Received KB/s");
}

// With --bits the readouts, the tooltip and the scale are in kbit/s: 1 KB/s reads 8.
TEST_F(StartOptionsTest, BitsShowTheRatesInKilobits) {
    StartOptions options;
    options.bits = true;
    options.scale = 100'000;
    start(options);
    EXPECT_EQ(text(IDC_RECEIVED_CAPTION), "Received kbit/s");
    app_.postUpdate("Gateway", 0, 0);
    app_.postUpdate("Gateway", 12'500'000, 29'000);
    EXPECT_EQ(text(IDC_RECEIVED_READOUT), "100000");
    EXPECT_EQ(text(IDC_SENT_READOUT), "232");
    EXPECT_EQ(std::wstring(app_.tray().record().szTip),
              L"Gateway\nReceiving (kbit/s): 100000\n  Sending (kbit/s): 232");
    EXPECT_EQ(text(IDC_SCALE_EDIT), "100000");
}

// The line's credible downstream capacity becomes the scale, in KB/s or kbit/s, and follows it
// until the user applies a scale of their own; applying the line's scale again changes nothing.
class ScaleLineTest : public StartOptionsTest, public testing::WithParamInterface<bool> {};

TEST_P(ScaleLineTest, FollowsTheCredibleCapacityUntilAnotherScaleIsApplied) {
    const bool bits = GetParam();
    StartOptions options;
    options.scaleFromLine = true;
    options.bits = bits;
    start(options);
    const std::uint32_t perUnit = bits ? 1000 : 8000;

    reportCapacity(4'200'000); // a default, not the line's
    EXPECT_EQ(window_->graphScale(), 30u);
    reportCapacity(100'000'000);
    EXPECT_EQ(window_->graphScale(), 100'000'000 / perUnit);
    EXPECT_EQ(text(IDC_SCALE_EDIT), std::to_string(100'000'000 / perUnit));
    reportCapacity(50'000'000);
    EXPECT_EQ(window_->graphScale(), 50'000'000 / perUnit);

    // Only the refresh changed: still the line's.
    apply(text(IDC_SCALE_EDIT).c_str(), "1000");
    reportCapacity(80'000'000);
    EXPECT_EQ(window_->graphScale(), 80'000'000 / perUnit);

    apply("300", "1000");
    reportCapacity(100'000'000);
    EXPECT_EQ(window_->graphScale(), 300u);
    EXPECT_EQ(text(IDC_SCALE_EDIT), "300");
}

INSTANTIATE_TEST_SUITE_P(Units, ScaleLineTest, testing::Bool());

} // namespace
} // namespace kestrum::test
