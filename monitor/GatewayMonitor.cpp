#include "monitor/GatewayMonitor.h"

#include "http/HttpMessage.h"
#include "monitor/CounterPoller.h"
#include "net/Allocation.h"
#include "net/Exception.h"
#include "net/Sockets.h"
#include "upnp/Device.h"
#include "upnp/Service.h"
#include "upnp/SsdpDiscovery.h"

#include <cstdio>
#include <memory>

namespace kestrum {

namespace {

constexpr const char* wanDevicePrefix = "urn:schemas-upnp-org:device:WANDevice:";
constexpr const char* commonInterfacePrefix =
    "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:";

// A type of the family prefix in any version of 1 or more: gateways announce newer versions of
// the WAN device that still carry the same counters.
bool isTypeOfFamily(const String& type, const char* prefix) {
    if (!type.startsWith(prefix)) {
        return false;
    }
    const String version = type.substring(String(prefix).length());
    bool nonZero = false;
    for (int i = 0; i < version.length(); ++i) {
        if (version[i] < '0' || version[i] > '9') {
            return false;
        }
        nonZero = nonZero || version[i] != '0';
    }
    return nonZero;
}

void deleteDevices(PointerList<Device>& devices) {
    for (Device* device : devices) {
        delete device;
    }
    devices.clear();
}

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
    while (mode_.load() == Mode::Searching) {
        if (stopRequested()) {
            throw ThreadStopException();
        }
        PointerList<Device> devices;
        bool connected = false;
        try {
            discover(searchTarget, devices, discoverySeconds_, exchangeTimeout_);
            connected = adoptFirstGateway(devices);
            if (connected) {
                // Before the pollers, so that no update pairs their counters with the search.
                setStatusText(gatewayStatus(*gateway_));
                startPollers();
            }
        } catch (const ThreadStopException&) {
            deleteDevices(devices);
            throw;
        } catch (const Exception&) {
            // One odd device or a network hiccup must not end the monitor: try again later.
            deleteDevices(devices);
            releaseGateway();
            setStatusText(lookingText);
            connected = false;
        }
        if (!connected) {
            WorkerThread::sleep(refreshPeriod());
            continue;
        }
        mode_.store(Mode::Connected);
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

bool GatewayMonitor::adoptFirstGateway(PointerList<Device>& devices) {
    for (Device*& device : devices) {
        if (device == nullptr) {
            continue;
        }
        Service* service = findCommonInterfaceService(*device);
        if (service != nullptr) {
            gateway_ = device;
            commonInterfaceService_ = service;
            device = nullptr;
            break;
        }
    }
    deleteDevices(devices);
    return gateway_ != nullptr;
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
