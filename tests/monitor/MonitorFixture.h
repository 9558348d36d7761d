#pragma once

#include "monitor/GatewayMonitor.h"
#include "monitor/RefreshPeriod.h"
#include "monitor/UpdateQueue.h"
#include "tests/support/Eventually.h"
#include "tests/support/NetworkNamespace.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace kestrum::test {

// A gateway monitor run as the window runs it, with its updates taken from a queue, inside a
// loopback-only network namespace of the test's own: discovery multicasts.
class MonitorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!enterPrivateNetwork()) {
            ASSERT_FALSE(namespacesRequired()) << "no network namespace of its own could be made";
            GTEST_SKIP() << "discovery multicasts: needs a network namespace of its own (root)";
        }
    }

    void TearDown() override {
        if (monitor_) {
            monitor_->requestStop(true);
        }
    }

    // Starts a monitor that listens one second per attempt, after the test's own adjustments.
    GatewayMonitor& startAdjustedMonitor(const std::function<void(GatewayMonitor&)>& adjust) {
        monitor_ = std::make_unique<GatewayMonitor>(refresh_, updates_);
        monitor_->setDiscoverySeconds(1);
        adjust(*monitor_);
        monitor_->initialize();
        monitor_->start();
        return *monitor_;
    }

    // Takes updates until the monitor's state satisfies the condition; the limit only guards
    // against a hang.
    bool takeUntil(const std::function<bool(const MonitorSnapshot&)>& condition,
                   std::chrono::seconds limit = std::chrono::seconds(90)) {
        return eventually(
            [&] {
                updates_.take(100);
                return condition(monitor_->snapshot());
            },
            limit);
    }

    RefreshPeriod refresh_{100};
    UpdateQueue updates_;
    std::unique_ptr<GatewayMonitor> monitor_;
};

} // namespace kestrum::test
