#pragma once

#include "tests/support/ScriptedPeer.h"
#include "tests/support/SsdpResponder.h"

#include <mutex>
#include <string>

namespace kestrum::test {

// An HTTP server on 127.0.0.1 that misbehaves in one chosen way, each connection on a thread of
// its own so that one held connection never delays the next.
class HostileHttpServer {
public:
    enum class Behaviour {
        Reply,        // status 200 with the set reply as its body
        Huge,         // declares 100 MB and streams it until the client goes away
        Unterminated, // no Content-Length, part of a body, then silence on an open connection
        Trickle,      // a declared body, one byte per second
        RedirectLoop, // 302 back to the same path, without end
        SlowRedirect, // the same, each 302 after a second's pause
        Fault,        // status 500 with a SOAP fault
    };

    explicit HostileHttpServer(Behaviour behaviour, std::string reply = {});

    void setBehaviour(Behaviour behaviour);
    void setReply(std::string reply);
    std::string url(const std::string& path) const { return peer_.url(path); }
    // Requests whose head has arrived, in all.
    int requests() const { return static_cast<int>(peer_.requests().size()); }

private:
    void serve(PeerConnection& client);

    std::mutex lock_; // guards behaviour_ and reply_
    Behaviour behaviour_;
    std::string reply_;
    ScriptedPeer peer_; // last: stops before the settings go
};

// A search answer for the Internet gateway type naming location.
std::string ssdpAnswer(const std::string& location);

// Peak resident memory of this process in bytes (Linux); 0 where it cannot be read.
long long peakResidentBytes();

} // namespace kestrum::test
