#pragma once

#include "tests/support/RawSocket.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kestrum::test {

// Answers every M-SEARCH datagram with the datagrams its answer gives, sent to the searcher's
// port (multicast on loopback: only inside a test's own network namespace).
class SsdpResponder {
public:
    using Answer = std::function<std::vector<std::string>(const std::string& search)>;

    explicit SsdpResponder(Answer answer);
    // The same datagrams to every search.
    explicit SsdpResponder(std::vector<std::string> datagrams);
    SsdpResponder(const SsdpResponder&) = delete;
    SsdpResponder& operator=(const SsdpResponder&) = delete;
    ~SsdpResponder();

    // Searches that got at least one datagram.
    int searchesAnswered() const { return answered_.load(); }

private:
    Answer answer_;
    std::atomic<int> answered_{0};
    std::atomic<bool> stopping_{false};
    RawSocket socket_ = RawSocket::joinMulticastGroup("239.255.255.250", 1900);
    std::thread thread_;
};

} // namespace kestrum::test
