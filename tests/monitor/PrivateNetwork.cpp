#include "tests/monitor/PrivateNetwork.h"

#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sched.h>
#include <unistd.h>
#endif

namespace kestrum {

bool enterPrivateNetwork() {
    static const bool entered = [] {
#ifdef _WIN32
        // Wine's sockets live in its wineserver, which only the namespace runner of the discovery
        // tests (tests/upnp/ssdp-namespace.sh) can start inside a namespace; it sets the marker.
        const char* declared = std::getenv("KESTRUM_TEST_NETNS");
        return declared != nullptr && std::strcmp(declared, "1") == 0;
#else
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
            return false;
        }
        // A new namespace's loopback is down; multicast follows the route onto it.
        return std::system("ip link set lo up && ip route add 239.0.0.0/8 dev lo") == 0;
#endif
    }();
    return entered;
}

} // namespace kestrum
