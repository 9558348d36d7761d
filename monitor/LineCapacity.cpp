#include "monitor/LineCapacity.h"

#include <cstring>
#include <iterator>

namespace kestrum {

namespace {

// Defaults of gateway daemons, not measurements: the current one and an older pair.
constexpr std::uint32_t defaultRates[] = {4200000u, 8388608u, 4194304u};
// Ethernet port speeds a gateway reports when it knows nothing better.
constexpr std::uint32_t ethernetSpeeds[] = {10000000u, 100000000u, 1000000000u, 2500000000u};

bool isOneOf(std::uint32_t value, const std::uint32_t* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (values[i] == value)
            return true;
    return false;
}

} // namespace

bool isCredibleCapacity(const String& accessType, std::uint32_t bitsPerSecond,
                        double highestMeasuredBytesPerSecond) {
    if (bitsPerSecond == 0 || isOneOf(bitsPerSecond, defaultRates, std::size(defaultRates)))
        return false;
    if (std::strcmp(accessType.c_str(), "Ethernet") == 0 &&
        isOneOf(bitsPerSecond, ethernetSpeeds, std::size(ethernetSpeeds)))
        return false;
    return highestMeasuredBytesPerSecond * 8.0 <= static_cast<double>(bitsPerSecond);
}

} // namespace kestrum
