#include "tests/hostile/HostilePeers.h"

#include "tests/support/FakeGateway.h"

#include <fstream>
#include <sstream>

namespace kestrum::test {

namespace {

constexpr std::size_t hugeLength = 100 * 1024 * 1024;
constexpr std::size_t hugeChunk = 16 * 1024;

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

HostileHttpServer::HostileHttpServer(Behaviour behaviour, std::string reply)
    : behaviour_(behaviour), reply_(std::move(reply)),
      peer_([this](PeerConnection& client) { serve(client); }, {.concurrent = true}) {}

void HostileHttpServer::setBehaviour(Behaviour behaviour) {
    std::lock_guard<std::mutex> guard(lock_);
    behaviour_ = behaviour;
}

void HostileHttpServer::setReply(std::string reply) {
    std::lock_guard<std::mutex> guard(lock_);
    reply_ = std::move(reply);
}

void HostileHttpServer::serve(PeerConnection& client) {
    const std::string head = client.readRequest();
    Behaviour current;
    std::string body;
    {
        std::lock_guard<std::mutex> guard(lock_);
        current = behaviour_;
        body = reply_;
    }
    switch (current) {
    case Behaviour::Reply:
        client.send(httpResponse("200 OK", body));
        break;
    case Behaviour::Huge: {
        if (!client.send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(hugeLength) +
                         "\r\n\r\n")) {
            return;
        }
        // Generated as it goes: the peer itself holds one chunk, never the whole body.
        const std::string chunk(hugeChunk, '<');
        for (std::size_t sent = 0; sent < hugeLength && !client.stopping(); sent += hugeChunk) {
            if (!client.send(chunk)) {
                return;
            }
        }
        break;
    }
    case Behaviour::Unterminated:
        client.send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml "
                    "version=\"1.0\"?><root><device>");
        client.hold(24 * 3600 * 1000);
        break;
    case Behaviour::Trickle:
        client.trickle("HTTP/1.0 200 OK\r\nContent-Length: 200\r\n\r\n" + std::string(200, ' '),
                       1000);
        break;
    case Behaviour::SlowRedirect:
        if (!client.hold(1000)) {
            return;
        }
        [[fallthrough]];
    case Behaviour::RedirectLoop:
        client.send("HTTP/1.0 302 Found\r\nLocation: " + requestPath(head) +
                    "\r\nContent-Length: 0\r\n\r\n");
        break;
    case Behaviour::Fault:
        client.send(httpResponse("500 Internal Server Error", soapFault("501", "Action Failed")));
        break;
    }
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
