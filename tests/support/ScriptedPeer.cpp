#include "tests/support/ScriptedPeer.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace kestrum::test {

namespace {

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

} // namespace

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

struct PeerState {
    ScriptedPeer::Script script;
    PeerOptions options;
    std::atomic<bool> stopping{false};
    RawSocket listener = RawSocket::listenTcp();

    mutable std::mutex lock; // guards the records and the threads below
    std::vector<std::string> requests;
    std::string received;
    std::vector<RawSocket> kept;
    std::vector<std::thread> connections;
    std::thread acceptor;

    void acceptConnections() {
        for (int index = 0; options.connections == 0 || index < options.connections;) {
            RawSocket socket = listener.accept(options.acceptMilliseconds);
            if (stopping || (!socket.isOpen() && options.connections != 0)) {
                return;
            }
            if (!socket.isOpen()) {
                continue;
            }
            socket.interruptWhen(stopping);
            PeerConnection connection(std::move(socket), *this, index++);
            if (options.concurrent) {
                std::lock_guard<std::mutex> guard(lock);
                connections.emplace_back(
                    [this, served = std::move(connection)]() mutable { serve(served); });
            } else {
                serve(connection);
            }
        }
    }

    void serve(PeerConnection& connection) {
        script(connection);
        std::lock_guard<std::mutex> guard(lock);
        received += connection.received();
    }

    // Joins every thread; the connections' threads once the acceptor can start no more.
    void join() {
        if (acceptor.joinable()) {
            acceptor.join();
        }
        for (std::thread& connection : connections) {
            connection.join();
        }
        connections.clear();
    }
};

PeerConnection::PeerConnection(RawSocket socket, PeerState& peer, int index)
    : socket_(std::move(socket)), peer_(&peer), index_(index) {}

std::string PeerConnection::read(std::size_t n) {
    std::string data = socket_.receiveExactly(n, waitMilliseconds);
    received_ += data;
    return data;
}

std::string PeerConnection::readUntil(std::string_view marker) {
    std::string data = socket_.receiveUntil(marker, waitMilliseconds);
    received_ += data;
    return data;
}

std::string PeerConnection::readRequest() {
    std::string request = readUntil("\r\n\r\n");
    const auto length = static_cast<std::size_t>(
        std::strtoul(headerValue(request, "Content-Length").c_str(), nullptr, 10));
    if (length > 0) {
        request += read(length);
    }
    std::lock_guard<std::mutex> guard(peer_->lock);
    peer_->requests.push_back(request);
    return request;
}

void PeerConnection::waitForClose() {
    received_ += socket_.receiveUntilClosed(waitMilliseconds);
}

bool PeerConnection::send(std::string_view bytes) {
    return socket_.sendAll(bytes);
}

bool PeerConnection::trickle(std::string_view bytes, int pauseMilliseconds) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!send(bytes.substr(i, 1)) || !hold(pauseMilliseconds)) {
            return false;
        }
    }
    return true;
}

bool PeerConnection::hold(int milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopping()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        char byte;
        if (socket_.receive(&byte, 1, static_cast<int>(left.count())) == 0) {
            return false;
        }
    }
    return false;
}

void PeerConnection::keepOpen() {
    std::lock_guard<std::mutex> guard(peer_->lock);
    peer_->kept.push_back(std::move(socket_));
}

void PeerConnection::relayTo(int port) {
    RawSocket destination = RawSocket::connectTcp(port);
    destination.interruptWhen(peer_->stopping);
    // Short waits on each side in turn; either side closing ends the relay.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline && !stopping()) {
        for (auto [from, to] : {std::pair{&socket_, &destination}, {&destination, &socket_}}) {
            const int n = from->receive(buffer, sizeof buffer, 10);
            if (n == 0 || (n > 0 && !to->sendAll(std::string_view(buffer, std::size_t(n))))) {
                return;
            }
        }
    }
}

void PeerConnection::echo() {
    char buffer[512];
    int n = 0;
    while ((n = socket_.receive(buffer, sizeof buffer, waitMilliseconds)) > 0) {
        socket_.sendAll(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
}

bool PeerConnection::stopping() const {
    return peer_->stopping;
}

ScriptedPeer::ScriptedPeer(Script script, PeerOptions options)
    : state_(std::make_unique<PeerState>()) {
    state_->script = std::move(script);
    state_->options = options;
    state_->listener.interruptWhen(state_->stopping);
    state_->acceptor = std::thread([state = state_.get()] { state->acceptConnections(); });
}

ScriptedPeer::~ScriptedPeer() {
    state_->stopping = true;
    state_->join();
}

int ScriptedPeer::port() const {
    return state_->listener.localPort();
}

std::string ScriptedPeer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port()) + path;
}

std::vector<std::string> ScriptedPeer::requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

std::string ScriptedPeer::received() {
    state_->join();
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->received;
}

} // namespace kestrum::test
