#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {

// An HTTP server on 127.0.0.1 that misbehaves in one chosen way. Every connection is served on
// a thread of its own, so one held connection never delays the next.
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
    HostileHttpServer(const HostileHttpServer&) = delete;
    HostileHttpServer& operator=(const HostileHttpServer&) = delete;
    // Ends every connection and joins every thread.
    ~HostileHttpServer();

    void setBehaviour(Behaviour behaviour);
    void setReply(std::string reply);
    std::string url(const std::string& path) const;
    // Requests whose head has arrived, in all.
    int requests() const { return requests_.load(); }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::atomic<int> requests_{0};
};

// Answers every SSDP search (multicast on loopback, so only inside a test's own network
// namespace) with the same list of datagrams, sent to the searcher's port.
class SsdpResponder {
public:
    explicit SsdpResponder(std::vector<std::string> datagrams);
    SsdpResponder(const SsdpResponder&) = delete;
    SsdpResponder& operator=(const SsdpResponder&) = delete;
    ~SsdpResponder();

    int searchesAnswered() const { return answered_.load(); }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::atomic<int> answered_{0};
};

// A search answer for the Internet gateway type naming location.
std::string ssdpAnswer(const std::string& location);

// Peak resident memory of this process in bytes (Linux); 0 where it cannot be read.
long long peakResidentBytes();

} // namespace kestrum::test
