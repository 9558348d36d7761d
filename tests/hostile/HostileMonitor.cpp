#include "tests/hostile/HostileMonitor.h"

#include "tests/support/RawSocket.h"

#include <vector>

namespace kestrum::test {

std::string counterReply(const std::string& received, const std::string& sent) {
    return envelope(
        "<u:Response xmlns:u=\"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1\">"
        "<NewTotalBytesReceived>" +
        received + "</NewTotalBytesReceived><NewTotalBytesSent>" + sent +
        "</NewTotalBytesSent></u:Response>");
}

int refusedPort() {
    // Held bound for the whole run, so that no later peer can be given the port.
    static std::vector<RawSocket> held;
    held.push_back(RawSocket::bindTcp());
    return held.back().localPort();
}

} // namespace kestrum::test
