#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {

constexpr const char* igd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
constexpr const char* wan1 = "urn:schemas-upnp-org:device:WANDevice:1";
constexpr const char* common1 = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";
constexpr const char* ipConnection1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
constexpr const char* pppConnection1 = "urn:schemas-upnp-org:service:WANPPPConnection:1";

// A complete response with an XML body; the connection closes after it.
std::string httpResponse(const char* status, const std::string& body);
// A SOAP envelope around content.
std::string envelope(const std::string& content);
// The envelope of a UPnP error.
std::string soapFault(const char* code, const char* description);

// A gateway description whose WAN device offers one service at controlUrl; the elements go into
// the root device before its device list (its name, or markup that stops a reader there and so
// leaves a device without counters).
struct DescriptionParts {
    std::string elements;
    std::string controlUrl = "/ctl/CmnIfCfg";
    std::string rootType = igd1;
    std::string wanType = wan1;
    std::string serviceType = common1;
    // When not empty, the WAN device holds a connection device with a service of this type at
    // connectionUrl.
    std::string connectionType = "";
    std::string connectionUrl = "/ctl/IPConn";
};
std::string description(const DescriptionParts& parts);
// The description of a gateway with this friendly name.
std::string namedDescription(const std::string& name,
                             const std::string& controlUrl = "/ctl/CmnIfCfg");

// An Internet gateway for tests on 127.0.0.1, built on raw sockets and literal documents, that
// serves a device description over HTTP, answers the two byte-counter actions by SOAP and, when
// asked, answers SSDP searches.
class FakeGateway {
public:
    enum class Behaviour {
        Answer,      // the description, the counters, a fault for unknown actions
        Fail,        // status 500 with a SOAP fault, to every request
        ServerError, // status 500 with an HTML page, to every request
        Garbage,     // bytes that are no HTTP response, to every request
        Silent,      // read each request and never answer; the connection stays open until stop
    };

    static constexpr const char* descriptionPath = "/rootDesc.xml";

    // In the description, every "{address}" and "{port}" becomes the server's address and port.
    explicit FakeGateway(std::string description);
    FakeGateway(const FakeGateway&) = delete;
    FakeGateway& operator=(const FakeGateway&) = delete;
    ~FakeGateway();

    // Listens on a new ephemeral port (never the one of the previous start).
    void start();
    // Closes the listener and every open connection; start may follow.
    void stop();
    int port() const;
    // http://127.0.0.1:port/rootDesc.xml
    std::string location() const;

    void setBehaviour(Behaviour behaviour);
    void setCounters(std::uint64_t received, std::uint64_t sent);
    // A status 200 SOAP answer with exactly this body instead of the counter envelope; an empty
    // body goes back to the counters.
    void setSoapReply(std::string body);
    // The answer to one action, a whole HTTP response (httpResponse), instead of the default
    // one (the counters, or a fault for any other action). An empty response is no answer: the
    // request is read and its connection held open until stop, as Silent does for every one.
    void setActionReply(const std::string& action, std::string response);
    // Answers M-SEARCH datagrams to 239.255.255.250:1900 whose ST is one of these targets or
    // "ssdp:all", from the next start on (multicast: only inside a test's own network namespace).
    void answerSearches(std::vector<std::string> searchTargets);

    // Every HTTP request received, byte for byte, in order of arrival.
    std::vector<std::string> requests() const;
    // Searches answered since the last start.
    int searchesAnswered() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kestrum::test
