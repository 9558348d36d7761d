#include "monitor/CommonInterfaceLookup.h"

#include "tests/support/FakeGateway.h"
#include "upnp/Device.h"
#include "upnp/Service.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

// Which embedded devices and services carry the counters; no network involved.
class CommonInterfaceLookupTest : public ::testing::Test {
protected:
    Device& addDevice(Device& parent, const char* type) {
        auto* device = new Device;
        device->parent = &parent;
        device->deviceType = type;
        parent.devices.append(device);
        return *device;
    }
    Service& addService(Device& device, const char* type, const char* controlUrl = "") {
        auto* service = new Service(&device);
        service->serviceType = type;
        service->controlURL = controlUrl;
        device.services.append(service);
        return *service;
    }
    Device root;
};

TEST_F(CommonInterfaceLookupTest, AcceptsEitherNamespaceInEveryVersionOfOneOrMore) {
    const struct {
        const char* device;
        const char* service;
        bool found;
    } cases[] = {
        {"urn:schemas-upnp-org:device:WANDevice:1",
         "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1", true},
        {"urn:schemas-upnp-org:device:WANDevice:12",
         "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:2", true},
        {"urn:dslforum-org:device:WANDevice:1",
         "urn:dslforum-org:service:WANCommonInterfaceConfig:1", true},
        {"urn:dslforum-org:device:WANDevice:2",
         "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1", true},
        {"urn:schemas-upnp-org:device:WANDevice:0",
         "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1", false},
        {"urn:schemas-upnp-org:device:WANDevice:", common1, false},
        {"urn:schemas-upnp-org:device:WANDevice:1a", common1, false},
        {"urn:schemas-upnp-org:device:wandevice:1", common1, false},
        {"urn:schemas-upnp-org:device:WANDevice", common1, false},
        {"urn:dslforum-org:device:LANDevice:1",
         "urn:dslforum-org:service:WANCommonInterfaceConfig:1", false},
        {"urn:dslforum.org:device:WANDevice:1", common1, false},
        {"urn:dslforum-org:device:WANDevice:1",
         "urn:dslforum-org:service:WANCommonInterfaceConfig:0", false},
        {"urn:dslforum-org:device:WANDevice:1", "urn:dslforum-org:service:WANIPConnection:1",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " with " + c.service);
        Device gateway;
        const Service& service = addService(addDevice(gateway, c.device), c.service);
        const CounterServices found = findCounterServices(gateway);
        EXPECT_EQ(found.count, c.found ? 1 : 0);
        if (c.found) {
            EXPECT_EQ(found.services[0], &service);
        }
    }
}

TEST_F(CommonInterfaceLookupTest, OnlyDirectlyEmbeddedWanDevicesCount) {
    Device& wrapper = addDevice(root, "urn:schemas-upnp-org:device:Wrapper:1");
    addService(addDevice(wrapper, wan1), common1);
    addService(root, common1);
    EXPECT_EQ(findCounterServices(root).count, 0);
}

// Every WAN device in document order, the first common interface service of each; devices
// without one are passed over, a control URL already found is read once, and four are kept.
TEST_F(CommonInterfaceLookupTest, EveryWanDeviceOnceWithinTheBound) {
    addDevice(root, wan1);
    Device& first = addDevice(root, wan1);
    addService(first, "urn:schemas-upnp-org:service:WANIPConnection:1", "http://gw/ip");
    const Service& one = addService(first, common1, "http://gw/1");
    addService(first, common1, "http://gw/1b");
    addService(addDevice(root, wan1), common1, "http://gw/1");
    const Service& two =
        addService(addDevice(root, "urn:dslforum-org:device:WANDevice:1"),
                   "urn:dslforum-org:service:WANCommonInterfaceConfig:1", "http://gw/2");
    const Service& three = addService(addDevice(root, wan1), common1, "http://gw/3");
    const Service& four = addService(addDevice(root, wan1), common1, "http://gw/4");
    addService(addDevice(root, wan1), common1, "http://gw/5");

    const CounterServices found = findCounterServices(root);
    ASSERT_EQ(found.count, MonitorSnapshot::maximumWans);
    EXPECT_EQ(found.services[0], &one);
    EXPECT_EQ(found.services[1], &two);
    EXPECT_EQ(found.services[2], &three);
    EXPECT_EQ(found.services[3], &four);
}

} // namespace
} // namespace kestrum::test
