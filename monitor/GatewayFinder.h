#pragma once

#include "monitor/StartOptions.h"
#include "upnp/SsdpDiscovery.h"

#include <cstdint>

namespace kestrum {

// One attempt to find the gateway, until take keeps a device or the deadline (steady
// milliseconds) passes: the description at the URL the user named, or the devices answering
// Internet gateway searches, sent to the address the user named or else to every network.
// Failures to load are skipped; socket failures are thrown.
DiscoveryOutcome findGateway(const NamedGateway& named, std::int64_t deadline, int exchangeTimeout,
                             const DeviceTaker& take);

} // namespace kestrum
