#include "tests/upnp/UpnpTestEnvironment.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrum {

namespace {

#ifdef _WIN32
// Under Wine the host's root directory is drive Z:.
const std::string hostRoot = "Z:";
#else
const std::string hostRoot;
#endif

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace

std::string testDocument(const char* name) {
    return readFile(hostRoot + UPNP_TEST_DATA "/" + name);
}

bool insideOwnNetworkNamespace() {
    const char* marker = std::getenv("KESTRUM_TEST_NETNS");
    if (marker == nullptr || std::string(marker) != "1") {
        return false;
    }
    // Two heading lines, then one line per interface.
    std::istringstream devices;
    try {
        devices.str(readFile(hostRoot + "/proc/net/dev"));
    } catch (const std::runtime_error&) {
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

} // namespace kestrum
