#include "tests/support/FakeGateway.h"

#include "tests/support/RawSocket.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kestrum {

using test::RawSocket;

namespace {

const std::string address = "127.0.0.1";
constexpr int pollMilliseconds = 20;
constexpr int requestMilliseconds = 2000;
constexpr const char* defaultServiceType =
    "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The value of a header of an HTTP head, its name matched in any letter case; empty if missing.
std::string headerValue(const std::string& head, const std::string& name) {
    const std::string wanted = "\n" + lowered(name) + ":";
    const auto at = lowered(head).find(wanted);
    if (at == std::string::npos) {
        return {};
    }
    const auto start = at + wanted.size();
    const auto end = head.find_first_of("\r\n", start);
    return trimmed(head.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
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

std::string fault(const char* code, const char* description) {
    return envelope(std::string("<s:Fault><faultcode>s:Client</faultcode>"
                                "<faultstring>UPnPError</faultstring><detail>"
                                "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                                "<errorCode>") +
                    code + "</errorCode><errorDescription>" + description +
                    "</errorDescription></UPnPError></detail></s:Fault>");
}

} // namespace

struct FakeGateway::State {
    std::string description;

    mutable std::mutex lock; // guards the settings and records shared with the server threads
    Behaviour behaviour = Behaviour::Answer;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    std::string soapReply;
    std::vector<std::string> searchTargets;
    std::vector<std::string> requests;
    int searchesAnswered = 0;

    RawSocket listener;
    RawSocket ssdp;
    std::vector<RawSocket> heldConnections; // HTTP thread only, while it runs
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread http;
    std::thread searches;

    void openListener();
    void serveHttp();
    void handleConnection(RawSocket client);
    std::string answerFor(const std::string& request);
    std::string soapAnswer(const std::string& request);
    void serveSearches();
    void handleSearch(const std::string& search, int fromPort);
};

void FakeGateway::State::openListener() {
    const int previousPort = port;
    for (int attempt = 0; attempt < 10; ++attempt) {
        listener = RawSocket::listenTcp();
        port = listener.localPort();
        if (port != previousPort) {
            return;
        }
    }
    throw std::runtime_error("fake gateway: no new port");
}

void FakeGateway::State::serveHttp() {
    while (!stopping) {
        RawSocket client = listener.accept(pollMilliseconds);
        if (client.isOpen()) {
            handleConnection(std::move(client));
        }
    }
}

void FakeGateway::State::handleConnection(RawSocket client) {
    std::string request = client.receiveUntil("\r\n\r\n", requestMilliseconds);
    const long length = std::atol(headerValue(request, "Content-Length").c_str());
    if (length > 0) {
        request += client.receiveExactly(static_cast<std::size_t>(length), requestMilliseconds);
    }
    Behaviour current;
    {
        std::lock_guard<std::mutex> guard(lock);
        requests.push_back(request);
        current = behaviour;
    }
    switch (current) {
    case Behaviour::Silent:
        heldConnections.push_back(std::move(client));
        return;
    case Behaviour::Garbage:
        client.sendAll("\x01\x02\x03 this is no HTTP\r\nno header here\r\n\r\n");
        break;
    case Behaviour::Fail:
        client.sendAll(httpResponse("500 Internal Server Error", fault("501", "Action Failed")));
        break;
    case Behaviour::Answer:
        client.sendAll(answerFor(request));
        break;
    }
}

std::string FakeGateway::State::answerFor(const std::string& request) {
    if (request.rfind("POST ", 0) == 0) {
        return soapAnswer(request);
    }
    if (request.rfind(std::string("GET ") + descriptionPath + " ", 0) == 0) {
        std::string document = description;
        replaceAll(document, "{address}", address);
        replaceAll(document, "{port}", std::to_string(port));
        return httpResponse("200 OK", document);
    }
    return httpResponse("404 Not Found", "<html><body>Not Found</body></html>");
}

std::string FakeGateway::State::soapAnswer(const std::string& request) {
    std::string soapAction = headerValue(request, "SOAPAction");
    soapAction.erase(std::remove(soapAction.begin(), soapAction.end(), '"'), soapAction.end());
    const auto hash = soapAction.find('#');
    const std::string type =
        hash == std::string::npos ? defaultServiceType : soapAction.substr(0, hash);
    const std::string action = hash == std::string::npos ? soapAction : soapAction.substr(hash + 1);

    std::lock_guard<std::mutex> guard(lock);
    if (!soapReply.empty()) {
        return httpResponse("200 OK", soapReply);
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
        return httpResponse("500 Internal Server Error", fault("401", "Invalid Action"));
    }
    return httpResponse("200 OK", envelope("<u:" + action + "Response xmlns:u=\"" + type + "\"><" +
                                           argument + ">" + std::to_string(value) + "</" +
                                           argument + "></u:" + action + "Response>"));
}

void FakeGateway::State::serveSearches() {
    while (!stopping) {
        int fromPort = 0;
        const std::string search = ssdp.receiveDatagram(pollMilliseconds, &fromPort);
        if (!search.empty()) {
            handleSearch(search, fromPort);
        }
    }
}

void FakeGateway::State::handleSearch(const std::string& search, int fromPort) {
    if (search.rfind("M-SEARCH * HTTP/1.1\r\n", 0) != 0) {
        return;
    }
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
        return;
    }
    // Searchers in the test's namespace are local, so the answer goes back over loopback.
    ssdp.sendTo(fromPort, "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + answered +
                              "\r\nUSN: uuid:fake-gateway::" + answered +
                              "\r\nEXT:\r\nSERVER: Test/1.0 UPnP/1.1 FakeGateway/1.0\r\n"
                              "LOCATION: http://" +
                              address + ":" + std::to_string(port) + descriptionPath + "\r\n\r\n");
    std::lock_guard<std::mutex> guard(lock);
    ++searchesAnswered;
}

FakeGateway::FakeGateway(std::string description) : state_(std::make_unique<State>()) {
    state_->description = std::move(description);
}

FakeGateway::~FakeGateway() {
    stop();
}

void FakeGateway::start() {
    stop();
    state_->openListener();
    bool answerSearches;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        answerSearches = !state_->searchTargets.empty();
    }
    if (answerSearches) {
        state_->ssdp = RawSocket::joinMulticastGroup("239.255.255.250", 1900);
    }
    state_->stopping = false;
    state_->http = std::thread([this] { state_->serveHttp(); });
    if (answerSearches) {
        state_->searches = std::thread([this] { state_->serveSearches(); });
    }
}

void FakeGateway::stop() {
    state_->stopping = true;
    if (state_->http.joinable()) {
        state_->http.join();
    }
    if (state_->searches.joinable()) {
        state_->searches.join();
    }
    state_->heldConnections.clear();
    state_->listener.close();
    state_->ssdp.close();
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

void FakeGateway::answerSearches(std::vector<std::string> searchTargets) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->searchTargets = std::move(searchTargets);
}

std::vector<std::string> FakeGateway::requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

int FakeGateway::searchesAnswered() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->searchesAnswered;
}

} // namespace kestrum
