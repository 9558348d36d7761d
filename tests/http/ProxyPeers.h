#pragma once

#include "tests/support/RawSocket.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

namespace kestrum {

// A connection accepted by a TestPeer. Every wait is bounded, so a client that misbehaves
// cannot hang a test.
class PeerConnection {
public:
    static constexpr int waitMilliseconds = 5000;

    explicit PeerConnection(test::RawSocket socket) : socket_(std::move(socket)) {}

    // Exactly n bytes, or fewer when the client closes or stays silent for the wait.
    std::string read(std::size_t n);
    // Up to and including the first occurrence of marker, bounded like read.
    std::string readUntil(const std::string& marker);
    // Reads until the client closes (bounded like read).
    void waitForClose();
    void send(const std::string& bytes);
    // Connects to 127.0.0.1:port and copies bytes both ways until either side closes.
    void relayTo(int port);
    // Sends back whatever arrives until the client closes.
    void echo();

    // Every byte that read, readUntil and waitForClose took, in order.
    const std::string& received() const { return received_; }

private:
    test::RawSocket socket_;
    std::string received_;
};

// A peer on 127.0.0.1 that accepts one connection on an ephemeral port and runs its script on
// it in a thread of its own.
class TestPeer {
public:
    using Script = std::function<void(PeerConnection&)>;

    explicit TestPeer(Script script);
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;
    // Waits for the script to end.
    ~TestPeer();

    int port() const;
    // Waits for the script to end; every byte it read from its client.
    std::string received();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A port on 127.0.0.1 on which nothing listens.
int closedPort();

// Binary message text: bytes({4, 1, 0, 80}).
std::string bytes(std::initializer_list<int> values);

} // namespace kestrum
