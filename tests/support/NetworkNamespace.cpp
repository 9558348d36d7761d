#include "tests/support/NetworkNamespace.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sched.h>
#include <unistd.h>
#endif

namespace kestrum::test {

namespace {

// Set once this process has made its namespace itself.
bool entered = false;

bool switchedOn(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && std::string(value) == "1";
}

// The interfaces of the namespace this process lives in: two heading lines, then one line per
// interface. Under Wine the host's root directory is drive Z:, and the file is the Wine
// process's own.
bool loopbackIsTheOnlyInterface() {
#ifdef _WIN32
    std::ifstream devices("Z:/proc/net/dev");
#else
    std::ifstream devices("/proc/net/dev");
#endif
    if (!devices) {
        return false;
    }
    std::string line;
    int interfaces = 0;
    bool loopbackOnly = true;
    for (int number = 0; std::getline(devices, line); ++number) {
        if (number < 2 || line.find(':') == std::string::npos) {
            continue;
        }
        ++interfaces;
        const auto start = line.find_first_not_of(' ');
        loopbackOnly = loopbackOnly && line.compare(start, 3, "lo:") == 0;
    }
    return interfaces == 1 && loopbackOnly;
}

} // namespace

bool insideOwnNetworkNamespace() {
    return (entered || switchedOn("KESTRUM_TEST_NETNS")) && loopbackIsTheOnlyInterface();
}

bool enterPrivateNetwork() {
#ifndef _WIN32
    static const bool made = [] {
        if (insideOwnNetworkNamespace() || ::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
            return false;
        }
        // A new namespace's loopback is down; multicast follows the route onto it.
        entered = std::system("ip link set lo up && ip route add 239.0.0.0/8 dev lo") == 0;
        return entered;
    }();
    static_cast<void>(made);
#endif
    return insideOwnNetworkNamespace();
}

bool namespacesRequired() {
    return switchedOn("KESTRUM_REQUIRE_NAMESPACES");
}

} // namespace kestrum::test
