#pragma once

#include "tests/support/RawSocket.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::test {

struct PeerState;

// A connection accepted by a ScriptedPeer; every wait is bounded and ends once the peer stops,
// so that a client that misbehaves cannot hang a test.
class PeerConnection {
public:
    static constexpr int waitMilliseconds = 5000;

    // Exactly n bytes, or fewer when the client closes or stays silent for the wait.
    std::string read(std::size_t n);
    // Up to and including the first occurrence of marker, bounded like read.
    std::string readUntil(std::string_view marker);
    // An HTTP request, which the peer records: its head and the body its Content-Length announces.
    std::string readRequest();
    // Reads until the client closes (bounded like read).
    void waitForClose();

    bool send(std::string_view bytes);
    // Sends the bytes one at a time, holding between them; false once the client or peer is gone.
    bool trickle(std::string_view bytes, int pauseMilliseconds);
    // Waits while the client stays connected and the peer runs, dropping what the client sends;
    // false once either has ended.
    bool hold(int milliseconds);
    // Leaves the connection open and silent until the peer stops.
    void keepOpen();
    // Connects to 127.0.0.1:port and copies bytes both ways until either side closes.
    void relayTo(int port);
    // Sends back whatever arrives until the client closes.
    void echo();

    // The connection's number, from 0, in order of acceptance.
    int index() const { return index_; }
    // The port the peer listens on.
    int port() const { return socket_.localPort(); }
    bool stopping() const;
    // Every byte that read, readUntil, readRequest and waitForClose took, in order.
    const std::string& received() const { return received_; }

private:
    friend struct PeerState;
    PeerConnection(RawSocket socket, PeerState& peer, int index);

    RawSocket socket_;
    PeerState* peer_;
    int index_;
    std::string received_;
};

struct PeerOptions {
    // Connections to accept, 0 until the peer stops; a peer with a number gives up when none
    // comes within the accept wait.
    int connections = 0;
    int acceptMilliseconds = 20000;
    // Each connection on a thread of its own, so that a held one never delays the next.
    bool concurrent = false;
};

// A TCP peer for tests on 127.0.0.1 and an ephemeral port, made of raw platform sockets and
// literal bytes, that runs its script on every connection it accepts; destruction stops every
// wait at once and joins every thread.
class ScriptedPeer {
public:
    using Script = std::function<void(PeerConnection&)>;

    explicit ScriptedPeer(Script script, PeerOptions options = {});
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;
    ~ScriptedPeer();

    int port() const;
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path) const;
    // Every request readRequest took so far, byte for byte, in order of arrival.
    std::vector<std::string> requests() const;
    // Waits for a peer with a number of connections to end by itself; every byte its scripts
    // read, connection after connection.
    std::string received();

private:
    std::unique_ptr<PeerState> state_;
};

// The value of a header of an HTTP head, its name matched in any letter case; empty if missing.
std::string headerValue(const std::string& head, const std::string& name);

} // namespace kestrum::test
