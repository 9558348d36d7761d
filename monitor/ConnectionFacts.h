#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// What the gateway told about itself and its connection; an empty text or a false flag means
// the gateway gave no such fact.
struct ConnectionFacts {
    // From the device description.
    String friendlyName;
    String manufacturer;
    String modelName;
    // GetCommonLinkProperties.
    String accessType; // "DSL", "Ethernet", ...
    bool hasCapacity = false;
    std::uint32_t downstreamBitRate = 0;
    std::uint32_t upstreamBitRate = 0;
    String physicalLinkStatus;
    // GetStatusInfo.
    String connectionStatus;
    bool hasUptime = false;
    std::uint32_t uptimeSeconds = 0;
    // Steady milliseconds when the uptime was read: it is read once a minute but goes on.
    std::int64_t uptimeReadAt = 0;
    // GetExternalIPAddress; empty = unknown.
    String externalAddress;
    // Readings of the three actions done so far: a new one means fresh facts.
    std::uint32_t readings = 0;
};

} // namespace kestrum
