#pragma once

#include "net/GrowableArray.h"

#include <cstdint>

namespace kestrum {

// IPv4 addresses in network byte order.
using AddressList = GrowableArray<std::uint32_t>;

// What the system knows of this machine's IPv4 networks. A lookup the system refuses gives an
// empty list: callers then leave the choice to the system's routes.

// One address of each interface that is up, is not loopback, can multicast and has an IPv4
// address, in the system's order.
AddressList localInterfaceAddresses();

// The next hop of each default route, without repeats.
AddressList defaultGateways();

// Appends address unless the list holds it already.
void appendDistinct(AddressList& list, std::uint32_t address);

} // namespace kestrum
