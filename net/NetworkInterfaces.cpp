#include "net/NetworkInterfaces.h"

namespace kestrum {

void appendDistinct(AddressList& list, std::uint32_t address) {
    for (const std::uint32_t known : list) {
        if (known == address) {
            return;
        }
    }
    list.append(address);
}

} // namespace kestrum
