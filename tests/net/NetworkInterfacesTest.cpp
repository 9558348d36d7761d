#include "net/NetworkInterfaces.h"

#include "tests/support/NetworkNamespace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

std::uint32_t address(unsigned a, unsigned b, unsigned c, unsigned d) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::vector<std::uint32_t> sorted(const AddressList& list) {
    std::vector<std::uint32_t> values(list.begin(), list.end());
    std::sort(values.begin(), values.end());
    return values;
}

// The system's own lists, read in a namespace of the test's own that plays a PC: two adapters
// up (one with two addresses), one down, loopback, and two default routes.
TEST(NetworkInterfaces, UpInterfacesOnceEachAndEveryDefaultGateway) {
    if (!enterPrivateNetwork()) {
        ASSERT_FALSE(namespacesRequired()) << "no network namespace of its own could be made";
        GTEST_SKIP() << "needs a network namespace of its own (root)";
    }
    // Only loopback so far: nothing to search on, no gateway.
    EXPECT_EQ(localInterfaceAddresses().count(), 0);
    EXPECT_EQ(defaultGateways().count(), 0);

    const char* setup = "ip link add ka type veth peer name kb && "
                        "ip link add kc type veth peer name kd && "
                        "ip addr add 10.1.0.1/24 dev ka && ip addr add 10.1.0.5/24 dev ka && "
                        "ip addr add 10.2.0.1/24 dev kb && ip addr add 10.3.0.1/24 dev kc && "
                        "ip link set ka up && ip link set kb up && "
                        "ip route add default via 10.1.0.254 && "
                        "ip route add default via 10.2.0.254 metric 50 && "
                        "ip route add 10.9.0.0/16 via 10.1.0.253";
    ASSERT_EQ(std::system(setup), 0);

    EXPECT_EQ(sorted(localInterfaceAddresses()),
              (std::vector<std::uint32_t>{address(10, 1, 0, 1), address(10, 2, 0, 1)}));
    EXPECT_EQ(sorted(defaultGateways()),
              (std::vector<std::uint32_t>{address(10, 1, 0, 254), address(10, 2, 0, 254)}));
}

TEST(NetworkInterfaces, AppendDistinctKeepsTheFirstOfEach) {
    AddressList list;
    for (const std::uint32_t value : {5u, 7u, 5u, 0u, 7u, 0u}) {
        appendDistinct(list, value);
    }
    EXPECT_EQ(std::vector<std::uint32_t>(list.begin(), list.end()),
              (std::vector<std::uint32_t>{5u, 7u, 0u}));
}

} // namespace
} // namespace kestrum::test
