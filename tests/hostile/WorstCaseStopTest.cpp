// The real worst case of a stop, apart from the quick suite so that the two can run side by
// side: a minute of waiting for the exchange limit.

#include "http/HttpClient.h"
#include "tests/hostile/HostileMonitor.h"
#include "tests/support/Eventually.h"

namespace kestrum::test {
namespace {

using Behaviour = HostileHttpServer::Behaviour;
using WorstCaseStopTest = HostileMonitorTest;

TEST_F(WorstCaseStopTest, ADescriptionTricklingForEverHoldsAStopOnlyUntilTheExchangeLimit) {
    if (instrumented || underWine) {
        // A minute of wall time proves nothing more under instrumentation or emulation.
        GTEST_SKIP() << "the real limit is proven by the native build";
    }
    // A stop asked for during the first load waits for that load's limit only; the second
    // description is never asked for.
    HostileHttpServer first(Behaviour::Trickle);
    HostileHttpServer second(Behaviour::Trickle);
    SsdpResponder announcer(
        {ssdpAnswer(first.url("/desc.xml")), ssdpAnswer(second.url("/desc.xml"))});
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(eventually([&] { return first.requests() + second.requests() >= 1; }, 90s));
    monitor_->requestStop(false);
    EXPECT_LT(stopMonitor(), 65s);
    EXPECT_EQ(first.requests() + second.requests(), 1);
}

} // namespace
} // namespace kestrum::test
