#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrum {

// One connection's answer: what the server sends after it has read the request, and how.
struct ScriptedReply {
    std::string bytes;
    // Above 0: the bytes go out one at a time with this pause between them.
    int pauseBetweenBytesMs = 0;
    // Keep the connection open and silent this long after sending, then close it.
    int holdMs = 0;
};

// An HTTP server for tests on 127.0.0.1 and an ephemeral port, made of raw platform sockets and
// literal bytes. It accepts one connection per scripted reply, in order; for each it reads the
// request head and the body its Content-Length announces, records the exact bytes, sends the
// reply and closes. Every wait is bounded, and destruction stops everything at once.
class HttpTestServer {
public:
    explicit HttpTestServer(std::vector<ScriptedReply> replies);
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    ~HttpTestServer();

    int port() const;
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path) const;
    // The requests received so far, byte for byte, in order.
    std::vector<std::string> requests() const;

    // A port on 127.0.0.1 that nothing listens on (bound, then released).
    static int unusedPort();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kestrum
