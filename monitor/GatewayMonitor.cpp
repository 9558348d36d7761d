#include "monitor/GatewayMonitor.h"

#include "http/HttpMessage.h"
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

constexpr const char* wanDevicePrefix = "urn:schemas-upnp-org:device:WANDevice:";
constexpr const char* commonInterfacePrefix =
    "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:";

} // namespace

GatewayMonitor::GatewayMonitor(const RefreshPeriod& refreshPeriod, UpdateNotifier& notifier)
    : refreshPeriod_(refreshPeriod), notifier_(notifier), statusText_(lookingText) {}

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

MonitorSnapshot GatewayMonitor::snapshot() const {
    MonitorSnapshot snapshot;
    // Published flags first: a counter is stored before its flag is raised.
    snapshot.countersPublished = receivedPublished_.load() && sentPublished_.load();
    // Counts before counters: a counter is stored before its count moves, so it is never older.
    snapshot.receivedReadings = receivedReadings_.load();
    snapshot.sentReadings = sentReadings_.load();
    snapshot.statusText = statusText();
    const std::uint64_t received = receivedReading_.load();
    const std::uint64_t sent = sentReading_.load();
    snapshot.totalBytesReceived = static_cast<std::uint32_t>(received);
    snapshot.receivedTakenAt = static_cast<std::uint32_t>(received >> 32);
    snapshot.totalBytesSent = static_cast<std::uint32_t>(sent);
    snapshot.sentTakenAt = static_cast<std::uint32_t>(sent >> 32);
    return snapshot;
}

void GatewayMonitor::publishCounter(Counter counter, std::uint32_t value) {
    const std::int64_t now = steadyMilliseconds();
    const std::uint64_t reading = std::uint64_t{static_cast<std::uint32_t>(now)} << 32 | value;
    if (counter == Counter::Received) {
        receivedReading_.store(reading);
        receivedReadings_.fetch_add(1);
        receivedPublished_.store(true);
    } else {
        sentReading_.store(reading);
        sentReadings_.fetch_add(1);
        sentPublished_.store(true);
    }
    lastReading_.store(now);
}

Service* GatewayMonitor::findCommonInterfaceService(const Device& root) {
    for (const Device* device : root.devices) {
        if (device == nullptr || !isTypeOfFamily(device->deviceType, wanDevicePrefix)) {
            continue;
        }
        for (Service* service : device->services) {
            if (service != nullptr && isTypeOfFamily(service->serviceType, commonInterfacePrefix)) {
                return service;
            }
        }
    }
    return nullptr;
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
    Service* service = findCommonInterfaceService(*device);
    if (service == nullptr) {
        return false;
    }
    gateway_ = device.release();
    commonInterfaceService_ = service;
    return true;
}

void GatewayMonitor::startPollers() {
    receivedPublished_.store(false);
    sentPublished_.store(false);
    lastReading_.store(steadyMilliseconds());

    auto received = makeOwned<ReceivedBytesPoller>(*this, *commonInterfaceService_);
    received->initialize();
    received->start();
    receivedPoller_ = received.release();

    auto sent = makeOwned<SentBytesPoller>(*this, *commonInterfaceService_);
    sent->initialize();
    sent->start();
    sentPoller_ = sent.release();
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

bool GatewayMonitor::gatewayLost() const {
    return steadyMilliseconds() - lastReading_.load() >= gatewayTimeout_;
}

void GatewayMonitor::releaseGateway() {
    // Both are asked before either is waited for, so they wind down together.
    if (receivedPoller_ != nullptr) {
        receivedPoller_->requestStop(false);
    }
    if (sentPoller_ != nullptr) {
        sentPoller_->requestStop(false);
    }
    if (receivedPoller_ != nullptr) {
        receivedPoller_->requestStop(true);
        delete receivedPoller_;
        receivedPoller_ = nullptr;
    }
    if (sentPoller_ != nullptr) {
        sentPoller_->requestStop(true);
        delete sentPoller_;
        sentPoller_ = nullptr;
    }
    delete gateway_;
    gateway_ = nullptr;
    commonInterfaceService_ = nullptr;
    receivedPublished_.store(false);
    sentPublished_.store(false);
}

} // namespace kestrum
