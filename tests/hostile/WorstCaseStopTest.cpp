// A stop in any state the monitor can be in ends its thread, and its pollers' threads, within
// two seconds: Exit must not leave the process behind for a discovery window, a long sleep or an
// exchange with a gateway that answers a byte a second.

#include "http/HttpClient.h"
#include "tests/hostile/HostileMonitor.h"
#include "tests/support/Eventually.h"

namespace kestrum::test {
namespace {

using Behaviour = HostileHttpServer::Behaviour;
using WorstCaseStopTest = HostileMonitorTest;

// Exit's bound; every wait of the monitor notices a stop within about a tenth of it.
constexpr auto promptStop = 2s;

TEST_F(WorstCaseStopTest, InTheMiddleOfADiscoveryPass) {
    // An answer keeps the pass listening for its whole window, half a minute here.
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusedPort());
    SsdpResponder announcer({ssdpAnswer(refused + "/desc.xml")});
    startAdjustedMonitor([](GatewayMonitor& monitor) { monitor.setDiscoverySeconds(30); });
    ASSERT_TRUE(eventually([&] { return announcer.searchesAnswered() >= 1; }, 90s));
    EXPECT_LT(stopMonitor(), promptStop);
}

TEST_F(WorstCaseStopTest, AsleepAtTheLongestRefreshPeriod) {
    auto gateway = wellBehavedGateway();
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(connectedTo("Good"));
    refresh_.set(10000);
    // The updates pause once the monitor sleeps the new period, and the pollers half of it.
    int updates = 0;
    while (updates_.take(1000) && updates < 100) {
        ++updates;
    }
    ASSERT_LT(updates, 100);
    ASSERT_EQ(monitor_->state(), WorkerThread::State::Sleeping);
    EXPECT_LT(stopMonitor(), promptStop);
}

TEST_F(WorstCaseStopTest, InTheMiddleOfADescriptionLoad) {
    // Trickling, each load would last the whole exchange limit of a minute; the second
    // description is never asked for.
    HostileHttpServer first(Behaviour::Trickle);
    HostileHttpServer second(Behaviour::Trickle);
    SsdpResponder announcer(
        {ssdpAnswer(first.url("/desc.xml")), ssdpAnswer(second.url("/desc.xml"))});
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(eventually([&] { return first.requests() + second.requests() >= 1; }, 90s));
    EXPECT_LT(stopMonitor(), promptStop);
    EXPECT_EQ(first.requests() + second.requests(), 1);
}

TEST_F(WorstCaseStopTest, InTheMiddleOfCounterReadingsFromATricklingGateway) {
    HostileHttpServer control(Behaviour::Reply, counterReply("1", "2"));
    FakeGateway gateway(namedDescription("Trickling", control.url("/ctl")));
    gateway.answerSearches({igd1});
    gateway.start();
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(connectedTo("Trickling"));
    // The connection facts' first reading asks the same control URL; the next is a minute away.
    ASSERT_TRUE(eventually([&] { return monitor_->snapshot().facts.readings >= 1; }, 90s));
    const int before = control.requests();
    control.setBehaviour(Behaviour::Trickle);
    // Both pollers are held in a reading that would last the whole exchange limit.
    ASSERT_TRUE(eventually([&] { return control.requests() >= before + 2; }, 90s));
    const int atStop = control.requests();
    EXPECT_LT(stopMonitor(), promptStop);
    EXPECT_EQ(control.requests(), atStop);
}

} // namespace
} // namespace kestrum::test
