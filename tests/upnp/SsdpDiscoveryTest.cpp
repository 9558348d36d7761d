#include "upnp/SsdpDiscovery.h"

#include "net/Sockets.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeGateway.h"
#include "tests/support/NetworkNamespace.h"
#include "tests/support/RawSocket.h"
#include "tests/support/SsdpResponder.h"
#include "tests/upnp/UpnpTestEnvironment.h"
#include "upnp/Device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

TEST(SsdpSearch, UnicastRequestNamesTheDeviceAndHasNoMx) {
    const std::uint32_t address = 0x0101A8C0; // 192.168.1.1 in network order
    EXPECT_EQ(text(ssdpUnicastSearchRequest(gatewayType, address)),
              "M-SEARCH * HTTP/1.1\r\nHOST: 192.168.1.1:1900\r\nMAN: \"ssdp:discover\"\r\n"
              "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n");
}

TEST(SsdpSearch, GatewaySearchesCoverBothVersionsAndTheDslForum) {
    const SsdpTarget target = SsdpTarget::internetGateway();
    std::vector<std::string> searches;
    for (const String& search : target.searches()) {
        searches.push_back(text(search));
    }
    EXPECT_EQ(searches,
              (std::vector<std::string>{"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                        "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                                        "urn:dslforum-org:device:InternetGatewayDevice:1"}));
}

TEST(SsdpAnswerHandling, GatewaysAreTakenInAnyVersionOfEitherNamespace) {
    const struct {
        const char* type;
        bool taken;
    } cases[] = {
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:1", true},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:2", true},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:10", true},
        {"urn:dslforum-org:device:InternetGatewayDevice:1", true},
        {"urn:dslforum-org:device:InternetGatewayDevice:2", true},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:0", false},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:", false},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:1a", false},
        {"urn:schemas-upnp-org:device:internetgatewaydevice:1", false},
        {"urn:schemas-upnp-org:device:WANDevice:1", false},
        {"urn:dslforum-org:device:LANDevice:1", false},
        {"upnp:rootdevice", false},
    };
    for (const auto& c : cases) {
        const std::string location = std::string("http://10.0.0.1/") + c.type;
        SsdpAnswers one{SsdpTarget::internetGateway()};
        const std::string datagram =
            answer(std::string("ST: ") + c.type + "\r\nLOCATION: " + location + "\r\n");
        EXPECT_EQ(text(one.accept(datagram.data(), static_cast<int>(datagram.size()))),
                  c.taken ? location : "")
            << c.type;
    }
}

TEST(SsdpAnswerHandling, AliveAnnouncementsCountAsAnswers) {
    const auto notify = [](const std::string& nt, const std::string& nts,
                           const std::string& location) {
        return "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=120\r\n"
               "NT: " +
               nt + "\r\nNTS: " + nts + "\r\nUSN: uuid:x::" + nt + "\r\nLOCATION: " + location +
               "\r\n\r\n";
    };
    const std::string igd2 = "urn:schemas-upnp-org:device:InternetGatewayDevice:2";
    const struct {
        std::string datagram;
        const char* kept;
    } cases[] = {
        {notify(igd2, "ssdp:alive", "http://h/alive"), "http://h/alive"},
        {notify(igd2, "ssdp:alive", "http://h/alive"), ""}, // a repeat
        {notify(igd2, "ssdp:byebye", "http://h/bye"), ""},
        {notify(igd2, "ssdp:update", "http://h/update"), ""},
        {notify("upnp:rootdevice", "ssdp:alive", "http://h/root"), ""},
        // An answer names its type in ST, an announcement in NT; the other header does not count.
        {answer("NT: " + igd2 + "\r\nLOCATION: http://h/nt-answer\r\n"), ""},
        // Searches of other control points, and our own looped back.
        {ssdpSearchRequest(gatewayType).c_str(), ""},
        {"M-SEARCH * HTTP/1.1\r\nST: " + igd2 + "\r\nLOCATION: http://h/search\r\n\r\n", ""},
        {"NOTIFY broken\r\n\r\n", ""},
    };
    SsdpAnswers answers{SsdpTarget::internetGateway()};
    for (const auto& c : cases) {
        EXPECT_EQ(text(answers.accept(c.datagram.data(), static_cast<int>(c.datagram.size()))),
                  c.kept)
            << c.datagram;
    }
    // An exact search takes an announcement of exactly its type only.
    SsdpAnswers exact{SsdpTarget(gatewayType)};
    const std::string other = notify(igd2, "ssdp:alive", "http://h/2");
    const std::string own = notify(gatewayType, "ssdp:alive", "http://h/1");
    EXPECT_EQ(text(exact.accept(other.data(), static_cast<int>(other.size()))), "");
    EXPECT_EQ(text(exact.accept(own.data(), static_cast<int>(own.size()))), "http://h/1");
}

TEST(SsdpAnswerHandling, SearchTargetMustMatchByteForByte) {
    SsdpAnswers answers{SsdpTarget(gatewayType)};
    feed(answers, answer("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                         "LOCATION: http://10.0.0.1/exact\r\n"));
    feed(answers, answer("ST: urn:schemas-upnp-org:device:internetgatewaydevice:1\r\n"
                         "LOCATION: http://10.0.0.1/lower\r\n"));
    feed(answers, answer("ST: upnp:rootdevice\r\nLOCATION: http://10.0.0.1/root\r\n"));
    feed(answers, answer("LOCATION: http://10.0.0.1/none\r\n"));
    EXPECT_EQ(locationsOf(answers), std::vector<std::string>{"http://10.0.0.1/exact"});

    // Without a target every answer counts, also one without ST.
    SsdpAnswers any{SsdpTarget(nullptr)};
    feed(any, answer("ST: upnp:rootdevice\r\nLOCATION: L1\r\n"));
    feed(any, answer("LOCATION: L2\r\n"));
    EXPECT_EQ(any.locations().count(), 2u);
}

TEST(SsdpAnswerHandling, HeaderNamesMatchInAnyCase) {
    SsdpAnswers answers{SsdpTarget(gatewayType)};
    const std::string target = gatewayType;
    feed(answers, answer("ST: " + target + "\r\nLOCATION: http://h/1\r\n"));
    feed(answers, answer("St: " + target + "\r\nLocation: http://h/2\r\n"));
    feed(answers, answer("st:" + target + "\r\nlocation:http://h/3\r\n"));
    EXPECT_EQ(answers.locations().count(), 3u);
}

TEST(SsdpAnswerHandling, EachDistinctLocationIsKeptOnce) {
    SsdpAnswers answers{SsdpTarget(gatewayType)};
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
    SsdpAnswers answers{SsdpTarget(gatewayType)};
    const std::string target = std::string("ST: ") + gatewayType + "\r\n";
    feed(answers, "\x01\x02garbage without a space\r\n\r\n");
    feed(answers, answer(target + "this line has no colon\r\nLOCATION: http://h/broken\r\n"));
    feed(answers, answer(target + ": empty name\r\nLOCATION: http://h/broken2\r\n"));
    feed(answers, answer(target + "LOCATION: http://h/good\r\n"));
    EXPECT_EQ(locationsOf(answers), std::vector<std::string>{"http://h/good"});
}

TEST(SsdpAnswerHandling, LocationsAreBounded) {
    SsdpAnswers answers{SsdpTarget(nullptr)};
    for (int n = 0; n < 40; ++n) {
        feed(answers, answer("LOCATION: http://10.0.0.1/" + std::to_string(n) + "\r\n"));
    }
    EXPECT_EQ(answers.locations().count(), SsdpAnswers::maxLocations);
    EXPECT_TRUE(answers.locations().contains("http://10.0.0.1/15"));
    EXPECT_FALSE(answers.locations().contains("http://10.0.0.1/16"));
}

TEST(SsdpAnswerHandling, OrderIsByHashBucketNotArrival) {
    SsdpAnswers answers{SsdpTarget(nullptr)};
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

    SsdpAnswers answers{SsdpTarget(nullptr)};
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
    // All three copies of the search went out all the same.
    EXPECT_TRUE(
        eventually([&] { return gateway.searchesAnswered() >= 3; }, std::chrono::seconds(5)));
    EXPECT_EQ(gateway.searchesAnswered(), 3);
}

TEST_F(SsdpMulticast, GatewaysAnsweringInTheirOwnVersionOrNamespaceAreFound) {
    FakeGateway dslforum(testDocument("igd1.xml"));
    dslforum.answerSearches({"urn:dslforum-org:device:InternetGatewayDevice:1"});
    dslforum.start();
    // Older gateway daemons answer a search for version 1 with their own version.
    FakeGateway second(testDocument("igd2.xml"));
    second.start();
    SsdpResponder ownVersion([&second](const std::string& search) {
        if (search.find("\r\nST: " + std::string(gatewayType) + "\r\n") == std::string::npos) {
            return std::vector<std::string>{};
        }
        return std::vector<std::string>{
            answer("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:2\r\nLOCATION: " +
                   second.location() + "\r\n")};
    });

    DeviceList exact;
    discover(gatewayType, exact.devices, 1);
    EXPECT_EQ(exact.devices.count(), 0);

    DeviceList list;
    discover(SsdpTarget::internetGateway(), list.devices, 2);
    std::vector<std::string> found;
    for (const Device* device : list.devices) {
        found.push_back(text(device->location));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected{dslforum.location(), second.location()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST_F(SsdpMulticast, AnAliveAnnouncementIsHeard) {
    FakeGateway gateway(testDocument("igd1.xml"));
    gateway.start();
    // Announces every 100 ms, a hundred times at most, until the pass has heard it.
    std::atomic<bool> heard{false};
    std::thread announcer([&] {
        RawSocket socket = RawSocket::openUdp();
        const std::string notify =
            "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
            "LOCATION: " +
            gateway.location() +
            "\r\nNT: urn:schemas-upnp-org:device:InternetGatewayDevice:2\r\nNTS: ssdp:alive\r\n"
            "USN: uuid:announcer\r\n\r\n";
        for (int sent = 0; sent < 100 && !heard; ++sent) {
            socket.sendToGroup("239.255.255.250", 1900, notify);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    DeviceList list;
    discover(SsdpTarget::internetGateway(), list.devices, 2);
    heard = true;
    announcer.join();
    ASSERT_EQ(list.devices.count(), 1);
    EXPECT_EQ(text(list.devices[0]->location), gateway.location());
}

// What discoverFirst hands over, in order.
struct Taker {
    DeviceTaker take(bool (*keep)(int index)) {
        return [this, keep](std::unique_ptr<Device>& device) {
            handed.push_back(text(device->location));
            if (!keep(static_cast<int>(handed.size()) - 1)) {
                return false;
            }
            kept = std::move(device);
            return true;
        };
    }
    std::vector<std::string> handed;
    std::unique_ptr<Device> kept;
};

TEST_F(SsdpMulticast, TheFirstDeviceTakenEndsThePass) {
    FakeGateway first(testDocument("igd1.xml"));
    FakeGateway second(testDocument("igd2.xml"));
    first.start();
    second.start();
    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/d.xml";
    SsdpResponder responder(
        {answer("ST: " + std::string(gatewayType) + "\r\nLOCATION: " + refused + "\r\n"),
         answer("ST: " + std::string(gatewayType) + "\r\nLOCATION: " + first.location() + "\r\n"),
         answer("ST: " + std::string(gatewayType) + "\r\nLOCATION: " + second.location() +
                "\r\n")});

    // A long window: the pass ends with the device, not with the window.
    const std::int64_t deadline = steadyMilliseconds() + 60'000;
    Taker taker;
    EXPECT_EQ(discoverFirst(SsdpTarget::internetGateway(), everyNetwork, deadline, 5,
                            taker.take([](int index) { return index == 1; })),
              DiscoveryOutcome::Taken);
    EXPECT_LT(steadyMilliseconds(), deadline);
    // The refused one is skipped, the first loaded one declined, the next one kept.
    EXPECT_EQ(taker.handed, (std::vector<std::string>{first.location(), second.location()}));
    ASSERT_NE(taker.kept, nullptr);
    EXPECT_EQ(text(taker.kept->location), second.location());
}

TEST_F(SsdpMulticast, APassTellsSilenceFromAnswersNotTaken) {
    Taker taker;
    EXPECT_EQ(discoverFirst(SsdpTarget::internetGateway(), everyNetwork, steadyMilliseconds() + 500,
                            5, taker.take([](int) { return true; })),
              DiscoveryOutcome::NoAnswer);

    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/d.xml";
    SsdpResponder responder(
        {answer("ST: " + std::string(gatewayType) + "\r\nLOCATION: " + refused + "\r\n")});
    EXPECT_EQ(discoverFirst(SsdpTarget::internetGateway(), everyNetwork,
                            steadyMilliseconds() + 1000, 5, taker.take([](int) { return true; })),
              DiscoveryOutcome::NoneTaken);
    EXPECT_TRUE(taker.handed.empty());
}

TEST_F(SsdpMulticast, ANamedAddressIsAskedDirectlyAndAlone) {
    FakeGateway gateway(testDocument("igd1.xml"));
    gateway.start();
    std::mutex lock;
    std::vector<std::string> hosts;
    SsdpResponder responder([&](const std::string& search) {
        const auto start = search.find("HOST: ");
        std::lock_guard guard(lock);
        hosts.push_back(search.substr(start + 6, search.find("\r\n", start) - start - 6));
        return std::vector<std::string>{answer("ST: " + std::string(gatewayType) +
                                               "\r\nLOCATION: " + gateway.location() + "\r\n")};
    });
    Taker taker;
    std::uint32_t loopback = 0;
    ASSERT_TRUE(parseDottedQuad("127.0.0.1", loopback));
    EXPECT_EQ(discoverFirst(SsdpTarget::internetGateway(), loopback, steadyMilliseconds() + 60'000,
                            5, taker.take([](int) { return true; })),
              DiscoveryOutcome::Taken);
    std::lock_guard guard(lock);
    ASSERT_FALSE(hosts.empty());
    for (const std::string& host : hosts) {
        EXPECT_EQ(host, "127.0.0.1:1900");
    }
}

} // namespace
} // namespace kestrum::test
