#include "net/Allocation.h"
#include "net/NetworkInterfaces.h"

#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers, which it needs.
#include <iphlpapi.h>
#include <netioapi.h>

namespace kestrum {

namespace {

// The adapter list changes between the size query and the read when an adapter comes or goes;
// a few tries cover that.
constexpr int adapterListTries = 3;
constexpr ULONG firstAdapterListSize = 16 * 1024;

std::uint32_t ipv4Of(const SOCKADDR* address) {
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, address, sizeof ipv4);
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, &ipv4.sin_addr, sizeof bytes);
    return bytes;
}

} // namespace

AddressList localInterfaceAddresses() {
    AddressList addresses;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME;
    ULONG size = firstAdapterListSize;
    std::unique_ptr<unsigned char[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < adapterListTries && result == ERROR_BUFFER_OVERFLOW; ++tries) {
        buffer = makeOwnedArray<unsigned char>(size);
        result = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (result != NO_ERROR) {
        return addresses;
    }
    for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get());
         adapter != nullptr; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK ||
            (adapter->Flags & IP_ADAPTER_NO_MULTICAST) != 0) {
            continue;
        }
        for (const auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address != nullptr && address->sa_family == AF_INET && ipv4Of(address) != 0) {
                appendDistinct(addresses, ipv4Of(address));
                break; // one place to search per adapter
            }
        }
    }
    return addresses;
}

AddressList defaultGateways() {
    AddressList gateways;
    MIB_IPFORWARD_TABLE2* table = nullptr;
    if (::GetIpForwardTable2(AF_INET, &table) != NO_ERROR || table == nullptr) {
        return gateways;
    }
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2& row = table->Table[i];
        if (row.DestinationPrefix.PrefixLength != 0 || row.NextHop.si_family != AF_INET) {
            continue;
        }
        std::uint32_t nextHop = 0;
        std::memcpy(&nextHop, &row.NextHop.Ipv4.sin_addr, sizeof nextHop);
        if (nextHop != 0) {
            appendDistinct(gateways, nextHop);
        }
    }
    ::FreeMibTable(table);
    return gateways;
}

} // namespace kestrum
