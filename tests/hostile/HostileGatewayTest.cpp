// The monitor against devices that send malformed, endless, slow or absurd data: it must keep
// running or recover, stay within bounded memory, and stop within bounded time.

#include "http/HttpClient.h"
#include "monitor/GatewayMonitor.h"
#include "monitor/TrafficRateMeter.h"
#include "monitor/UpdateQueue.h"
#include "tests/hostile/HostilePeers.h"
#include "tests/monitor/PrivateNetwork.h"
#include "tests/support/FakeGateway.h"
#include "tests/support/RawSocket.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace kestrum {
namespace {

using namespace std::chrono_literals;
using test::HostileHttpServer;
using test::SsdpResponder;
using Behaviour = HostileHttpServer::Behaviour;

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

constexpr const char* looking = "Looking for an UPnP gateway...";
constexpr const char* igd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
// Short enough to keep the suite quick, long enough for any honest exchange on loopback.
constexpr int shortExchangeSeconds = 2;
constexpr long long memoryAllowance = 64LL * 1024 * 1024;

// A gateway description; inner goes before the WAN device, so markup that stops the reader
// there leaves a device without counters.
std::string description(const std::string& name, const std::string& controlUrl,
                        const std::string& inner = {}) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device><deviceType>" +
           std::string(igd1) + "</deviceType><friendlyName>" + name + "</friendlyName>" + inner +
           "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1"
           "</deviceType><serviceList><service><serviceType>"
           "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
           "<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>"
           "<controlURL>" +
           controlUrl +
           "</controlURL></service></serviceList></device></deviceList></device>"
           "</root>\r\n";
}

// One response carrying both out-arguments, so that each poller finds its own.
std::string counterReply(const std::string& received, const std::string& sent) {
    return "<?xml version=\"1.0\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
           "<u:Response xmlns:u=\"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1\">"
           "<NewTotalBytesReceived>" +
           received + "</NewTotalBytesReceived><NewTotalBytesSent>" + sent +
           "</NewTotalBytesSent></u:Response></s:Body></s:Envelope>";
}

// A port on which nothing listens: connections to it are refused at once.
int refusedPort() {
    return test::RawSocket::listenTcp().localPort();
}

class HostileGatewayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!enterPrivateNetwork()) {
            GTEST_SKIP() << "discovery multicasts: needs a network namespace of its own (root)";
        }
        startPeak_ = test::peakResidentBytes();
    }

    void TearDown() override {
        if (monitor_) {
            monitor_->requestStop(true);
        }
    }

    std::unique_ptr<FakeGateway> wellBehavedGateway() {
        auto gateway = std::make_unique<FakeGateway>(description("Good", "/ctl/CmnIfCfg"));
        gateway->answerSearches({igd1});
        gateway->setCounters(1000, 2000);
        gateway->start();
        return gateway;
    }

    GatewayMonitor& startMonitor(int exchangeSeconds = shortExchangeSeconds,
                                 std::int64_t gatewayTimeout = 600'000) {
        monitor_ = std::make_unique<GatewayMonitor>(refresh_, updates_);
        monitor_->setDiscoverySeconds(1);
        monitor_->setExchangeTimeout(exchangeSeconds);
        monitor_->setGatewayTimeout(gatewayTimeout);
        monitor_->initialize();
        monitor_->start();
        return *monitor_;
    }

    // Takes updates until the condition holds; the limit only guards against a hang.
    bool takeUntil(const std::function<bool(const MonitorSnapshot&)>& condition,
                   std::chrono::seconds limit = 90s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            updates_.take(100);
            if (condition(monitor_->snapshot())) {
                return true;
            }
        }
        return false;
    }

    bool connectedTo(const char* name) {
        return takeUntil([name](const MonitorSnapshot& snapshot) {
            return snapshot.countersPublished && snapshot.statusText == name;
        });
    }

    bool counters(std::uint32_t received, std::uint32_t sent) {
        return takeUntil([=](const MonitorSnapshot& snapshot) {
            return snapshot.totalBytesReceived == received && snapshot.totalBytesSent == sent;
        });
    }

    static bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 90s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
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
        const long long peak = test::peakResidentBytes();
        if (instrumented || underWine || peak == 0) {
            return;
        }
        EXPECT_LT(peak - startPeak_, memoryAllowance) << "peak resident memory grew too far";
    }

    RefreshPeriod refresh_{100};
    UpdateQueue updates_;
    std::unique_ptr<GatewayMonitor> monitor_;
    long long startPeak_ = 0;
};

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
        flood.push_back(test::ssdpAnswer(location));
    }
    SsdpResponder flooder(flood);
    auto good = wellBehavedGateway();

    startMonitor();
    ASSERT_TRUE(connectedTo("Good"));
    EXPECT_GT(flooder.searchesAnswered(), 0);
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, HundredsOfLocationsHoldTheSearchOnlyWhileTheyLast) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusedPort());
    std::vector<std::string> answers;
    for (int i = 0; i < 400; ++i) {
        answers.push_back(test::ssdpAnswer(refused + "/d" + std::to_string(i) + ".xml"));
    }
    auto flooder = std::make_unique<SsdpResponder>(answers);
    startMonitor();
    ASSERT_TRUE(waitFor([&] { return flooder->searchesAnswered() >= 30; }));
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
    HostileHttpServer nested(Behaviour::Reply, description("Nested", controlUrl, nesting));
    HostileHttpServer huge(Behaviour::Huge);
    HostileHttpServer unterminated(Behaviour::Unterminated);
    HostileHttpServer trickle(Behaviour::Trickle);
    HostileHttpServer loop(Behaviour::RedirectLoop);
    SsdpResponder announcer(
        {test::ssdpAnswer(nested.url("/desc.xml")), test::ssdpAnswer(huge.url("/desc.xml")),
         test::ssdpAnswer(unterminated.url("/desc.xml")),
         test::ssdpAnswer(trickle.url("/desc.xml")), test::ssdpAnswer(loop.url("/desc.xml"))});
    auto good = wellBehavedGateway();

    startMonitor();
    ASSERT_TRUE(connectedTo("Good"));
    // Every hostile description was loaded, and each load ended.
    for (const HostileHttpServer* server : {&nested, &huge, &unterminated, &trickle}) {
        EXPECT_GE(server->requests(), 1);
    }
    // The redirects in a row are bounded.
    EXPECT_GE(loop.requests(), 6);
    EXPECT_EQ(loop.requests() % 6, 0);
    expectBoundedMemory();
    EXPECT_LT(stopMonitor(), 6s);
}

TEST_F(HostileGatewayTest, OneExchangeLimitBoundsAWholeChainOfSlowRedirects) {
    // Each hop alone stays within the limit; only a limit on the whole load ends the chain
    // before the redirect bound does.
    HostileHttpServer slow(Behaviour::SlowRedirect);
    SsdpResponder announcer({test::ssdpAnswer(slow.url("/desc.xml"))});
    auto good = wellBehavedGateway();
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
    gateway->setSoapReply(counterReply("not a number", "99999999999"));
    EXPECT_TRUE(counters(0, 1215752191u));
    gateway->setSoapReply(counterReply("4294967295", "4294967295"));
    EXPECT_TRUE(counters(0xFFFFFFFFu, 0xFFFFFFFFu));

    // A counter stuck at its top shows no traffic.
    TrafficRateMeter meter;
    const auto sample = [&] {
        const MonitorSnapshot snapshot = monitor_->snapshot();
        return meter.sample(nowMilliseconds(), snapshot.totalBytesReceived, snapshot.totalBytesSent,
                            30, refresh_.get());
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
    ASSERT_TRUE(waitFor([&] { return gateway->requests().size() >= before + 6; }));
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
    FakeGateway gateway(description("Controlled elsewhere", control.url("/ctl")));
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
        EXPECT_TRUE(waitFor([&] { return control.requests() >= before + 6; }))
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
        answers.push_back(test::ssdpAnswer(servers.back()->url("/desc.xml")));
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
    ASSERT_TRUE(waitFor([&] { return loadsBegun() >= 1; }));
    monitor_->requestStop(false);
    EXPECT_LT(stopMonitor(), 30s);
    EXPECT_EQ(loadsBegun(), 1);
}

TEST_F(HostileGatewayTest, StopWhilePollersAreHeldEndsThemAfterTheirExchange) {
    HostileHttpServer control(Behaviour::Reply, counterReply("1", "2"));
    FakeGateway gateway(description("Held", control.url("/ctl")));
    gateway.answerSearches({igd1});
    gateway.start();
    startMonitor(1);
    ASSERT_TRUE(connectedTo("Held"));

    // Both pollers are held in an exchange; then the monitor goes to sleep for 10 s (the update
    // it posts comes right before), the pollers' next pause is 5 s. A poller whose exchange
    // ends while the monitor sleeps must not begin another once a stop was asked for.
    const int before = control.requests();
    control.setBehaviour(Behaviour::Trickle);
    ASSERT_TRUE(waitFor([&] { return control.requests() >= before + 2; }));
    refresh_.set(10000);
    while (updates_.take(0)) {
    }
    ASSERT_TRUE(updates_.take(5000));
    monitor_->requestStop(false);
    const int atStop = control.requests();
    stopMonitor();
    EXPECT_EQ(control.requests(), atStop);
}

TEST_F(HostileGatewayTest, WorstCaseStopWithTheRealExchangeLimit) {
    if (instrumented || underWine) {
        // A minute of wall time proves nothing more under instrumentation or emulation.
        GTEST_SKIP() << "the real limit is proven by the native build";
    }
    HostileHttpServer first(Behaviour::Trickle);
    HostileHttpServer second(Behaviour::Trickle);
    SsdpResponder announcer(
        {test::ssdpAnswer(first.url("/desc.xml")), test::ssdpAnswer(second.url("/desc.xml"))});
    startMonitor(HttpClient::defaultExchangeTimeout);
    ASSERT_TRUE(waitFor([&] { return first.requests() + second.requests() >= 1; }));
    monitor_->requestStop(false);
    EXPECT_LT(stopMonitor(), 65s);
    EXPECT_EQ(first.requests() + second.requests(), 1);
}

} // namespace
} // namespace kestrum
