#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

namespace kestrum {

// A connection accepted by a TestPeer, on plain platform sockets (never the project's own).
// Every wait is bounded, so a client that misbehaves cannot hang a test.
class PeerConnection {
public:
    static constexpr int waitMilliseconds = 5000;

    explicit PeerConnection(std::uintptr_t handle) : handle_(handle) {}
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;
    ~PeerConnection();

    // Exactly n bytes, or fewer when the client closes or stays silent for the wait.
    std::string read(std::size_t n);
    // Up to and including the first occurrence of end, bounded like read.
    std::string readUntil(const std::string& end);
    // Reads and drops bytes until the client closes (bounded like read, per byte received).
    void waitForClose();
    void send(const std::string& bytes);
    // Connects to 127.0.0.1:port and copies bytes both ways until either side closes.
    void relayTo(int port);
    // Sends back whatever arrives until the client closes.
    void echo();

    // Every byte that read, readUntil and waitForClose took, in order.
    const std::string& received() const { return received_; }

private:
    std::uintptr_t handle_;
    std::string received_;
};

// A peer on 127.0.0.1 that accepts one connection on an ephemeral port and runs its script on
// it in a thread of its own. Waiting for a client is bounded too.
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

// A literal HTTP/1.0 response with a Content-Length.
std::string httpResponse(const std::string& statusLine, const std::string& extraHeaders,
                         const std::string& body);

// Answers one HTTP request with the response and records the request.
TestPeer::Script httpResponder(std::string response);

// The bytes of a text that may hold NULs, for building binary messages: bytes({4, 1, 0, 80}).
std::string bytes(std::initializer_list<int> values);

} // namespace kestrum
