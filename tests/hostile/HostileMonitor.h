#pragma once

// The gateway monitor in a private loopback network, for tests against hostile devices: it must
// keep running or recover, stay within bounded memory, and stop within bounded time.

#include "monitor/GatewayMonitor.h"
#include "tests/hostile/HostilePeers.h"
#include "tests/monitor/MonitorFixture.h"
#include "tests/support/FakeGateway.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace kestrum::test {

using namespace std::chrono_literals;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool instrumented = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool instrumented = true;
#else
constexpr bool instrumented = false;
#endif
#else
constexpr bool instrumented = false;
#endif

#ifdef _WIN32
constexpr bool underWine = true;
#else
constexpr bool underWine = false;
#endif

// Short enough to keep the suite quick, long enough for any honest exchange on loopback.
constexpr int shortExchangeSeconds = 2;
constexpr long long memoryAllowance = 64LL * 1024 * 1024;

// One response carrying both out-arguments, so that each poller finds its own.
std::string counterReply(const std::string& received, const std::string& sent);
// A port on which nothing listens, and that stays taken: connections to it are refused at once.
int refusedPort();

class HostileMonitorTest : public MonitorFixture {
protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        startPeak_ = peakResidentBytes();
    }

    std::unique_ptr<FakeGateway> wellBehavedGateway() {
        auto gateway = std::make_unique<FakeGateway>(namedDescription("Good"));
        gateway->answerSearches({igd1});
        gateway->setCounters(1000, 2000);
        gateway->start();
        return gateway;
    }

    GatewayMonitor& startMonitor(int exchangeSeconds = shortExchangeSeconds,
                                 std::int64_t gatewayTimeout = 600'000) {
        return startAdjustedMonitor([=](GatewayMonitor& monitor) {
            monitor.setExchangeTimeout(exchangeSeconds);
            monitor.setGatewayTimeout(gatewayTimeout);
        });
    }

    bool connectedTo(const char* name) {
        return takeUntil([name](const MonitorSnapshot& snapshot) {
            return snapshot.countersPublished && snapshot.statusText == name;
        });
    }

    bool counters(std::uint32_t received, std::uint32_t sent) {
        return takeUntil([=](const MonitorSnapshot& snapshot) {
            return snapshot.totalBytesReceived() == received && snapshot.totalBytesSent() == sent;
        });
    }

    // Stops the monitor with waiting and returns how long that took.
    std::chrono::duration<double> stopMonitor() {
        const auto begun = std::chrono::steady_clock::now();
        monitor_->requestStop(true);
        const auto taken = std::chrono::steady_clock::now() - begun;
        EXPECT_EQ(monitor_->state(), WorkerThread::State::Finished);
        monitor_.reset();
        return taken;
    }

    void expectBoundedMemory() const {
        // Sanitizers keep freed memory in quarantine, and Wine has no /proc of the program.
        const long long peak = peakResidentBytes();
        if (instrumented || underWine || peak == 0) {
            return;
        }
        EXPECT_LT(peak - startPeak_, memoryAllowance) << "peak resident memory grew too far";
    }

    long long startPeak_ = 0;
};

} // namespace kestrum::test
