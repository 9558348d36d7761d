#include "upnp/Device.h"

#include "http/HttpClient.h"
#include "net/Sockets.h"
#include "net/StringSet.h"
#include "soap/XmlNode.h"
#include "tests/support/FakeGateway.h"
#include "tests/support/allocation/AllocationFailure.h"
#include "tests/upnp/UpnpTestEnvironment.h"
#include "upnp/Service.h"
#include "upnp/SsdpDiscovery.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace kestrum::test {
namespace {

std::string text(const String& value) {
    return value.c_str();
}

// A megabyte of empty entries, the most an HTTP body holds, must read in linear time. The bound
// is relative to parsing the same document, which is linear, so that a slow or loaded machine,
// sanitizers or Wine slow both alike; reading in quadratic time would take thousands of times
// longer.
TEST(DeviceDescription, HugeListsReadInLinearTime) {
    using Clock = std::chrono::steady_clock;
    for (const char* list : {"serviceList", "deviceList"}) {
        SCOPED_TRACE(list);
        std::string description = std::string("<root><device><") + list + ">";
        constexpr int entries = 250000;
        for (int i = 0; i < entries; ++i) {
            description += "<e/>";
        }
        const auto parseStart = Clock::now();
        XmlNode root;
        root.parse(description.c_str());
        const auto readStart = Clock::now();
        Device device;
        device.readElement(root.child("device"));
        const auto readEnd = Clock::now();
        EXPECT_EQ(device.services.count() + device.devices.count(), entries);
        EXPECT_LT(readEnd - readStart, 50 * (readStart - parseStart) + std::chrono::seconds(1));
    }
}

TEST(DeviceUrls, RelativeUrlsResolveAgainstUrlBase) {
    Device device;
    for (const char* base : {"http://10.0.0.1:80/", "http://10.0.0.1:80"}) {
        device.URLBase = base;
        EXPECT_EQ(text(device.resolveUrl("/ctl/Common")), "http://10.0.0.1:80/ctl/Common") << base;
        EXPECT_EQ(text(device.resolveUrl("ctl/Common")), "http://10.0.0.1:80/ctl/Common") << base;
        EXPECT_EQ(text(device.resolveUrl("http://10.0.0.2/x")), "http://10.0.0.2/x") << base;
        EXPECT_TRUE(device.resolveUrl("").isEmpty()) << base;
    }
    // The base's path stays whole and nothing is normalised.
    device.URLBase = "http://h:1/dir/";
    EXPECT_EQ(text(device.resolveUrl("../x")), "http://h:1/dir/../x");
    EXPECT_EQ(text(device.resolveUrl("/x")), "http://h:1/dir/x");
}

class DeviceLoad : public ::testing::Test {
protected:
    void SetUp() override { startSockets(); }
    void TearDown() override {
        if (gateway) {
            gateway->stop();
        }
        stopSockets();
    }
    void serve(const char* document) {
        gateway = std::make_unique<FakeGateway>(testDocument(document));
        gateway->start();
        base = "http://127.0.0.1:" + std::to_string(gateway->port());
    }
    String location() const { return gateway->location().c_str(); }

    std::unique_ptr<FakeGateway> gateway;
    std::string base;
};

TEST_F(DeviceLoad, GatewayWithUrlBase) {
    serve("igd1.xml");
    Device root;
    root.load(location());

    ASSERT_EQ(gateway->requests().size(), 1u);
    EXPECT_EQ(gateway->requests()[0].rfind("GET /rootDesc.xml HTTP/1.0\r\n", 0), 0u);
    EXPECT_EQ(text(root.location), gateway->location());
    EXPECT_EQ(root.parent, nullptr);
    EXPECT_EQ(root.specMajor, 1);
    EXPECT_EQ(root.specMinor, 0);
    EXPECT_EQ(text(root.URLBase), base + "/");
    EXPECT_EQ(text(root.deviceType), "urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    EXPECT_EQ(text(root.friendlyName), "Home Router & Modem");
    EXPECT_EQ(text(root.manufacturerURL), "http://www.example.com/");
    EXPECT_EQ(text(root.modelURL), base + "/model.html");
    EXPECT_EQ(text(root.presentationURL), base + "/");
    EXPECT_EQ(text(root.UPC), "012345678905");

    ASSERT_EQ(root.services.count(), 1);
    const Service& forwarding = *root.services[0];
    EXPECT_EQ(forwarding.device, &root);
    EXPECT_EQ(text(forwarding.SCPDURL), "/l3f.xml"); // never made absolute
    EXPECT_EQ(text(forwarding.controlURL), base + "/ctl/L3F");
    EXPECT_EQ(text(forwarding.eventSubURL), base + "/evt/L3F");

    Device* wan = root.findDevice("urn:schemas-upnp-org:device:WANDevice:1");
    ASSERT_NE(wan, nullptr);
    EXPECT_EQ(wan->parent, &root);
    EXPECT_TRUE(wan->location.isEmpty());
    EXPECT_EQ(text(wan->URLBase), text(root.URLBase));
    EXPECT_EQ(wan->specMajor, 1);
    Service* common = wan->findService("urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1");
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(common->device, wan);
    EXPECT_EQ(text(common->controlURL), base + "/ctl/CmnIfCfg");
    EXPECT_EQ(text(common->SCPDURL), "wancic.xml");
    EXPECT_TRUE(common->eventSubURL.isEmpty());

    // Only direct children are searched, and types match byte for byte.
    EXPECT_EQ(root.findDevice("urn:schemas-upnp-org:device:WANConnectionDevice:1"), nullptr);
    EXPECT_EQ(root.findDevice("urn:schemas-upnp-org:device:wandevice:1"), nullptr);
    EXPECT_EQ(root.findService("urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"), nullptr);
    ASSERT_EQ(wan->devices.count(), 1);
    ASSERT_EQ(wan->devices[0]->services.count(), 1);
    EXPECT_EQ(text(wan->devices[0]->services[0]->controlURL), "http://10.0.0.2/x");
}

// Memory running out anywhere in a load, or in the loop that loads each answering device,
// reaches the caller as an Exception: the only kind a worker's handlers take.
TEST_F(DeviceLoad, AllocationFailureIsAMemoryException) {
    serve("igd1.xml");
    const String url = location();
    EXPECT_GT(expectAllocationFailuresAsExceptions([&] {
                  Device root;
                  root.load(url);
              }),
              0);
    StringSet locations(stringHash, 17);
    locations.insert(url);
    expectAllocationFailuresAsExceptions([&] {
        PointerList<Device> devices;
        loadDevices(locations, devices);
        for (Device* device : devices) {
            delete device;
        }
    });
}

TEST_F(DeviceLoad, GatewayWithoutUrlBaseUsesItsServerAndPassesItDown) {
    serve("igd2.xml");
    Device root;
    root.load(location());

    EXPECT_EQ(text(root.URLBase), base);
    EXPECT_EQ(root.specMinor, 1);
    EXPECT_EQ(text(root.friendlyName), "Office Gateway");
    EXPECT_EQ(text(root.presentationURL), "http://127.0.0.1/");
    // This is a second-generation gateway: its WAN device is of version 2.
    EXPECT_EQ(root.findDevice("urn:schemas-upnp-org:device:WANDevice:1"), nullptr);
    Device* wan = root.findDevice("urn:schemas-upnp-org:device:WANDevice:2");
    ASSERT_NE(wan, nullptr);
    EXPECT_EQ(text(wan->URLBase), base);
    Service* common = wan->findService("urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1");
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(text(common->controlURL), base + "/ctl/CmnIfCfg");
    ASSERT_EQ(wan->devices.count(), 1);
    EXPECT_EQ(text(wan->devices[0]->URLBase), base);
    EXPECT_EQ(text(wan->devices[0]->services[0]->eventSubURL), base + "/evt/IPConn");
}

TEST_F(DeviceLoad, NamesMatchInAnyCaseButNotWithAPrefix) {
    serve("prefixed.xml");
    Device root;
    root.load(location());

    EXPECT_EQ(text(root.URLBase), base + "/base/");
    EXPECT_EQ(text(root.deviceType), "urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    EXPECT_TRUE(root.friendlyName.isEmpty());
    EXPECT_EQ(root.specMajor, 0);
    ASSERT_EQ(root.services.count(), 1);
    EXPECT_EQ(text(root.services[0]->controlURL), base + "/base/ctl/L3F");
}

TEST_F(DeviceLoad, CutOffDocumentKeepsWhatWasRead) {
    serve("truncated.xml");
    Device root;
    root.load(location());

    EXPECT_EQ(text(root.friendlyName), "Half a Gateway");
    ASSERT_EQ(root.services.count(), 1);
    EXPECT_EQ(text(root.services[0]->controlURL), base + "/ctl/L3F");
    Device* wan = root.findDevice("urn:schemas-upnp-org:device:WANDevice:1");
    ASSERT_NE(wan, nullptr);
    EXPECT_TRUE(wan->friendlyName.isEmpty());
}

TEST_F(DeviceLoad, TransferFailuresAreThrownAndLeaveOnlyTheLocation) {
    serve("igd1.xml");
    {
        Device root;
        EXPECT_THROW(root.load((base + "/missing.xml").c_str()), HttpClient::BadResponseException);
        EXPECT_EQ(text(root.location), base + "/missing.xml");
        EXPECT_TRUE(root.URLBase.isEmpty());
        EXPECT_EQ(root.services.count(), 0);
    }
    {
        gateway->setBehaviour(FakeGateway::Behaviour::Fail);
        Device root;
        EXPECT_THROW(root.load(location()), HttpClient::BadResponseException);
        EXPECT_TRUE(root.deviceType.isEmpty());
    }
    {
        gateway->setBehaviour(FakeGateway::Behaviour::Garbage);
        Device root;
        EXPECT_THROW(root.load(location()), HttpException);
    }
    {
        const String gone = location();
        gateway->stop();
        Device root;
        EXPECT_THROW(root.load(gone), SocketException);
    }
}

} // namespace
} // namespace kestrum::test
