// The monitor against devices that send malformed, endless, slow or absurd data.

#include "monitor/TrafficRateMeter.h"
#include "net/Sockets.h"
#include "tests/hostile/HostileMonitor.h"
#include "tests/support/Eventually.h"

namespace kestrum::test {
namespace {

using Behaviour = HostileHttpServer::Behaviour;
using HostileGatewayTest = HostileMonitorTest;

TEST_F(HostileGatewayTest, MalformedSsdpFloodDoesNotHideAGateway) {
    std::vector<std::string> flood;
    for (int i = 0; i < 40; ++i) {
        flood.push_back(std::string("\x00\xff\x13garbage", 10));
        flood.push_back("HTTP/1.1 200 OK\r\nST");
        flood.push_back("HTTP/1.1 200 OK\r\nST: " + std::string(igd1) + "\r\n\r\n");
        flood.push_back("HTTP/1.1 200 OK\r\n" + std::string(60000, 'A'));
        flood.push_back("HTTP/1.1 200 OK\r\nST: " + std::string(igd1) +
                        "\r\nLOCATION: " + std::string(60000, 'L') + "\r\n\r\n");
    }
    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    while (manyHeaders.size() < 60000) {
        manyHeaders += "X: y\r\n";
    }
    flood.push_back(manyHeaders + "\r\n");
    for (const char* location : {"http://", "http://127.0.0.1:0/", "http://[::1", "ftp://x/"}) {
        flood.push_back(ssdpAnswer(location));
    }
    SsdpResponder flooder(flood);
    auto good = wellBehavedGateway();

    startMonitor();
    ASSERT_TRUE(connectedTo("Good"));
    // The flooder counts a search once its whole flood is out, which under instrumentation can
    // end after the gateway was taken.
    EXPECT_TRUE(eventually([&] { return flooder.searchesAnswered() > 0; }, 90s));
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, HundredsOfLocationsHoldTheSearchOnlyWhileTheyLast) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusedPort());
    std::vector<std::string> answers;
    for (int i = 0; i < 400; ++i) {
        answers.push_back(ssdpAnswer(refused + "/d" + std::to_string(i) + ".xml"));
    }
    auto flooder = std::make_unique<SsdpResponder>(answers);
    startMonitor();
    ASSERT_TRUE(eventually([&] { return flooder->searchesAnswered() >= 30; }, 90s));
    EXPECT_NE(monitor_->state(), WorkerThread::State::Finished);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Searching);

    flooder.reset();
    auto good = wellBehavedGateway();
    ASSERT_TRUE(connectedTo("Good"));
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, HostileDescriptionsArePassedOverForAWellBehavedGateway) {
    std::string nesting;
    for (int i = 0; i < 10000; ++i) {
        nesting += "<n>";
    }
    for (int i = 0; i < 10000; ++i) {
        nesting += "</n>";
    }
    const int control = refusedPort();
    const std::string controlUrl = "http://127.0.0.1:" + std::to_string(control) + "/ctl";
    HostileHttpServer nested(
        Behaviour::Reply, description({.elements = "<friendlyName>Nested</friendlyName>" + nesting,
                                       .controlUrl = controlUrl}));
    HostileHttpServer huge(Behaviour::Huge);
    HostileHttpServer unterminated(Behaviour::Unterminated);
    HostileHttpServer trickle(Behaviour::Trickle);
    HostileHttpServer loop(Behaviour::RedirectLoop);
    // The gateway's answer comes last, so the first one that loads ends the attempt only after
    // every hostile description was tried.
    FakeGateway good(namedDescription("Good"));
    good.start();
    SsdpResponder announcer({ssdpAnswer(nested.url("/desc.xml")), ssdpAnswer(huge.url("/desc.xml")),
                             ssdpAnswer(unterminated.url("/desc.xml")),
                             ssdpAnswer(trickle.url("/desc.xml")),
                             ssdpAnswer(loop.url("/desc.xml")), ssdpAnswer(good.location())});

    startMonitor();
    ASSERT_TRUE(connectedTo("Good"));
    // Every hostile description was loaded, and each load ended.
    for (const HostileHttpServer* server : {&nested, &huge, &unterminated, &trickle}) {
        EXPECT_GE(server->requests(), 1);
    }
    EXPECT_GE(loop.requests(), 6);
    // The redirects in a row are bounded.
    EXPECT_EQ(loop.requests() % 6, 0);
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, OneExchangeLimitBoundsAWholeChainOfSlowRedirects) {
    // Each hop alone stays within the limit; only a limit on the whole load ends the chain
    // before the redirect bound does.
    HostileHttpServer slow(Behaviour::SlowRedirect);
    FakeGateway good(namedDescription("Good"));
    good.start();
    SsdpResponder announcer({ssdpAnswer(slow.url("/desc.xml")), ssdpAnswer(good.location())});
    startMonitor(3);
    ASSERT_TRUE(connectedTo("Good"));
    EXPECT_GE(slow.requests(), 1);
    EXPECT_LE(slow.requests(), 4);
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, CounterValuesOfAnyShapeKeepThePollersRunning) {
    auto gateway = wellBehavedGateway();
    startMonitor();
    ASSERT_TRUE(connectedTo("Good"));

    // A counter keeps the 32-bit pattern of the decimal value's leading digits.
    gateway->setSoapReply(counterReply("-5", "12abc"));
    EXPECT_TRUE(counters(0xFFFFFFFBu, 12));
    // A value without digits is no reading: the counter keeps its value.
    gateway->setSoapReply(counterReply("not a number", "99999999999"));
    EXPECT_TRUE(counters(0xFFFFFFFBu, 1215752191u));
    gateway->setSoapReply(counterReply("4294967295", "4294967295"));
    EXPECT_TRUE(counters(0xFFFFFFFFu, 0xFFFFFFFFu));

    // A counter stuck at its top shows no traffic.
    TrafficRateMeter meter;
    const auto sample = [&] {
        return meter.sample(steadyMilliseconds(), monitor_->snapshot(), 30, refresh_.get());
    };
    ASSERT_EQ(sample().outcome, TrafficRateMeter::Outcome::FirstSample);
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * refresh_.get()));
    const TrafficRateMeter::Result stuck = sample();
    ASSERT_EQ(stuck.outcome, TrafficRateMeter::Outcome::Rates);
    EXPECT_EQ(stuck.received, 0u);
    EXPECT_EQ(stuck.sent, 0u);

    // Faults with status 500 keep the last values, and the pollers go on asking.
    gateway->setBehaviour(FakeGateway::Behaviour::Fail);
    const std::size_t before = gateway->requests().size();
    ASSERT_TRUE(eventually([&] { return gateway->requests().size() >= before + 6; }, 90s));
    EXPECT_EQ(monitor_->totalBytesReceived(), 0xFFFFFFFFu);
    EXPECT_EQ(monitor_->totalBytesSent(), 0xFFFFFFFFu);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);

    gateway->setBehaviour(FakeGateway::Behaviour::Answer);
    gateway->setSoapReply("");
    gateway->setCounters(7, 8);
    EXPECT_TRUE(counters(7, 8));
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, HostileControlServersHoldNoPollerPastTheExchangeLimit) {
    HostileHttpServer control(Behaviour::Reply, counterReply("1", "2"));
    FakeGateway gateway(namedDescription("Controlled elsewhere", control.url("/ctl")));
    gateway.answerSearches({igd1});
    gateway.start();
    startMonitor();
    ASSERT_TRUE(connectedTo("Controlled elsewhere"));
    ASSERT_TRUE(counters(1, 2));

    // Each failed attempt ends and the next follows: the requests keep coming.
    for (Behaviour behaviour : {Behaviour::Trickle, Behaviour::Unterminated, Behaviour::Huge,
                                Behaviour::RedirectLoop, Behaviour::Fault}) {
        control.setBehaviour(behaviour);
        const int before = control.requests();
        EXPECT_TRUE(eventually([&] { return control.requests() >= before + 6; }, 90s))
            << "behaviour " << static_cast<int>(behaviour);
        EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);
        EXPECT_EQ(monitor_->totalBytesReceived(), 1u);
        EXPECT_EQ(monitor_->totalBytesSent(), 2u);
    }

    control.setReply(counterReply("3", "4"));
    control.setBehaviour(Behaviour::Reply);
    EXPECT_TRUE(counters(3, 4));
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, StopDuringAHeldDescriptionLoadStartsNoFurtherLoad) {
    // Only the exchange limit ends a trickling load; a stop must not wait for all of them.
    std::vector<std::unique_ptr<HostileHttpServer>> servers;
    std::vector<std::string> answers;
    for (int i = 0; i < 4; ++i) {
        servers.push_back(std::make_unique<HostileHttpServer>(Behaviour::Trickle));
        answers.push_back(ssdpAnswer(servers.back()->url("/desc.xml")));
    }
    SsdpResponder announcer(answers);
    const auto loadsBegun = [&] {
        int count = 0;
        for (const auto& server : servers) {
            count += server->requests();
        }
        return count;
    };

    startMonitor(5);
    ASSERT_TRUE(eventually([&] { return loadsBegun() >= 1; }, 90s));
    monitor_->requestStop(false);
    EXPECT_LT(stopMonitor(), 30s);
    EXPECT_EQ(loadsBegun(), 1);
}

TEST_F(HostileGatewayTest, StopWhilePollersAreHeldBeginsNoFurtherExchange) {
    HostileHttpServer control(Behaviour::Reply, counterReply("1", "2"));
    FakeGateway gateway(namedDescription("Held", control.url("/ctl")));
    gateway.answerSearches({igd1});
    gateway.start();
    startMonitor(1);
    ASSERT_TRUE(connectedTo("Held"));

    // Both pollers are held in an exchange while the monitor sleeps for 10 s (its update comes
    // right before) and their next pause is 5 s: one whose exchange ends then must not begin
    // another once a stop was asked for.
    const int before = control.requests();
    control.setBehaviour(Behaviour::Trickle);
    ASSERT_TRUE(eventually([&] { return control.requests() >= before + 2; }, 90s));
    refresh_.set(10000);
    while (updates_.take(0)) {
    }
    ASSERT_TRUE(updates_.take(5000));
    monitor_->requestStop(false);
    const int atStop = control.requests();
    stopMonitor();
    EXPECT_EQ(control.requests(), atStop);
}

} // namespace
} // namespace kestrum::test
