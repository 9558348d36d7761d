#include "net/NetworkInterfaces.h"

#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace kestrum {

AddressList localInterfaceAddresses() {
    AddressList addresses;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return addresses;
    }
    // An interface with several addresses is one place to search, so each name counts once.
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        const unsigned wanted = IFF_UP | IFF_MULTICAST;
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & wanted) != wanted || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        bool seen = false;
        for (const ifaddrs* earlier = interfaces; earlier != entry && !seen;
             earlier = earlier->ifa_next) {
            seen = earlier->ifa_addr != nullptr && earlier->ifa_addr->sa_family == AF_INET &&
                   std::strcmp(earlier->ifa_name, entry->ifa_name) == 0;
        }
        sockaddr_in address{};
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        if (!seen && address.sin_addr.s_addr != 0) {
            appendDistinct(addresses, address.sin_addr.s_addr);
        }
    }
    ::freeifaddrs(interfaces);
    return addresses;
}

AddressList defaultGateways() {
    AddressList gateways;
    std::FILE* routes = std::fopen("/proc/net/route", "r");
    if (routes == nullptr) {
        return gateways;
    }
    // Each line after the heading: Iface Destination Gateway Flags RefCnt Use Metric Mask ...,
    // addresses as the hexadecimal of their bytes in memory, that is in network order.
    char line[512];
    bool heading = true;
    while (std::fgets(line, sizeof line, routes) != nullptr) {
        if (heading) {
            heading = false;
            continue;
        }
        char name[64];
        unsigned destination = 0;
        unsigned gateway = 0;
        unsigned flags = 0;
        unsigned mask = 0;
        if (std::sscanf(line, "%63s %x %x %x %*d %*u %*d %x", name, &destination, &gateway, &flags,
                        &mask) != 5) {
            continue;
        }
        const unsigned wanted = RTF_UP | RTF_GATEWAY;
        if (destination == 0 && mask == 0 && (flags & wanted) == wanted && gateway != 0) {
            appendDistinct(gateways, gateway);
        }
    }
    std::fclose(routes);
    return gateways;
}

} // namespace kestrum
