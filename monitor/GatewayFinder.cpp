#include "monitor/GatewayFinder.h"

#include "monitor/WorkerThread.h"
#include "net/Sockets.h"
#include "upnp/Device.h"

namespace kestrum {

DiscoveryOutcome findGateway(const NamedGateway& named, std::int64_t deadline, int exchangeTimeout,
                             const DeviceTaker& take) {
    if (named.kind != NamedGateway::Kind::Url) {
        const std::uint32_t address =
            named.kind == NamedGateway::Kind::Address ? named.address : everyNetwork;
        return discoverFirst(SsdpTarget::internetGateway(), address, deadline, exchangeTimeout,
                             take);
    }
    std::unique_ptr<Device> device = loadDevice(named.url, exchangeTimeout);
    if (device && take(device)) {
        return DiscoveryOutcome::Taken;
    }
    // A gateway that refuses at once is asked again when a search would be, not many times a
    // second.
    const std::int64_t left = deadline - steadyMilliseconds();
    if (left > 0) {
        WorkerThread::sleep(left);
    }
    return device ? DiscoveryOutcome::NoneTaken : DiscoveryOutcome::NoAnswer;
}

} // namespace kestrum
