#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// Whether a reported layer-1 rate can be the line's real capacity: gateways often report a
// default, an old fixed value or the WAN port's Ethernet speed instead, and a line never
// carries more than its capacity.
bool isCredibleCapacity(const String& accessType, std::uint32_t bitsPerSecond,
                        double highestMeasuredBytesPerSecond);

} // namespace kestrum
