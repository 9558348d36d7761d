#include "monitor/LineCapacity.h"

#include <cstring>
#include <iterator>

namespace kestrum {

namespace {

// Defaults of gateway daemons, not measurements: the current one and an older pair.
constexpr std::uint32_t defaultRates[] = {4200000u, 8388608u, 4194304u};
// Ethernet port speeds a gateway reports when it knows nothing better.
constexpr std::uint32_t ethernetSpeeds[] = {10000000u, 100000000u, 1000000000u, 2500000000u};
// Faster ports' speeds as they arrive in the 32-bit field, cut to their low 32 bits (a daemon on
// a 10 Gbit/s port reports 1 410 065 408), whatever access type the gateway names: no line's
// rate, as it cannot be carried.
constexpr std::uint32_t wrappedPortSpeeds[] = {
    static_cast<std::uint32_t>(5'000'000'000ull), static_cast<std::uint32_t>(10'000'000'000ull),
    static_cast<std::uint32_t>(25'000'000'000ull), static_cast<std::uint32_t>(40'000'000'000ull),
    static_cast<std::uint32_t>(100'000'000'000ull)};

bool isOneOf(std::uint32_t value, const std::uint32_t* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (values[i] == value)
            return true;
    return false;
}

} // namespace

bool isCredibleCapacity(const String& accessType, std::uint32_t bitsPerSecond,
                        double highestMeasuredBytesPerSecond) {
    if (bitsPerSecond == 0 || isOneOf(bitsPerSecond, defaultRates, std::size(defaultRates)) ||
        isOneOf(bitsPerSecond, wrappedPortSpeeds, std::size(wrappedPortSpeeds)))
        return false;
    if (std::strcmp(accessType.c_str(), "Ethernet") == 0 &&
        isOneOf(bitsPerSecond, ethernetSpeeds, std::size(ethernetSpeeds)))
        return false;
    return highestMeasuredBytesPerSecond * 8.0 <= static_cast<double>(bitsPerSecond);
}

} // namespace kestrum
