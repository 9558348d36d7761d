// A stop in any state the monitor can be in ends its thread, and its pollers' threads, within
// two seconds: Exit must not leave the process behind for a discovery window, a long sleep or an
// exchange with a gateway that answers a byte a second.

#include "http/HttpClient.h"
#include "tests/hostile/HostileMonitor.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawSocket.h"

#include <algorithm>

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

TEST_F(WorstCaseStopTest, WhileThePollersWaitBehindAFactsReading) {
    auto gateway = wellBehavedGateway();
    gateway->setActionReply("GetCommonLinkProperties", "");
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(eventually(
        [&] {
            const auto requests = gateway->requests();
            return std::any_of(requests.begin(), requests.end(), [](const std::string& request) {
                return request.find("#GetCommonLinkProperties") != std::string::npos;
            });
        },
        90s));
    // The facts' answer never comes (for 5 s at most); a few refresh periods bring both pollers,
    // which pause half of one, to the gate behind it.
    for (int period = 0; period < 3; ++period) {
        ASSERT_TRUE(updates_.take(1000));
    }
    const auto atStop = gateway->requests().size();
    EXPECT_LT(stopMonitor(), promptStop);
    // A poller that the stop let through connects and is cut off before it sends: the gateway
    // serves its connections one after another, so one of ours, once answered, comes after it.
    RawSocket marker = RawSocket::connectTcp(gateway->port());
    ASSERT_TRUE(marker.sendAll("GET /marker HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    ASSERT_NE(marker.receiveUntilClosed().find("404"), std::string::npos);
    const auto requests = gateway->requests();
    ASSERT_EQ(requests.size(), atStop + 1);
    EXPECT_EQ(requests.back().rfind("GET /marker ", 0), 0u);
}

} // namespace
} // namespace kestrum::test
