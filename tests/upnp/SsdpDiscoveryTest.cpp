#include "upnp/SsdpDiscovery.h"

#include "net/Sockets.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeGateway.h"
#include "tests/support/NetworkNamespace.h"
#include "tests/upnp/UpnpTestEnvironment.h"
#include "upnp/Device.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

const char* const gatewayType = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";

std::string text(const String& value) {
    return value.c_str();
}

std::string answer(const std::string& headers) {
    return "HTTP/1.1 200 OK\r\n" + headers + "\r\n";
}

void feed(SsdpAnswers& answers, const std::string& datagram) {
    answers.accept(datagram.data(), static_cast<int>(datagram.size()));
}

std::vector<std::string> locationsOf(const SsdpAnswers& answers) {
    std::vector<std::string> locations;
    answers.locations().forEach(
        [&locations](const String& location) { locations.push_back(location.c_str()); });
    return locations;
}

// Owns what discovery hands over.
struct DeviceList {
    ~DeviceList() {
        for (Device* device : devices) {
            delete device;
        }
    }
    PointerList<Device> devices;
};

TEST(SsdpSearch, RequestBytes) {
    const String gateway = ssdpSearchRequest(gatewayType);
    EXPECT_EQ(text(gateway), "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
                             "MAN: \"ssdp:discover\"\r\nMX: 1\r\n"
                             "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n");
    EXPECT_EQ(gateway.length(), 137);

    const String any = ssdpSearchRequest(nullptr);
    EXPECT_EQ(text(any), "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
                         "MAN: \"ssdp:discover\"\r\nMX: 1\r\nST: \r\n\r\n");
    EXPECT_EQ(any.length(), 86);
}

TEST(SsdpAnswerHandling, SearchTargetMustMatchByteForByte) {
    SsdpAnswers answers(gatewayType);
    feed(answers, answer("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                         "LOCATION: http://10.0.0.1/exact\r\n"));
    feed(answers, answer("ST: urn:schemas-upnp-org:device:internetgatewaydevice:1\r\n"
                         "LOCATION: http://10.0.0.1/lower\r\n"));
    feed(answers, answer("ST: upnp:rootdevice\r\nLOCATION: http://10.0.0.1/root\r\n"));
    feed(answers, answer("LOCATION: http://10.0.0.1/none\r\n"));
    EXPECT_EQ(locationsOf(answers), std::vector<std::string>{"http://10.0.0.1/exact"});

    // Without a target every answer counts, also one without ST.
    SsdpAnswers any(nullptr);
    feed(any, answer("ST: upnp:rootdevice\r\nLOCATION: L1\r\n"));
    feed(any, answer("LOCATION: L2\r\n"));
    EXPECT_EQ(any.locations().count(), 2u);
}

TEST(SsdpAnswerHandling, HeaderNamesMatchInAnyCase) {
    SsdpAnswers answers(gatewayType);
    const std::string target = gatewayType;
    feed(answers, answer("ST: " + target + "\r\nLOCATION: http://h/1\r\n"));
    feed(answers, answer("St: " + target + "\r\nLocation: http://h/2\r\n"));
    feed(answers, answer("st:" + target + "\r\nlocation:http://h/3\r\n"));
    EXPECT_EQ(answers.locations().count(), 3u);
}

TEST(SsdpAnswerHandling, EachDistinctLocationIsKeptOnce) {
    SsdpAnswers answers(gatewayType);
    const std::string target = std::string("ST: ") + gatewayType + "\r\n";
    feed(answers, answer(target + "LOCATION: http://10.0.0.1:5000/desc.xml\r\n"));
    feed(answers, answer("USN: another sender\r\n" + target +
                         "Location: http://10.0.0.1:5000/desc.xml\r\n"));
    feed(answers, answer(target + "LOCATION: http://10.0.0.1:5000/DESC.xml\r\n"));
    // An answer without a location has nothing to load.
    feed(answers, answer(target));
    EXPECT_EQ(answers.locations().count(), 2u);
    EXPECT_TRUE(answers.locations().contains("http://10.0.0.1:5000/desc.xml"));
    EXPECT_TRUE(answers.locations().contains("http://10.0.0.1:5000/DESC.xml"));
}

TEST(SsdpAnswerHandling, StrayDatagramsAreSkipped) {
    SsdpAnswers answers(gatewayType);
    const std::string target = std::string("ST: ") + gatewayType + "\r\n";
    feed(answers, "\x01\x02garbage without a space\r\n\r\n");
    feed(answers, answer(target + "this line has no colon\r\nLOCATION: http://h/broken\r\n"));
    feed(answers, answer(target + ": empty name\r\nLOCATION: http://h/broken2\r\n"));
    feed(answers, answer(target + "LOCATION: http://h/good\r\n"));
    EXPECT_EQ(locationsOf(answers), std::vector<std::string>{"http://h/good"});
}

TEST(SsdpAnswerHandling, LocationsAreBounded) {
    SsdpAnswers answers(nullptr);
    for (int n = 0; n < 40; ++n) {
        feed(answers, answer("LOCATION: http://10.0.0.1/" + std::to_string(n) + "\r\n"));
    }
    EXPECT_EQ(answers.locations().count(), SsdpAnswers::maxLocations);
    EXPECT_TRUE(answers.locations().contains("http://10.0.0.1/15"));
    EXPECT_FALSE(answers.locations().contains("http://10.0.0.1/16"));
}

TEST(SsdpAnswerHandling, OrderIsByHashBucketNotArrival) {
    SsdpAnswers answers(nullptr);
    feed(answers, answer("LOCATION: a\r\n"));  // bucket 97 mod 17 = 12
    feed(answers, answer("LOCATION: ab\r\n")); // bucket 3299 mod 17 = 1
    feed(answers, answer("LOCATION: r\r\n"));  // bucket 114 mod 17 = 12, newer than 'a'
    EXPECT_EQ(locationsOf(answers), (std::vector<std::string>{"ab", "r", "a"}));
}

class SsdpLoading : public ::testing::Test {
protected:
    void SetUp() override { startSockets(); }
    void TearDown() override { stopSockets(); }
};

TEST_F(SsdpLoading, DevicesFollowTheSetAndBrokenOnesAreLeftOut) {
    FakeGateway first(testDocument("igd1.xml"));
    FakeGateway second(testDocument("igd2.xml"));
    FakeGateway failing(testDocument("igd1.xml"));
    first.start();
    second.start();
    failing.start();
    failing.setBehaviour(FakeGateway::Behaviour::Fail);
    FakeGateway gone("");
    gone.start();
    const std::string goneLocation = gone.location();
    gone.stop();

    SsdpAnswers answers(nullptr);
    for (const std::string& location :
         {first.location(), goneLocation, second.location(), failing.location()}) {
        feed(answers, answer("LOCATION: " + location + "\r\n"));
    }
    std::vector<std::string> expected;
    for (const std::string& location : locationsOf(answers)) {
        if (location == first.location() || location == second.location()) {
            expected.push_back(location);
        }
    }

    DeviceList list;
    loadDevices(answers.locations(), list.devices);
    ASSERT_EQ(list.devices.count(), 2);
    EXPECT_EQ(text(list.devices[0]->location), expected[0]);
    EXPECT_EQ(text(list.devices[1]->location), expected[1]);
    for (const Device* device : list.devices) {
        EXPECT_FALSE(device->friendlyName.isEmpty());
    }
    EXPECT_EQ(failing.requests().size(), 1u);
}

// Real multicast, only inside the namespace that the discovery test script makes.
class SsdpMulticast : public SsdpLoading {
protected:
    void SetUp() override {
        SsdpLoading::SetUp(); // TearDown runs after a skip too
        if (!insideOwnNetworkNamespace()) {
            ASSERT_FALSE(namespacesRequired()) << "not inside the namespace runner's namespace";
            GTEST_SKIP() << "multicast runs only inside the test's own network namespace";
        }
    }
};

TEST_F(SsdpMulticast, FindsAndLoadsTheAnsweringGateway) {
    FakeGateway gateway(testDocument("igd1.xml"));
    gateway.answerSearches({gatewayType});
    gateway.start();

    DeviceList list;
    discover(gatewayType, list.devices, 2);
    ASSERT_EQ(list.devices.count(), 1);
    const Device& found = *list.devices[0];
    EXPECT_EQ(text(found.location), gateway.location());
    EXPECT_EQ(text(found.friendlyName), "Home Router & Modem");
    EXPECT_NE(found.findDevice("urn:schemas-upnp-org:device:WANDevice:1"), nullptr);
    // Every copy of the search was answered, and all answers collapsed into one device.
    EXPECT_GE(gateway.searchesAnswered(), 1);
    EXPECT_EQ(gateway.requests().size(), 1u);
}

TEST_F(SsdpMulticast, SeveralGatewaysAndOneThatCannotBeLoaded) {
    FakeGateway first(testDocument("igd1.xml"));
    FakeGateway second(testDocument("igd2.xml"));
    FakeGateway broken(testDocument("igd1.xml"));
    FakeGateway other(testDocument("igd1.xml"));
    for (FakeGateway* gateway : {&first, &second, &broken}) {
        gateway->answerSearches({gatewayType});
    }
    other.answerSearches({"urn:schemas-upnp-org:device:MediaServer:1"});
    for (FakeGateway* gateway : {&first, &second, &broken, &other}) {
        gateway->start();
    }
    broken.setBehaviour(FakeGateway::Behaviour::Garbage);

    DeviceList list;
    discover(gatewayType, list.devices, 2);
    ASSERT_EQ(list.devices.count(), 2);
    EXPECT_NE(text(list.devices[0]->location), text(list.devices[1]->location));
    for (const Device* device : list.devices) {
        EXPECT_TRUE(text(device->location) == first.location() ||
                    text(device->location) == second.location());
    }
    EXPECT_EQ(broken.requests().size(), 1u);
    EXPECT_TRUE(other.requests().empty());
}

TEST_F(SsdpMulticast, ZeroWindowSendsAndReturnsEmpty) {
    FakeGateway gateway(testDocument("igd1.xml"));
    gateway.answerSearches({gatewayType});
    gateway.start();

    DeviceList list;
    discover(gatewayType, list.devices, 0);
    EXPECT_EQ(list.devices.count(), 0);
    EXPECT_TRUE(gateway.requests().empty());
    // All ten copies of the search went out all the same.
    EXPECT_TRUE(
        eventually([&] { return gateway.searchesAnswered() >= 10; }, std::chrono::seconds(5)));
    EXPECT_EQ(gateway.searchesAnswered(), 10);
}

} // namespace
} // namespace kestrum::test
