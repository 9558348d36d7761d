#include "monitor/GatewayMonitor.h"

#include "net/StringSet.h"
#include "tests/monitor/MonitorFixture.h"
#include "tests/support/FakeGateway.h"
#include "upnp/Device.h"
#include "upnp/Service.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace kestrum {
namespace {

using namespace std::chrono_literals;

constexpr const char* looking = "Looking for an UPnP gateway...";
constexpr const char* igd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
constexpr const char* wan1 = "urn:schemas-upnp-org:device:WANDevice:1";
constexpr const char* common1 = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";

std::string description(const std::string& nameElement, const std::string& rootType = igd1,
                        const std::string& wanType = wan1,
                        const std::string& serviceType = common1) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device><deviceType>" +
           rootType + "</deviceType>" + nameElement + "<deviceList><device><deviceType>" + wanType +
           "</deviceType><serviceList><service><serviceType>" + serviceType +
           "</serviceType><serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>"
           "<SCPDURL>/WANCfg.xml</SCPDURL><controlURL>/ctl/CmnIfCfg</controlURL>"
           "<eventSubURL>/evt/CmnIfCfg</eventSubURL></service></serviceList></device>"
           "</deviceList></device></root>\r\n";
}

std::string named(const std::string& name) {
    return description("<friendlyName>" + name + "</friendlyName>");
}

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

    static bool published(const MonitorSnapshot& snapshot) { return snapshot.countersPublished; }
};

TEST_F(GatewayMonitorTest, SearchingPostsOneUpdateHoweverManyAttemptsFail) {
    // One device without the counters, one whose description cannot be read.
    auto countless = gateway(description("<friendlyName>No counters</friendlyName>", igd1, wan1,
                                         "urn:schemas-upnp-org:service:Layer3Forwarding:1"));
    auto garbled = gateway(named("Garbled"));
    garbled->setBehaviour(FakeGateway::Behaviour::Garbage);

    startMonitor();
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    // Three attempts of ten searches each.
    while (countless->searchesAnswered() < 30 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_GE(countless->searchesAnswered(), 30);
    EXPECT_EQ(updates_.pending(), 1u);
    EXPECT_STREQ(monitor_->statusText().c_str(), looking);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Searching);
    EXPECT_EQ(soapRequests(*countless), 0);
    EXPECT_EQ(soapRequests(*garbled), 0);
}

TEST_F(GatewayMonitorTest, StopDuringADiscoveryAttemptEndsTheThread) {
    auto countless = gateway(description("<friendlyName>No counters</friendlyName>", igd1,
                                         "urn:schemas-upnp-org:device:LANDevice:1"));
    startMonitor();
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (countless->searchesAnswered() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(countless->searchesAnswered(), 0);

    monitor_->requestStop(true);
    EXPECT_EQ(monitor_->state(), WorkerThread::State::Finished);
    EXPECT_EQ(updates_.pending(), 1u);
    EXPECT_STREQ(monitor_->statusText().c_str(), looking);
}

TEST_F(GatewayMonitorTest, ConnectedMonitorPostsEveryRefreshPeriodAndFollowsItsChange) {
    auto router = gateway(named("Test Gateway"), 4'294'967'295u, 123);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    const MonitorSnapshot snapshot = monitor_->snapshot();
    EXPECT_STREQ(snapshot.statusText.c_str(), "Test Gateway");
    EXPECT_EQ(snapshot.totalBytesReceived, 0xFFFFFFFFu);
    EXPECT_EQ(snapshot.totalBytesSent, 123u);
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
    auto first = gateway(named("Gateway A"));
    auto second = gateway(named("Gateway B"));
    startMonitor();
    ASSERT_TRUE(takeUntil(published));

    const String watchedName = monitor_->statusText();
    const bool watchingA = watchedName == "Gateway A";
    ASSERT_TRUE(watchingA || watchedName == "Gateway B");
    const FakeGateway& watched = watchingA ? *first : *second;
    const FakeGateway& other = watchingA ? *second : *first;
    EXPECT_GT(soapRequests(watched), 0);
    EXPECT_EQ(soapRequests(other), 0);

    // Discovery order is the order of the location set; it decides unless both share a bucket.
    const auto bucket = [](const FakeGateway& fake) {
        return stringHash(fake.location().c_str()) % 17;
    };
    if (bucket(*first) != bucket(*second)) {
        EXPECT_EQ(watchingA, bucket(*first) < bucket(*second));
    }
}

TEST_F(GatewayMonitorTest, AGatewayWithoutCountersIsPassedOver) {
    auto countless = gateway(description("<friendlyName>No counters</friendlyName>", igd1,
                                         "urn:schemas-upnp-org:device:LANDevice:1"));
    auto router = gateway(named("Counting"));
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Counting");
    EXPECT_EQ(soapRequests(*countless), 0);
}

TEST_F(GatewayMonitorTest, AGatewayWithoutFriendlyNameShowsItsModelOrAddress) {
    auto router = gateway(description("<modelName>Model 7</modelName>"));
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
    auto router = gateway(description("<friendlyName>IGD2</friendlyName>",
                                      "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                                      "urn:schemas-upnp-org:device:WANDevice:2"),
                          77, 88);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));
    EXPECT_STREQ(monitor_->statusText().c_str(), "IGD2");
    EXPECT_EQ(monitor_->totalBytesReceived(), 77u);
    EXPECT_EQ(monitor_->totalBytesSent(), 88u);
}

TEST_F(GatewayMonitorTest, FailedReadingsKeepTheCountersAndAMissingArgumentReadsZero) {
    auto router = gateway(named("Flaky"), 5, 6);
    startMonitor();
    ASSERT_TRUE(takeUntil(published));

    router->setBehaviour(FakeGateway::Behaviour::Fail);
    const std::size_t before = router->requests().size();
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (router->requests().size() < before + 6 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(monitor_->totalBytesReceived(), 5u);
    EXPECT_EQ(monitor_->totalBytesSent(), 6u);
    EXPECT_EQ(monitor_->mode(), GatewayMonitor::Mode::Connected);

    router->setBehaviour(FakeGateway::Behaviour::Answer);
    router->setSoapReply("<?xml version=\"1.0\"?><s:Envelope "
                         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                         "<u:GetTotalBytesReceivedResponse/></s:Body></s:Envelope>");
    EXPECT_TRUE(takeUntil([](const MonitorSnapshot& snapshot) {
        return snapshot.totalBytesReceived == 0 && snapshot.totalBytesSent == 0;
    }));
}

TEST_F(GatewayMonitorTest, AGatewayThatVanishesIsFoundAgainOnItsNewPort) {
    auto router = gateway(named("Moving"), 10, 20);
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
        return snapshot.countersPublished && snapshot.totalBytesReceived == 30 &&
               snapshot.totalBytesSent == 40;
    }));
    EXPECT_STREQ(monitor_->statusText().c_str(), "Moving");
}

// Which embedded device and service carry the counters; no network involved.
class CommonInterfaceLookupTest : public ::testing::Test {
protected:
    Device& addDevice(Device& parent, const char* type) {
        auto* device = new Device;
        device->parent = &parent;
        device->deviceType = type;
        parent.devices.append(device);
        return *device;
    }
    Service& addService(Device& device, const char* type) {
        auto* service = new Service(&device);
        service->serviceType = type;
        device.services.append(service);
        return *service;
    }
    Device root;
};

TEST_F(CommonInterfaceLookupTest, AcceptsEveryVersionOfOneOrMore) {
    Device& wan = addDevice(root, "urn:schemas-upnp-org:device:WANDevice:12");
    addService(wan, "urn:schemas-upnp-org:service:Layer3Forwarding:1");
    Service& common = addService(wan, "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:2");
    EXPECT_EQ(GatewayMonitor::findCommonInterfaceService(root), &common);
}

TEST_F(CommonInterfaceLookupTest, RejectsOtherTypesAndDeeperDevices) {
    for (const char* type :
         {"urn:schemas-upnp-org:device:WANDevice:0",
          "urn:schemas-upnp-org:device:WANDevice:", "urn:schemas-upnp-org:device:WANDevice:1a",
          "urn:schemas-upnp-org:device:wandevice:1", "urn:schemas-upnp-org:device:WANDevice"}) {
        addService(addDevice(root, type), common1);
    }
    Device& wrapper = addDevice(root, "urn:schemas-upnp-org:device:Wrapper:1");
    addService(addDevice(wrapper, wan1), common1);
    addService(addDevice(root, wan1), "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:0");
    EXPECT_EQ(GatewayMonitor::findCommonInterfaceService(root), nullptr);
}

TEST_F(CommonInterfaceLookupTest, LooksBeyondAWanDeviceWithoutTheService) {
    addDevice(root, wan1);
    Service& common = addService(addDevice(root, wan1), common1);
    EXPECT_EQ(GatewayMonitor::findCommonInterfaceService(root), &common);
}

} // namespace
} // namespace kestrum
