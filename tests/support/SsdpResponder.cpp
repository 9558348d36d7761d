#include "tests/support/SsdpResponder.h"

#include <utility>

namespace kestrum::test {

SsdpResponder::SsdpResponder(Answer answer) : answer_(std::move(answer)) {
    socket_.interruptWhen(stopping_);
    thread_ = std::thread([this] {
        // One burst per search: the searches bound what is sent.
        while (!stopping_) {
            int fromPort = 0;
            const std::string search = socket_.receiveDatagram(1000, &fromPort);
            if (search.rfind("M-SEARCH * HTTP/1.1\r\n", 0) != 0) {
                continue;
            }
            const std::vector<std::string> datagrams = answer_(search);
            for (const std::string& datagram : datagrams) {
                socket_.sendTo(fromPort, datagram);
            }
            if (!datagrams.empty()) {
                ++answered_;
            }
        }
    });
}

SsdpResponder::SsdpResponder(std::vector<std::string> datagrams)
    : SsdpResponder([datagrams = std::move(datagrams)](const std::string&) { return datagrams; }) {}

SsdpResponder::~SsdpResponder() {
    stopping_ = true;
    thread_.join();
}

} // namespace kestrum::test
