#include "tests/hostile/HostilePeers.h"

#include "tests/support/RawSocket.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace kestrum::test {

namespace {

constexpr int pollMilliseconds = 20;
constexpr int requestMilliseconds = 2000;
constexpr std::size_t hugeLength = 100 * 1024 * 1024;
constexpr std::size_t hugeChunk = 16 * 1024;

std::string soapFault() {
    const std::string body =
        "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
        "<detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>501"
        "</errorCode><errorDescription>Action Failed</errorDescription></UPnPError></detail>"
        "</s:Fault></s:Body></s:Envelope>";
    return "HTTP/1.0 500 Internal Server Error\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The request target of a request head, "/" when it has none.
std::string requestPath(const std::string& head) {
    const auto first = head.find(' ');
    const auto second = first == std::string::npos ? first : head.find(' ', first + 1);
    if (second == std::string::npos) {
        return "/";
    }
    return head.substr(first + 1, second - first - 1);
}

} // namespace

struct HostileHttpServer::State {
    std::atomic<int>& requests;
    std::mutex lock; // guards behaviour and connections
    Behaviour behaviour;
    std::string reply;
    RawSocket listener = RawSocket::listenTcp();
    int port = listener.localPort();
    std::atomic<bool> stopping{false};
    std::vector<std::thread> connections;
    std::thread acceptor;

    State(std::atomic<int>& counter, Behaviour initial, std::string body)
        : requests(counter), behaviour(initial), reply(std::move(body)) {}

    void acceptConnections() {
        while (!stopping) {
            RawSocket client = listener.accept(pollMilliseconds);
            if (client.isOpen()) {
                std::lock_guard<std::mutex> guard(lock);
                connections.emplace_back(
                    [this, connection = std::move(client)]() mutable { serve(connection); });
            }
        }
    }

    // Waits while the client stays connected; false once it has gone or the server stops.
    bool pause(RawSocket& client, int milliseconds) {
        for (int waited = 0; waited < milliseconds && !stopping; waited += pollMilliseconds) {
            char byte;
            if (client.receive(&byte, 1, pollMilliseconds) == 0) {
                return false;
            }
        }
        return !stopping;
    }

    void serve(RawSocket& client) {
        const std::string head = client.receiveUntil("\r\n\r\n", requestMilliseconds);
        const auto lengthAt = head.find("Content-Length: ");
        if (lengthAt != std::string::npos) {
            const long length = std::atol(head.c_str() + lengthAt + 16);
            client.receiveExactly(static_cast<std::size_t>(length), requestMilliseconds);
        }
        ++requests;
        Behaviour current;
        std::string body;
        {
            std::lock_guard<std::mutex> guard(lock);
            current = behaviour;
            body = reply;
        }
        switch (current) {
        case Behaviour::Reply:
            client.sendAll("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body);
            break;
        case Behaviour::Huge: {
            if (!client.sendAll("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(hugeLength) +
                                "\r\n\r\n")) {
                return;
            }
            // Generated as it goes: the peer itself holds one chunk, never the whole body.
            const std::string chunk(hugeChunk, '<');
            for (std::size_t sent = 0; sent < hugeLength && !stopping; sent += hugeChunk) {
                if (!client.sendAll(chunk)) {
                    return;
                }
            }
            break;
        }
        case Behaviour::Unterminated:
            client.sendAll("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml "
                           "version=\"1.0\"?><root><device>");
            pause(client, 24 * 3600 * 1000);
            break;
        case Behaviour::Trickle: {
            const std::string response =
                "HTTP/1.0 200 OK\r\nContent-Length: 200\r\n\r\n" + std::string(200, ' ');
            for (char byte : response) {
                if (!client.sendAll(std::string(1, byte)) || !pause(client, 1000)) {
                    return;
                }
            }
            break;
        }
        case Behaviour::SlowRedirect:
            if (!pause(client, 1000)) {
                return;
            }
            [[fallthrough]];
        case Behaviour::RedirectLoop:
            client.sendAll("HTTP/1.0 302 Found\r\nLocation: " + requestPath(head) +
                           "\r\nContent-Length: 0\r\n\r\n");
            break;
        case Behaviour::Fault:
            client.sendAll(soapFault());
            break;
        }
    }
};

HostileHttpServer::HostileHttpServer(Behaviour behaviour, std::string reply)
    : state_(std::make_unique<State>(requests_, behaviour, std::move(reply))) {
    state_->acceptor = std::thread([this] { state_->acceptConnections(); });
}

HostileHttpServer::~HostileHttpServer() {
    state_->stopping = true;
    state_->acceptor.join();
    for (std::thread& connection : state_->connections) {
        connection.join();
    }
}

void HostileHttpServer::setBehaviour(Behaviour behaviour) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->behaviour = behaviour;
}

void HostileHttpServer::setReply(std::string reply) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->reply = std::move(reply);
}

std::string HostileHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

struct SsdpResponder::State {
    std::vector<std::string> datagrams;
    RawSocket socket = RawSocket::joinMulticastGroup("239.255.255.250", 1900);
    std::atomic<bool> stopping{false};
    std::thread thread;
};

SsdpResponder::SsdpResponder(std::vector<std::string> datagrams)
    : state_(std::make_unique<State>()) {
    state_->datagrams = std::move(datagrams);
    state_->thread = std::thread([this] {
        // One burst per search: the monitor's searches bound what is sent.
        while (!state_->stopping) {
            int fromPort = 0;
            const std::string search = state_->socket.receiveDatagram(pollMilliseconds, &fromPort);
            if (search.rfind("M-SEARCH ", 0) != 0) {
                continue;
            }
            for (const std::string& datagram : state_->datagrams) {
                state_->socket.sendTo(fromPort, datagram);
            }
            ++answered_;
        }
    });
}

SsdpResponder::~SsdpResponder() {
    state_->stopping = true;
    state_->thread.join();
}

std::string ssdpAnswer(const std::string& location) {
    return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
           "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
           "USN: uuid:hostile::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
           "EXT:\r\nLOCATION: " +
           location + "\r\n\r\n";
}

long long peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            long long kilobytes = 0;
            fields >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}

} // namespace kestrum::test
