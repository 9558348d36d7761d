#include "tests/http/ProxyPeers.h"

#include <chrono>
#include <thread>

namespace kestrum {

std::string PeerConnection::read(std::size_t n) {
    std::string data = socket_.receiveExactly(n, waitMilliseconds);
    received_ += data;
    return data;
}

std::string PeerConnection::readUntil(const std::string& marker) {
    std::string data = socket_.receiveUntil(marker, waitMilliseconds);
    received_ += data;
    return data;
}

void PeerConnection::waitForClose() {
    received_ += socket_.receiveUntilClosed(waitMilliseconds);
}

void PeerConnection::send(const std::string& bytes) {
    socket_.sendAll(bytes);
}

void PeerConnection::relayTo(int port) {
    test::RawSocket destination = test::RawSocket::connectTcp(port);
    // Short waits on each side in turn; either side closing ends the relay.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
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

struct TestPeer::State {
    test::RawSocket listener = test::RawSocket::listenTcp();
    std::string received;
    std::thread thread;
};

TestPeer::TestPeer(Script script) : state_(std::make_unique<State>()) {
    state_->thread = std::thread([state = state_.get(), script = std::move(script)] {
        test::RawSocket accepted = state->listener.accept(10000);
        if (!accepted.isOpen()) {
            return;
        }
        PeerConnection connection(std::move(accepted));
        script(connection);
        state->received = connection.received();
    });
}

TestPeer::~TestPeer() {
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
}

int TestPeer::port() const {
    return state_->listener.localPort();
}

std::string TestPeer::received() {
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
    return state_->received;
}

int closedPort() {
    return test::RawSocket::listenTcp().localPort();
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

} // namespace kestrum
