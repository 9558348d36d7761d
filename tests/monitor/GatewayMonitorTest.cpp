#include "monitor/GatewayMonitor.h"

#include "monitor/CommonInterfaceLookup.h"
#include "monitor/MonitorDisplay.h"
#include "net/Sockets.h"
#include "tests/monitor/MonitorFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeGateway.h"
#include "upnp/Device.h"
#include "upnp/Service.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrum::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* looking = "Looking for an UPnP gateway...";
constexpr const char* missingCounters =
    "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
    "<s:Body><u:GetTotalBytesReceivedResponse/></s:Body></s:Envelope>";

int soapRequests(const FakeGateway& gateway) {
    int count = 0;
    for (const std::string& request : gateway.requests()) {
        count += request.rfind("POST ", 0) == 0 ? 1 : 0;
    }
    return count;
}

class GatewayMonitorTest : public MonitorFixture {
protected:
    std::unique_ptr<FakeGateway> gateway(const std::string& document, std::uint64_t received = 1000,
                                         std::uint64_t sent = 2000) {
        auto fake = std::make_unique<FakeGateway>(document);
        fake->answerSearches({igd1});
        fake->setCounters(received, sent);
        fake->start();
        return fake;
    }

    GatewayMonitor& startMonitor(std::int64_t gatewayTimeout = 30'000) {
        return startAdjustedMonitor([gatewayTimeout](GatewayMonitor& monitor) {
            monitor.setGatewayTimeout(gatewayTimeout);
        });
    }

    // Counters are published only under the gateway's own status, never under the search's;
    // true once every counter has been read.
    static bool published(const MonitorSnapshot& snapshot) {
        EXPECT_FALSE(snapshot.countersPublished && snapshot.statusText == looking);
        bool every = snapshot.countersPublished && snapshot.wanCount > 0;
        for (int wan = 0; wan < snapshot.wanCount; ++wan) {
            every =
                every && snapshot.wans[wan].received.published && snapshot.wans[wan].sent.published;
        }
        return every;
    }
};

TEST_F(GatewayMonitorTest, SearchingPostsOneUpdateHoweverManyAttemptsFail) {
    // One device without the counters, one whose description cannot be read.
    auto countless =
        gateway(description({.elements = "<friendlyName>No counters</friendlyName>",
                             .serviceType = "urn:schemas-upnp-org:service:Layer3Forwarding:1"}));
    auto garbled = gateway(namedDescription("Garbled"));
    garbled->setBehaviour(FakeGateway::Behaviour::Garbage);

    startMonitor();
    // Three attempts of three searches each.
    ASSERT_TRUE(eventually([&] { return countless->searchesAnswered() >= 9; }, 60s));
    EXPECT_EQ(updates_.pending(), 1u);
    EXPECT_STREQ(monitor_->statusText().c_str(), looking);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Searching);
    EXPECT_EQ(soapRequests(*countless), 0);
    EXPECT_EQ(soapRequests(*garbled), 0);
}

TEST_F(GatewayMonitorTest, StopDuringADiscoveryAttemptEndsTheThread) {
    auto countless = gateway(description({.elements = "<friendlyName>No counters</friendlyName>",
                                          .wanType = "urn:schemas-upnp-org:device:LANDevice:1"}));
    startMonitor();
    ASSERT_TRUE(eventually([&] { return countless->searchesAnswered() > 0; }, 60s));

    monitor_->requestStop(true);
    EXPECT_EQ(monitor_->state(), WorkerThread::State::Finished);
    EXPECT_EQ(updates_.pending(), 1u);
    EXPECT_STREQ(monitor_->statusText().c_str(), looking);
}

TEST_F(GatewayMonitorTest, ConnectedMonitorPostsEveryRefreshPeriodAndFollowsItsChange) {
    auto router = gateway(namedDescription("Test Gateway"), 4'294'967'295u, 123);
    const auto started = static_cast<std::uint32_t>(steadyMilliseconds());
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    const MonitorSnapshot snapshot = monitor_->snapshot();
    const auto taken = static_cast<std::uint32_t>(steadyMilliseconds());
    EXPECT_STREQ(snapshot.statusText.c_str(), "Test Gateway");
    EXPECT_EQ(snapshot.totalBytesReceived(), 0xFFFFFFFFu);
    EXPECT_EQ(snapshot.totalBytesSent(), 123u);
    EXPECT_EQ(snapshot.wanCount, 1);
    EXPECT_FALSE(snapshot.countersRefused);
    // Each counter comes with the time it was read, in the steady clock's milliseconds.
    EXPECT_LE(snapshot.wans[0].received.takenAt - started, taken - started);
    EXPECT_LE(snapshot.wans[0].sent.takenAt - started, taken - started);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);

    // Every 100 ms: two seconds bring many updates (bounds generous for slow machines).
    while (updates_.take(0)) {
    }
    std::this_thread::sleep_for(2s);
    EXPECT_GE(updates_.pending(), 4u);
    EXPECT_LE(updates_.pending(), 25u);

    // The sleep in progress ends as it began and its update follows; the next sleep lasts the
    // new period, so a quiet second comes soon (at 100 ms it would never come).
    while (updates_.take(0)) {
    }
    refresh_.set(3000);
    int updatesAfterChange = 0;
    while (updates_.take(1000) && updatesAfterChange <= 10) {
        ++updatesAfterChange;
    }
    EXPECT_LE(updatesAfterChange, 2);
}

TEST_F(GatewayMonitorTest, TheFirstOfTwoGatewaysIsWatched) {
    auto first = gateway(namedDescription("Gateway A"));
    auto second = gateway(namedDescription("Gateway B"));
    startMonitor();
    ASSERT_TRUE(takeUntil(published));

    const String watchedName = monitor_->statusText();
    const bool watchingA = watchedName == "Gateway A";
    ASSERT_TRUE(watchingA || watchedName == "Gateway B");
    const FakeGateway& watched = watchingA ? *first : *second;
    const FakeGateway& other = watchingA ? *second : *first;
    EXPECT_GT(soapRequests(watched), 0);
    EXPECT_EQ(soapRequests(other), 0);
}

// The attempt ends with the first gateway whose description loads, long before its window.
TEST_F(GatewayMonitorTest, TheFirstAnswerEndsTheAttempt) {
    auto router = gateway(namedDescription("Prompt"));
    startAdjustedMonitor([](GatewayMonitor& monitor) { monitor.setDiscoverySeconds(120); });
    EXPECT_TRUE(takeUntil(published, 60s));
}

TEST_F(GatewayMonitorTest, TheHintComesAfterTheQuietSpellAndGoesWithTheGateway) {
    startAdjustedMonitor([](GatewayMonitor& monitor) { monitor.setHintDelay(1500); });
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.statusText == GatewayMonitor::noAnswerText;
    }));
    // Shown once: the search goes on without further updates.
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(updates_.pending(), 0u);

    auto router = gateway(namedDescription("Late"));
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Late");
}

TEST_F(GatewayMonitorTest, ANamedUrlIsLoadedWithoutASearch) {
    FakeGateway router(namedDescription("By URL"));
    router.start();
    startAdjustedMonitor([&router](GatewayMonitor& monitor) {
        NamedGateway named;
        std::string error;
        ASSERT_TRUE(parseNamedGateway(router.location().c_str(), named, error)) << error;
        monitor.setNamedGateway(named);
    });
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "By URL");
}

// The facts come with the gateway, from its description and its three actions, and are read
// again every period.
TEST_F(GatewayMonitorTest, TheConnectionFactsAreReadWhenTheGatewayIsFoundAndThenEveryPeriod) {
    FakeGateway router(description({.elements = "<friendlyName>Facts</friendlyName>"
                                                "<manufacturer>Maker</manufacturer>"
                                                "<modelName>Model 1</modelName>",
                                    .connectionType = ipConnection1}));
    const auto address = [](const char* text) {
        return httpResponse("200 OK",
                            envelope(std::string("<u:GetExternalIPAddressResponse xmlns:u=\"") +
                                     ipConnection1 + "\"><NewExternalIPAddress>" + text +
                                     "</NewExternalIPAddress></u:GetExternalIPAddressResponse>"));
    };
    router.setActionReply("GetExternalIPAddress", address("203.0.113.7"));
    router.start();
    startAdjustedMonitor([&router](GatewayMonitor& monitor) {
        monitor.setFactsPeriod(200);
        NamedGateway named;
        std::string error;
        ASSERT_TRUE(parseNamedGateway(router.location().c_str(), named, error)) << error;
        monitor.setNamedGateway(named);
    });
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.facts.externalAddress == "203.0.113.7";
    }));
    const ConnectionFacts facts = monitor_->snapshot().facts;
    EXPECT_STREQ(facts.friendlyName.c_str(), "Facts");
    EXPECT_STREQ(facts.manufacturer.c_str(), "Maker");
    EXPECT_STREQ(facts.modelName.c_str(), "Model 1");
    // The fake gateway lacks the other two actions.
    EXPECT_FALSE(facts.hasCapacity);
    EXPECT_STREQ(facts.connectionStatus.c_str(), "");

    router.setActionReply("GetExternalIPAddress", address("198.51.100.9"));
    EXPECT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.facts.externalAddress == "198.51.100.9";
    }));
}

// A named address is asked by a unicast search at every attempt, so a gateway that comes back on
// another port is found there.
TEST_F(GatewayMonitorTest, ANamedAddressIsAskedAgainWhenTheGatewayMoves) {
    auto router = gateway(namedDescription("By address"), 10, 20);
    startAdjustedMonitor([](GatewayMonitor& monitor) {
        monitor.setGatewayTimeout(1000);
        NamedGateway named;
        std::string error;
        ASSERT_TRUE(parseNamedGateway("127.0.0.1", named, error)) << error;
        monitor.setNamedGateway(named);
    });
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "By address");

    router->stop();
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.statusText == looking && !snapshot.countersPublished;
    }));
    router->setCounters(30, 40);
    router->start();
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.countersPublished && snapshot.totalBytesReceived() == 30;
    }));
}

TEST_F(GatewayMonitorTest, AGatewayWithoutCountersIsPassedOver) {
    auto countless = gateway(description({.elements = "<friendlyName>No counters</friendlyName>",
                                          .wanType = "urn:schemas-upnp-org:device:LANDevice:1"}));
    auto router = gateway(namedDescription("Counting"));
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Counting");
    EXPECT_EQ(soapRequests(*countless), 0);
}

TEST_F(GatewayMonitorTest, AGatewayWithoutFriendlyNameShowsItsModelOrAddress) {
    auto router = gateway(description({.elements = "<modelName>Model 7</modelName>"}));
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Model 7");
}

TEST(GatewayStatus, FriendlyNameElseModelNameElseAddress) {
    const struct {
        const char* friendlyName;
        const char* modelName;
        const char* location;
        const char* status;
    } cases[] = {
        {"Router", "Model 7", "http://192.168.1.1:5000/rootDesc.xml", "Router"},
        {"", "Model 7", "http://192.168.1.1:5000/rootDesc.xml", "Model 7"},
        {"", "", "http://192.168.1.1:5000/rootDesc.xml", "192.168.1.1:5000"},
        {"", "", "http://gateway.lan/desc.xml", "gateway.lan:80"},
    };
    for (const auto& c : cases) {
        Device device;
        device.friendlyName = c.friendlyName;
        device.modelName = c.modelName;
        device.location = c.location;
        EXPECT_STREQ(GatewayMonitor::gatewayStatus(device).c_str(), c.status) << c.location;
    }
}

TEST_F(GatewayMonitorTest, AnIgd2GatewayIsWatched) {
    // As a current gateway daemon describes itself: newer device versions, the same counters.
    auto router =
        gateway(description({.elements = "<friendlyName>IGD2</friendlyName>",
                             .rootType = "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                             .wanType = "urn:schemas-upnp-org:device:WANDevice:2"}),
                77, 88);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "IGD2");
    EXPECT_EQ(monitor_->totalBytesReceived(), 77u);
    EXPECT_EQ(monitor_->totalBytesSent(), 88u);
}

TEST_F(GatewayMonitorTest, FailedReadingsAndMissingArgumentsKeepTheCounters) {
    auto router = gateway(namedDescription("Flaky"), 5, 6);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));

    router->setSoapReply(missingCounters);
    std::size_t before = router->requests().size();
    ASSERT_TRUE(eventually([&] { return router->requests().size() >= before + 6; }, 60s));
    EXPECT_EQ(monitor_->totalBytesReceived(), 5u);
    EXPECT_EQ(monitor_->totalBytesSent(), 6u);

    router->setSoapReply("");
    router->setBehaviour(FakeGateway::Behaviour::Fail);
    before = router->requests().size();
    ASSERT_TRUE(eventually([&] { return router->requests().size() >= before + 6; }, 60s));
    EXPECT_EQ(monitor_->totalBytesReceived(), 5u);
    EXPECT_EQ(monitor_->totalBytesSent(), 6u);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);
}

// A fault instead of the counter is a refusal: the gateway is alive and kept, and after three
// in a row the snapshot says so and the pollers ask only every 10 s, until a good reading.
TEST_F(GatewayMonitorTest, RefusedCountersKeepTheGatewayAndSlowThePollers) {
    auto router = gateway(namedDescription("Refusing"), 5, 6);
    // Above the refusing pace, far below the time watched.
    constexpr std::int64_t timeout = 12'000;
    startMonitor(timeout);
    ASSERT_TRUE(takeUntil(published));

    router->setBehaviour(FakeGateway::Behaviour::Fail);
    const std::size_t before = router->requests().size();
    // Three refusals for each poller: a request reaches the router before its poller has taken
    // the refusal, so the hint is awaited, not read at the sixth request.
    ASSERT_TRUE(eventually([&] { return router->requests().size() >= before + 6; }, 60s));
    ASSERT_TRUE(eventually(
        [&] {
            return monitor_->counterRefused(0, GatewayMonitor::Counter::Received) &&
                   monitor_->counterRefused(0, GatewayMonitor::Counter::Sent);
        },
        60s));
    EXPECT_TRUE(monitor_->snapshot().countersRefused);
    const std::size_t atHint = router->requests().size();
    std::this_thread::sleep_for(3s);
    EXPECT_LE(router->requests().size(), atHint + 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
    const MonitorSnapshot snapshot = monitor_->snapshot();
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);
    EXPECT_STREQ(snapshot.statusText.c_str(), "Refusing");
    EXPECT_TRUE(snapshot.countersRefused);

    // The first good reading ends it, and the pace is half the period again.
    router->setBehaviour(FakeGateway::Behaviour::Answer);
    router->setCounters(7, 8);
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& current) {
        return !current.countersRefused && current.totalBytesReceived() == 7 &&
               current.totalBytesSent() == 8;
    }));
    const std::size_t answered = router->requests().size();
    EXPECT_TRUE(eventually([&] { return router->requests().size() >= answered + 10; }, 60s));
}

// Status 500 without a fault is a failure like any other: no refusal, and the gateway, silent
// otherwise, is lost.
TEST_F(GatewayMonitorTest, AServerErrorIsNoRefusal) {
    auto router = gateway(namedDescription("Failing"), 5, 6);
    startMonitor(1000);
    ASSERT_TRUE(takeUntil(published));
    router->setBehaviour(FakeGateway::Behaviour::ServerError);
    EXPECT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        EXPECT_FALSE(snapshot.countersRefused);
        return snapshot.statusText == looking;
    }));
}

// Every WAN device with the common interface service is read, and the counters add up; one
// that repeats a control URL already read is read once.
TEST_F(GatewayMonitorTest, EveryWanDeviceIsRead) {
    const auto wan = [](const char* type, const char* controlUrl) {
        return std::string("<device><deviceType>") + type +
               "</deviceType><serviceList><service><serviceType>" + common1 +
               "</serviceType><controlURL>" + controlUrl +
               "</controlURL></service></serviceList></device>";
    };
    const std::string document =
        "<?xml version=\"1.0\"?><root><device><deviceType>" + std::string(igd1) +
        "</deviceType><friendlyName>Two lines</friendlyName><deviceList>" +
        wan(wan1, "/ctl/first") + wan("urn:schemas-upnp-org:device:WANDevice:2", "/ctl/second") +
        wan(wan1, "/ctl/first") + "</deviceList></device></root>";
    auto router = gateway(document, 1000, 3000);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    const MonitorSnapshot snapshot = monitor_->snapshot();
    EXPECT_EQ(snapshot.wanCount, 2);
    EXPECT_EQ(snapshot.totalBytesReceived(), 2000u);
    EXPECT_EQ(snapshot.totalBytesSent(), 6000u);
    std::set<std::string> paths;
    for (const std::string& request : router->requests()) {
        if (request.rfind("POST ", 0) == 0) {
            paths.insert(request.substr(5, request.find(' ', 5) - 5));
        }
    }
    EXPECT_EQ(paths, (std::set<std::string>{"/ctl/first", "/ctl/second"}));
}

// Replies without counters are no sign of life: the gateway is given up as if silent.
TEST_F(GatewayMonitorTest, RepliesWithoutCountersDoNotKeepAGateway) {
    auto router = gateway(namedDescription("Hollow"), 5, 6);
    startMonitor(1000);
    ASSERT_TRUE(takeUntil(published));
    router->setSoapReply(missingCounters);
    EXPECT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.statusText == looking && !snapshot.countersPublished;
    }));
}

TEST_F(GatewayMonitorTest, AGatewayThatVanishesIsFoundAgainOnItsNewPort) {
    auto router = gateway(namedDescription("Moving"), 10, 20);
    startMonitor(1000);
    ASSERT_TRUE(takeUntil(published));
    const int firstPort = router->port();

    router->stop();
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.statusText == looking && !snapshot.countersPublished;
    }));
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Searching);

    router->setCounters(30, 40);
    router->start();
    ASSERT_NE(router->port(), firstPort);
    ASSERT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.countersPublished && snapshot.totalBytesReceived() == 30 &&
               snapshot.totalBytesSent() == 40;
    }));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Moving");
}

// The two pollers feeding the display as the window drives it, without discovery: the owner is
// a monitor that is never started, as the real one is once it has found its gateway.
class CounterPollingTest : public ::testing::Test {
protected:
    void SetUp() override {
        startSockets();
        gateway_.start();
        service_.serviceType = common1;
        service_.controlURL =
            ("http://127.0.0.1:" + std::to_string(gateway_.port()) + "/ctl").c_str();
        CounterServices services;
        services.services[0] = &service_;
        services.count = 1;
        monitor_->startPolling(services);
    }

    void TearDown() override {
        monitor_.reset();
        stopSockets();
    }

    bool showing(std::uint32_t value) const {
        return eventually(
            [&] {
                const MonitorSnapshot snapshot = monitor_->snapshot();
                return snapshot.countersPublished && snapshot.totalBytesReceived() == value &&
                       snapshot.totalBytesSent() == value;
            },
            60s);
    }

    // Both pollers have asked at least twice more.
    bool furtherReadings() const {
        const std::size_t before = gateway_.requests().size();
        return eventually([&] { return gateway_.requests().size() >= before + 4; }, 60s);
    }

    // One window update, on the clock the readings' times come from; a period of 1 ms, so that
    // no update is skipped however soon it follows the last.
    DisplayUpdate update() {
        return display_.update(monitor_->snapshot(), steadyMilliseconds(), 30, 1);
    }

    static std::string reply(const std::string& arguments) {
        return "<?xml version=\"1.0\"?><s:Envelope "
               "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
               "<u:Response>" +
               arguments + "</u:Response></s:Body></s:Envelope>";
    }

    FakeGateway gateway_{""};
    RefreshPeriod refresh_{100};
    UpdateQueue updates_;
    Device device_;
    Service service_{&device_};
    std::unique_ptr<GatewayMonitor> monitor_ = std::make_unique<GatewayMonitor>(refresh_, updates_);
    MonitorDisplay display_{4};
};

// N, then 0 or a reply without a usable counter, then N again: never any traffic, below 2^31
// and above it.
TEST_F(CounterPollingTest, AFallToZeroOrAReplyWithoutCounterShowsNoTraffic) {
    const std::string noCounter[] = {
        reply(""),
        reply("<NewTotalBytesReceived></NewTotalBytesReceived><NewTotalBytesSent/>"),
        reply("<NewTotalBytesReceived>n/a</NewTotalBytesReceived>"
              "<NewTotalBytesSent> -</NewTotalBytesSent>"),
    };
    for (const std::uint32_t n :
         {900'000'000u, 0x7FFFFFFFu, 0x80000000u, 3'000'000'000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(n);
        gateway_.setCounters(n, n);
        ASSERT_TRUE(showing(n));
        update();
        ASSERT_TRUE(furtherReadings());
        EXPECT_EQ(update().received, 0u);

        gateway_.setCounters(0, 0);
        ASSERT_TRUE(showing(0));
        DisplayUpdate shown = update();
        EXPECT_TRUE(shown.hasRates);
        EXPECT_EQ(shown.received + shown.sent, 0u);
        gateway_.setCounters(n, n);
        ASSERT_TRUE(showing(n));
        shown = update();
        EXPECT_EQ(shown.received + shown.sent, 0u);

        for (const std::string& body : noCounter) {
            gateway_.setSoapReply(body);
            ASSERT_TRUE(furtherReadings());
            EXPECT_TRUE(showing(n)) << body;
            shown = update();
            EXPECT_EQ(shown.received + shown.sent, 0u) << body;
            gateway_.setSoapReply("");
            ASSERT_TRUE(furtherReadings());
            shown = update();
            EXPECT_EQ(shown.received + shown.sent, 0u) << body;
        }
    }
}

} // namespace
} // namespace kestrum::test
