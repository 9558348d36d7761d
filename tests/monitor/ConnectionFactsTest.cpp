#include "monitor/CommonInterfaceLookup.h"
#include "monitor/ConnectionFactsReader.h"
#include "monitor/ExchangeGate.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeGateway.h"
#include "upnp/Device.h"
#include "upnp/Service.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrum::test {
namespace {

using namespace std::chrono_literals;

std::string answer(const char* action, const char* serviceType,
                   const std::map<std::string, std::string>& arguments) {
    std::string content = std::string("<u:") + action + "Response xmlns:u=\"" + serviceType + "\">";
    for (const auto& [name, value] : arguments) {
        content += "<" + name + ">" + value + "</" + name + ">";
    }
    return httpResponse("200 OK", envelope(content + "</u:" + action + "Response>"));
}

std::string linkProperties(const char* type, const char* down, const char* up) {
    return answer("GetCommonLinkProperties", common1,
                  {{"NewWANAccessType", type},
                   {"NewLayer1UpstreamMaxBitRate", up},
                   {"NewLayer1DownstreamMaxBitRate", down},
                   {"NewPhysicalLinkStatus", "Up"}});
}

std::string statusInfo(const char* serviceType, const char* status, const char* uptime) {
    return answer("GetStatusInfo", serviceType,
                  {{"NewConnectionStatus", status},
                   {"NewLastConnectionError", "ERROR_NONE"},
                   {"NewUptime", uptime}});
}

std::string externalAddress(const char* serviceType, const char* address) {
    return answer("GetExternalIPAddress", serviceType, {{"NewExternalIPAddress", address}});
}

const std::string refused = httpResponse("500 Internal Server Error", soapFault("501", "Failed"));
const std::string lost = "\x01\x02 no answer at all\r\n\r\n";

// What an earlier reading found: a fact that the next one refuses must go, one whose answer is
// lost must stay.
ConnectionFacts earlier() {
    ConnectionFacts facts;
    facts.friendlyName = "Router";
    facts.accessType = "Cable";
    facts.hasCapacity = true;
    facts.downstreamBitRate = 1;
    facts.upstreamBitRate = 2;
    facts.physicalLinkStatus = "Down";
    facts.connectionStatus = "Connecting";
    facts.hasUptime = true;
    facts.uptimeSeconds = 3;
    facts.externalAddress = "192.0.2.1";
    return facts;
}

struct Expected {
    const char* accessType;
    bool hasCapacity;
    std::uint32_t down;
    std::uint32_t up;
    const char* linkStatus;
    const char* connectionStatus;
    bool hasUptime;
    std::uint32_t uptime;
    const char* address;
};

TEST(ConnectionFactsReader, ReadsWhatTheGatewayAnswersAndEmptiesWhatItRefuses) {
    const Expected full{"DSL",       true, 16'000'000, 1'000'000,    "Up",
                        "Connected", true, 3600,       "203.0.113.7"};
    const Expected kept{"Cable", true, 1, 2, "Down", "Connecting", true, 3, "192.0.2.1"};
    const struct {
        const char* what;
        std::string connectionType;
        std::map<std::string, std::string> replies;
        Expected expected;
    } cases[] = {
        {"every answer, WANIPConnection",
         ipConnection1,
         {{"GetCommonLinkProperties", linkProperties("DSL", "16000000", "1000000")},
          {"GetStatusInfo", statusInfo(ipConnection1, "Connected", "3600")},
          {"GetExternalIPAddress", externalAddress(ipConnection1, "203.0.113.7")}},
         full},
        {"WANPPPConnection instead",
         pppConnection1,
         {{"GetCommonLinkProperties", linkProperties("DSL", "16000000", "1000000")},
          {"GetStatusInfo", statusInfo(pppConnection1, "Connected", "3600")},
          {"GetExternalIPAddress", externalAddress(pppConnection1, "203.0.113.7")}},
         full},
        {"every action refused",
         ipConnection1,
         {{"GetCommonLinkProperties", refused},
          {"GetStatusInfo", refused},
          {"GetExternalIPAddress", refused}},
         {"", false, 0, 0, "", "", false, 0, ""}},
        // The fake gateway answers actions it was not given with 401 Invalid Action.
        {"no action known", ipConnection1, {}, {"", false, 0, 0, "", "", false, 0, ""}},
        {"no connection service",
         "",
         {{"GetCommonLinkProperties", linkProperties("Ethernet", "50000000", "10000000")}},
         {"Ethernet", true, 50'000'000, 10'000'000, "Up", "", false, 0, ""}},
        {"an empty address",
         ipConnection1,
         {{"GetExternalIPAddress", externalAddress(ipConnection1, "")}},
         {"", false, 0, 0, "", "", false, 0, ""}},
        {"every answer lost",
         ipConnection1,
         {{"GetCommonLinkProperties", lost},
          {"GetStatusInfo", lost},
          {"GetExternalIPAddress", lost}},
         kept},
        // ui4 values: beyond 32 bits, negative or no number at all is no value.
        {"numbers at the edges",
         ipConnection1,
         {{"GetCommonLinkProperties", linkProperties("DSL", "4294967295", "0")},
          {"GetStatusInfo", statusInfo(ipConnection1, "Connected", " 4294967295 ")}},
         {"DSL", true, 4'294'967'295u, 0, "Up", "Connected", true, 4'294'967'295u, ""}},
        {"numbers out of range",
         ipConnection1,
         {{"GetCommonLinkProperties", linkProperties("DSL", "4294967296", "1000000")},
          {"GetStatusInfo", statusInfo(ipConnection1, "Connected", "-1")}},
         {"DSL", false, 0, 0, "Up", "Connected", false, 0, ""}},
        {"no numbers",
         ipConnection1,
         {{"GetCommonLinkProperties", linkProperties("DSL", "", "fast")},
          {"GetStatusInfo", statusInfo(ipConnection1, "Disconnected", "1e3")}},
         {"DSL", false, 0, 0, "Up", "Disconnected", false, 0, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeGateway gateway(description({.elements = "<friendlyName>Router</friendlyName>",
                                         .connectionType = c.connectionType,
                                         .connectionUrl = "/ctl/Conn"}));
        for (const auto& [action, reply] : c.replies) {
            gateway.setActionReply(action, reply);
        }
        gateway.start();
        Device root;
        root.load(gateway.location().c_str(), 10);
        const CounterServices counters = findCounterServices(root);
        ASSERT_EQ(counters.count, 1);
        const Service* connection = findConnectionService(*counters.services[0]);
        ASSERT_EQ(connection != nullptr, !c.connectionType.empty());

        ConnectionFacts facts = earlier();
        ExchangeGate gate;
        readConnectionFacts({counters.services[0], connection}, 10, gate, facts);
        EXPECT_STREQ(facts.friendlyName.c_str(), "Router");
        EXPECT_STREQ(facts.accessType.c_str(), c.expected.accessType);
        EXPECT_EQ(facts.hasCapacity, c.expected.hasCapacity);
        EXPECT_EQ(facts.downstreamBitRate, c.expected.down);
        EXPECT_EQ(facts.upstreamBitRate, c.expected.up);
        EXPECT_STREQ(facts.physicalLinkStatus.c_str(), c.expected.linkStatus);
        EXPECT_STREQ(facts.connectionStatus.c_str(), c.expected.connectionStatus);
        EXPECT_EQ(facts.hasUptime, c.expected.hasUptime);
        EXPECT_EQ(facts.uptimeSeconds, c.expected.uptime);
        EXPECT_STREQ(facts.externalAddress.c_str(), c.expected.address);

        // The connection's actions go to its own service, by its own type.
        if (!c.connectionType.empty()) {
            bool statusAsked = false;
            for (const std::string& request : gateway.requests()) {
                if (request.find("#GetStatusInfo") != std::string::npos) {
                    statusAsked = true;
                    EXPECT_EQ(request.rfind("POST /ctl/Conn ", 0), 0u);
                    EXPECT_NE(request.find(c.connectionType + "#GetStatusInfo"), std::string::npos);
                }
            }
            EXPECT_TRUE(statusAsked);
        }
    }
}

// The order of events across threads, as each thread saw it.
class EventLog {
public:
    void add(const std::string& event) {
        const std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> events() {
        const std::lock_guard lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

TEST(ExchangeGate, FactsWaitForThePollsUnderWay) {
    ExchangeGate gate;
    EventLog log;
    // Two polls pass together.
    std::optional<ExchangeGate::PollTurn> first;
    std::optional<ExchangeGate::PollTurn> second;
    first.emplace(gate);
    second.emplace(gate);
    std::thread facts([&] {
        const ExchangeGate::FactsTurn turn(gate);
        log.add("facts in");
    });
    std::this_thread::sleep_for(100ms);
    log.add("first poll out");
    first.reset();
    std::this_thread::sleep_for(100ms);
    log.add("second poll out");
    second.reset();
    facts.join();
    EXPECT_EQ(log.events(),
              (std::vector<std::string>{"first poll out", "second poll out", "facts in"}));
}

// A reading of several facts asks them in a row; a poll held back by one goes before the next.
TEST(ExchangeGate, APollHeldBackGoesBeforeTheNextFacts) {
    ExchangeGate gate;
    EventLog log;
    std::optional<ExchangeGate::FactsTurn> facts;
    facts.emplace(gate);
    std::thread poll([&] {
        const ExchangeGate::PollTurn turn(gate);
        log.add("poll in");
        std::this_thread::sleep_for(100ms);
        log.add("poll out");
    });
    ASSERT_TRUE(eventually([&] { return gate.pollsWaiting() == 1; }, 60s));
    facts.reset();
    facts.emplace(gate);
    log.add("next facts in");
    facts.reset();
    poll.join();
    EXPECT_EQ(log.events(), (std::vector<std::string>{"poll in", "poll out", "next facts in"}));
}

TEST(ExchangeGate, FactsHoldBackNewPolls) {
    ExchangeGate gate;
    EventLog log;
    std::mutex mutex;
    std::condition_variable changed;
    bool factsIn = false;
    bool release = false;
    std::thread facts([&] {
        const ExchangeGate::FactsTurn turn(gate);
        std::unique_lock lock(mutex);
        factsIn = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        log.add("facts out");
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 60s, [&] { return factsIn; }));
    }
    std::thread poll([&] {
        const ExchangeGate::PollTurn turn(gate);
        log.add("poll in");
    });
    std::this_thread::sleep_for(100ms);
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    facts.join();
    poll.join();
    EXPECT_EQ(log.events(), (std::vector<std::string>{"facts out", "poll in"}));
}

} // namespace
} // namespace kestrum::test
