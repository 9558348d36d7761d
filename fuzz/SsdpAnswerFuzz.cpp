// Hands arbitrary datagrams to one discovery pass's answer collection.
//
// Input: one byte whose two lowest bits choose the search (0: any device, 1: Internet gateways
// of any version, 2 and 3: exactly the IGD:1 search target), then datagrams separated by the
// byte 0x1E.

#include "upnp/SsdpDiscovery.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char separator = '\x1e';
constexpr const char* gatewayTarget = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrum;
    if (size < 1) {
        return 0;
    }
    const int search = data[0] & 3;
    SsdpAnswers answers(search == 0   ? SsdpTarget(nullptr)
                        : search == 1 ? SsdpTarget::internetGateway()
                                      : SsdpTarget(gatewayTarget));
    const char* at = reinterpret_cast<const char*>(data + 1);
    const char* end = reinterpret_cast<const char*>(data + size);
    while (at < end) {
        const void* found = std::memchr(at, separator, static_cast<std::size_t>(end - at));
        const char* datagramEnd = found != nullptr ? static_cast<const char*>(found) : end;
        answers.accept(at, static_cast<int>(datagramEnd - at));
        at = datagramEnd + 1;
    }

    const StringSet& locations = answers.locations();
    if (locations.count() > SsdpAnswers::maxLocations) {
        std::abort();
    }
    locations.forEach([](const String& location) {
        if (location.isEmpty()) {
            std::abort();
        }
    });
    return 0;
}
