#include "monitor/GatewayMonitor.h"

#include "http/HttpMessage.h"
#include "monitor/CommonInterfaceLookup.h"
#include "monitor/ConnectionFactsReader.h"
#include "monitor/CounterPoller.h"
#include "monitor/GatewayFinder.h"
#include "net/Allocation.h"
#include "net/Exception.h"
#include "net/Sockets.h"
#include "upnp/Device.h"
#include "upnp/DeviceType.h"
#include "upnp/Service.h"

#include <cstdio>
#include <memory>

namespace kestrum {

namespace {

template <typename Poller>
CounterPoller* startPoller(GatewayMonitor& owner, const Service& service, int wan) {
    auto poller = makeOwned<Poller>(owner, service, wan);
    poller->initialize();
    poller->start();
    return poller.release();
}

} // namespace

GatewayMonitor::GatewayMonitor(const RefreshPeriod& refreshPeriod, UpdateNotifier& notifier)
    : refreshPeriod_(refreshPeriod), notifier_(notifier),
      factsPeriod_(ConnectionFactsReader::defaultPeriod), statusText_(lookingText) {}

GatewayMonitor::~GatewayMonitor() {
    releaseGateway();
}

String GatewayMonitor::statusText() const {
    std::lock_guard lock(statusMutex_);
    return statusText_;
}

void GatewayMonitor::setStatusText(const String& text) {
    std::lock_guard lock(statusMutex_);
    statusText_ = text;
}

void GatewayMonitor::publishFacts(const ConnectionFacts& facts) {
    std::lock_guard lock(statusMutex_);
    facts_ = facts;
}

MonitorSnapshot GatewayMonitor::snapshot() const {
    MonitorSnapshot snapshot;
    {
        std::lock_guard lock(statusMutex_);
        snapshot.statusText = statusText_;
        snapshot.facts = facts_;
    }
    snapshot.wanCount = wanCount_.load();
    for (int wan = 0; wan < snapshot.wanDevices(); ++wan) {
        WanCounters& counters = snapshot.wans[wan];
        counters.received = wans_[wan].received.read();
        counters.sent = wans_[wan].sent.read();
        snapshot.countersPublished =
            snapshot.countersPublished || counters.received.published || counters.sent.published;
        snapshot.countersRefused =
            snapshot.countersRefused || wans_[wan].received.refused() || wans_[wan].sent.refused();
    }
    return snapshot;
}

CounterSlot& GatewayMonitor::slot(int wan, Counter counter) {
    WanPolling& polling = wans_[wan];
    return counter == Counter::Received ? polling.received : polling.sent;
}

const CounterSlot& GatewayMonitor::slot(int wan, Counter counter) const {
    const WanPolling& polling = wans_[wan];
    return counter == Counter::Received ? polling.received : polling.sent;
}

void GatewayMonitor::publishCounter(int wan, Counter counter, std::uint32_t value) {
    const std::int64_t now = steadyMilliseconds();
    slot(wan, counter).publish(value, now);
    lastAnswer_.store(now);
}

void GatewayMonitor::refuseCounter(int wan, Counter counter) {
    slot(wan, counter).refuse();
    lastAnswer_.store(steadyMilliseconds());
}

bool GatewayMonitor::run() {
    try {
        const ThreadSockets sockets;
        for (;;) {
            if (mode_.load() == Mode::Searching) {
                discoveryPhase();
            } else {
                watchPhase();
            }
        }
    } catch (const Exception&) {
        // A stop request, or a socket layer that did not start; every other failure is handled
        // where it happens.
    }
    releaseGateway();
    return false;
}

void GatewayMonitor::discoveryPhase() {
    releaseGateway();
    setStatusText(lookingText);
    notifier_.postUpdate();
    // The hint is due once the search has gone unanswered this long; each answer puts it off.
    std::int64_t hintDue = steadyMilliseconds() + hintDelay_;
    bool hinting = false;
    while (mode_.load() == Mode::Searching) {
        if (stopRequested()) {
            throw ThreadStopException();
        }
        std::int64_t deadline = steadyMilliseconds() + std::int64_t{discoverySeconds_} * 1000;
        if (!hinting && hintDue < deadline) {
            deadline = hintDue;
        }
        DiscoveryOutcome outcome = DiscoveryOutcome::NoAnswer;
        try {
            outcome = findGateway(
                namedGateway_, deadline, exchangeTimeout_,
                [this](std::unique_ptr<Device>& device) { return adoptGateway(device); });
            if (outcome == DiscoveryOutcome::Taken) {
                // Before the pollers, so that no update pairs their counters with the search.
                setStatusText(gatewayStatus(*gateway_));
                startPollers();
                mode_.store(Mode::Connected);
                return;
            }
        } catch (const ThreadStopException&) {
            throw;
        } catch (const Exception&) {
            // One odd device or a network hiccup must not end the monitor: try again later.
            releaseGateway();
            setStatusText(hinting ? noAnswerText : lookingText);
        }
        if (outcome != DiscoveryOutcome::NoAnswer) {
            hintDue = steadyMilliseconds() + hintDelay_;
            if (hinting) {
                hinting = false;
                setStatusText(lookingText);
                notifier_.postUpdate();
            }
        } else if (!hinting && steadyMilliseconds() >= hintDue) {
            hinting = true;
            setStatusText(noAnswerText);
            notifier_.postUpdate();
        }
        WorkerThread::sleep(refreshPeriod());
    }
}

String GatewayMonitor::gatewayStatus(const Device& gateway) {
    if (!gateway.friendlyName.isEmpty()) {
        return gateway.friendlyName;
    }
    if (!gateway.modelName.isEmpty()) {
        return gateway.modelName;
    }
    HttpRequest request;
    request.setUrl(gateway.location);
    char port[8];
    std::snprintf(port, sizeof port, ":%u", static_cast<unsigned>(request.port));
    String address = request.host;
    address.append(port);
    return address;
}

bool GatewayMonitor::adoptGateway(std::unique_ptr<Device>& device) {
    CounterServices services = findCounterServices(*device);
    if (services.count == 0) {
        return false;
    }
    gateway_ = device.release();
    counterServices_ = services;
    return true;
}

void GatewayMonitor::startPollers() {
    startPolling(counterServices_);
    startFactsReader();
}

// The facts of the first WAN device: the one whose line most gateways have.
void GatewayMonitor::startFactsReader() {
    const Service& commonInterface = *counterServices_.services[0];
    const FactsServices services{&commonInterface, findConnectionService(commonInterface)};
    ConnectionFacts described;
    described.friendlyName = gateway_->friendlyName;
    described.manufacturer = gateway_->manufacturer;
    described.modelName = gateway_->modelName;
    publishFacts(described);
    auto reader = makeOwned<ConnectionFactsReader>(*this, services, described, factsPeriod_);
    reader->initialize();
    reader->start();
    factsReader_ = reader.release();
}

void GatewayMonitor::startPolling(const CounterServices& services) {
    lastAnswer_.store(steadyMilliseconds());
    wanCount_.store(services.count);
    for (int wan = 0; wan < services.count; ++wan) {
        WanPolling& polling = wans_[wan];
        polling.receivedPoller =
            startPoller<ReceivedBytesPoller>(*this, *services.services[wan], wan);
        polling.sentPoller = startPoller<SentBytesPoller>(*this, *services.services[wan], wan);
    }
}

void GatewayMonitor::watchPhase() {
    while (mode_.load() == Mode::Connected) {
        if (stopRequested()) {
            throw ThreadStopException();
        }
        if (gatewayLost()) {
            // It went away or moved to another address: find it again.
            mode_.store(Mode::Searching);
            return;
        }
        notifier_.postUpdate();
        WorkerThread::sleep(refreshPeriod());
    }
}

// A gateway that refuses its counters still answers: only silence loses it.
bool GatewayMonitor::gatewayLost() const {
    return steadyMilliseconds() - lastAnswer_.load() >= gatewayTimeout_;
}

void GatewayMonitor::releaseGateway() {
    // From here the counters belong to no gateway.
    wanCount_.store(0);
    // All are asked before any is waited for, so they wind down together.
    if (factsReader_ != nullptr) {
        factsReader_->requestStop(false);
    }
    for (WanPolling& polling : wans_) {
        for (CounterPoller* poller : {polling.receivedPoller, polling.sentPoller}) {
            if (poller != nullptr) {
                poller->requestStop(false);
            }
        }
    }
    for (WanPolling& polling : wans_) {
        for (CounterPoller** poller : {&polling.receivedPoller, &polling.sentPoller}) {
            if (*poller != nullptr) {
                (*poller)->requestStop(true);
                delete *poller;
                *poller = nullptr;
            }
        }
        polling.received.clear();
        polling.sent.clear();
    }
    if (factsReader_ != nullptr) {
        factsReader_->requestStop(true);
        delete factsReader_;
        factsReader_ = nullptr;
    }
    publishFacts(ConnectionFacts());
    delete gateway_;
    gateway_ = nullptr;
    counterServices_ = CounterServices();
}

} // namespace kestrum
