#include "tests/support/FakeGateway.h"

#include "tests/support/ScriptedPeer.h"
#include "tests/support/SsdpResponder.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

namespace kestrum::test {

namespace {

const std::string address = "127.0.0.1";

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

struct FakeGateway::State {
    std::string description;

    mutable std::mutex lock; // guards the settings and records shared with the peers' threads
    Behaviour behaviour = Behaviour::Answer;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    std::string soapReply;
    std::map<std::string, std::string> actionReplies;
    std::vector<std::string> searchTargets;
    std::vector<std::string> requests;

    std::unique_ptr<ScriptedPeer> http;
    std::unique_ptr<SsdpResponder> ssdp;
    int port = 0;

    void openHttp();
    void serve(PeerConnection& client);
    std::string answerFor(const std::string& request, int ownPort);
    std::string soapAnswer(const std::string& request);
    std::vector<std::string> answerSearch(const std::string& search, int ownPort);
};

void FakeGateway::State::openHttp() {
    const int previousPort = port;
    for (int attempt = 0; attempt < 10; ++attempt) {
        http = std::make_unique<ScriptedPeer>([this](PeerConnection& client) { serve(client); });
        port = http->port();
        if (port != previousPort) {
            return;
        }
    }
    throw std::runtime_error("fake gateway: no new port");
}

void FakeGateway::State::serve(PeerConnection& client) {
    const std::string request = client.readRequest();
    Behaviour current;
    {
        std::lock_guard<std::mutex> guard(lock);
        requests.push_back(request);
        current = behaviour;
    }
    switch (current) {
    case Behaviour::Silent:
        client.keepOpen();
        return;
    case Behaviour::Garbage:
        client.send("\x01\x02\x03 this is no HTTP\r\nno header here\r\n\r\n");
        break;
    case Behaviour::Fail:
        client.send(httpResponse("500 Internal Server Error", soapFault("501", "Action Failed")));
        break;
    case Behaviour::ServerError:
        client.send(httpResponse("500 Internal Server Error", "<html><body>Busy</body></html>"));
        break;
    case Behaviour::Answer:
        if (const std::string answer = answerFor(request, client.port()); answer.empty()) {
            client.keepOpen();
        } else {
            client.send(answer);
        }
        break;
    }
}

std::string FakeGateway::State::answerFor(const std::string& request, int ownPort) {
    if (request.rfind("POST ", 0) == 0) {
        return soapAnswer(request);
    }
    if (request.rfind(std::string("GET ") + descriptionPath + " ", 0) == 0) {
        std::string document = description;
        replaceAll(document, "{address}", address);
        replaceAll(document, "{port}", std::to_string(ownPort));
        return httpResponse("200 OK", document);
    }
    return httpResponse("404 Not Found", "<html><body>Not Found</body></html>");
}

std::string FakeGateway::State::soapAnswer(const std::string& request) {
    std::string soapAction = headerValue(request, "SOAPAction");
    soapAction.erase(std::remove(soapAction.begin(), soapAction.end(), '"'), soapAction.end());
    const auto hash = soapAction.find('#');
    const std::string type = hash == std::string::npos ? common1 : soapAction.substr(0, hash);
    const std::string action = hash == std::string::npos ? soapAction : soapAction.substr(hash + 1);

    std::lock_guard<std::mutex> guard(lock);
    if (!soapReply.empty()) {
        return httpResponse("200 OK", soapReply);
    }
    if (const auto reply = actionReplies.find(action); reply != actionReplies.end()) {
        return reply->second;
    }
    std::string argument;
    std::uint64_t value = 0;
    if (action == "GetTotalBytesReceived") {
        argument = "NewTotalBytesReceived";
        value = received;
    } else if (action == "GetTotalBytesSent") {
        argument = "NewTotalBytesSent";
        value = sent;
    } else {
        return httpResponse("500 Internal Server Error", soapFault("401", "Invalid Action"));
    }
    return httpResponse("200 OK", envelope("<u:" + action + "Response xmlns:u=\"" + type + "\"><" +
                                           argument + ">" + std::to_string(value) + "</" +
                                           argument + "></u:" + action + "Response>"));
}

std::vector<std::string> FakeGateway::State::answerSearch(const std::string& search, int ownPort) {
    const std::string target = headerValue(search, "ST");
    std::string answered;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const std::string& known : searchTargets) {
            if (target == known || (target == "ssdp:all" && answered.empty())) {
                answered = known;
            }
        }
    }
    if (answered.empty()) {
        return {};
    }
    // Searchers in the test's namespace are local, so the answer goes back over loopback.
    return {"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + answered +
            "\r\nUSN: uuid:fake-gateway::" + answered +
            "\r\nEXT:\r\nSERVER: Test/1.0 UPnP/1.1 FakeGateway/1.0\r\nLOCATION: http://" + address +
            ":" + std::to_string(ownPort) + descriptionPath + "\r\n\r\n"};
}

std::string httpResponse(const char* status, const std::string& body) {
    return std::string("HTTP/1.1 ") + status +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string envelope(const std::string& content) {
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           content + "</s:Body></s:Envelope>\r\n";
}

std::string soapFault(const char* code, const char* description) {
    return envelope(std::string("<s:Fault><faultcode>s:Client</faultcode>"
                                "<faultstring>UPnPError</faultstring><detail>"
                                "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                                "<errorCode>") +
                    code + "</errorCode><errorDescription>" + description +
                    "</errorDescription></UPnPError></detail></s:Fault>");
}

namespace {

std::string connectionDevice(const DescriptionParts& parts) {
    if (parts.connectionType.empty()) {
        return "";
    }
    return "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1"
           "</deviceType><serviceList><service><serviceType>" +
           parts.connectionType +
           "</serviceType><serviceId>urn:upnp-org:serviceId:WANConn1</serviceId>"
           "<SCPDURL>/WANConn.xml</SCPDURL><controlURL>" +
           parts.connectionUrl +
           "</controlURL><eventSubURL>/evt/Conn</eventSubURL></service></serviceList>"
           "</device></deviceList>";
}

} // namespace

std::string description(const DescriptionParts& parts) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device><deviceType>" +
           parts.rootType + "</deviceType>" + parts.elements + "<deviceList><device><deviceType>" +
           parts.wanType + "</deviceType><serviceList><service><serviceType>" + parts.serviceType +
           "</serviceType><serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>"
           "<SCPDURL>/WANCfg.xml</SCPDURL><controlURL>" +
           parts.controlUrl +
           "</controlURL><eventSubURL>/evt/CmnIfCfg</eventSubURL></service></serviceList>" +
           connectionDevice(parts) + "</device></deviceList></device></root>\r\n";
}

std::string namedDescription(const std::string& name, const std::string& controlUrl) {
    return description(
        {.elements = "<friendlyName>" + name + "</friendlyName>", .controlUrl = controlUrl});
}

FakeGateway::FakeGateway(std::string description) : state_(std::make_unique<State>()) {
    state_->description = std::move(description);
}

FakeGateway::~FakeGateway() {
    stop();
}

void FakeGateway::start() {
    stop();
    state_->openHttp();
    bool answerSearches;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        answerSearches = !state_->searchTargets.empty();
    }
    if (answerSearches) {
        state_->ssdp = std::make_unique<SsdpResponder>(
            [state = state_.get(), port = state_->port](const std::string& search) {
                return state->answerSearch(search, port);
            });
    }
}

void FakeGateway::stop() {
    state_->ssdp.reset();
    state_->http.reset();
}

int FakeGateway::port() const {
    return state_->port;
}

std::string FakeGateway::location() const {
    return "http://" + address + ":" + std::to_string(state_->port) + descriptionPath;
}

void FakeGateway::setBehaviour(Behaviour behaviour) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->behaviour = behaviour;
}

void FakeGateway::setCounters(std::uint64_t received, std::uint64_t sent) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->received = received;
    state_->sent = sent;
}

void FakeGateway::setSoapReply(std::string body) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->soapReply = std::move(body);
}

void FakeGateway::setActionReply(const std::string& action, std::string response) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->actionReplies[action] = std::move(response);
}

void FakeGateway::answerSearches(std::vector<std::string> searchTargets) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->searchTargets = std::move(searchTargets);
}

std::vector<std::string> FakeGateway::requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

int FakeGateway::searchesAnswered() const {
    return state_->ssdp ? state_->ssdp->searchesAnswered() : 0;
}

} // namespace kestrum::test
