#include "monitor/CommonInterfaceLookup.h"

#include "upnp/Device.h"
#include "upnp/DeviceType.h"
#include "upnp/Service.h"

namespace kestrum {

namespace {

// Gateways describe themselves by the UPnP Forum's names or, for TR-064, by the DSL Forum's;
// both carry the same two counter actions.
constexpr const char* typeNamespaces[] = {"urn:schemas-upnp-org:", "urn:dslforum-org:"};

// A type of the family in any version, in either namespace: gateways announce newer versions of
// the WAN device that still carry the same counters.
bool isTypeInEitherNamespace(const String& type, const char* family) {
    for (const char* space : typeNamespaces) {
        if (kestrum::isTypeOfFamily(type, (String(space) + family).c_str())) {
            return true;
        }
    }
    return false;
}

const Service* commonInterfaceOf(const Device& device) {
    if (!isTypeInEitherNamespace(device.deviceType, "device:WANDevice:")) {
        return nullptr;
    }
    for (const Service* service : device.services) {
        if (service != nullptr &&
            isTypeInEitherNamespace(service->serviceType, "service:WANCommonInterfaceConfig:")) {
            return service;
        }
    }
    return nullptr;
}

bool hasControlUrl(const CounterServices& found, const String& url) {
    for (int i = 0; i < found.count; ++i) {
        if (found.services[i]->controlURL == url) {
            return true;
        }
    }
    return false;
}

const Service* connectionServiceOf(const Device& device) {
    if (!isTypeInEitherNamespace(device.deviceType, "device:WANConnectionDevice:")) {
        return nullptr;
    }
    for (const Service* service : device.services) {
        if (service != nullptr &&
            (isTypeInEitherNamespace(service->serviceType, "service:WANIPConnection:") ||
             isTypeInEitherNamespace(service->serviceType, "service:WANPPPConnection:"))) {
            return service;
        }
    }
    return nullptr;
}

} // namespace

CounterServices findCounterServices(const Device& root) {
    CounterServices found;
    for (const Device* device : root.devices) {
        if (found.count == MonitorSnapshot::maximumWans) {
            break;
        }
        const Service* service = device != nullptr ? commonInterfaceOf(*device) : nullptr;
        if (service != nullptr && !hasControlUrl(found, service->controlURL)) {
            found.services[found.count++] = service;
        }
    }
    return found;
}

const Service* findConnectionService(const Service& commonInterface) {
    if (commonInterface.device == nullptr) {
        return nullptr;
    }
    for (const Device* device : commonInterface.device->devices) {
        const Service* service = device != nullptr ? connectionServiceOf(*device) : nullptr;
        if (service != nullptr) {
            return service;
        }
    }
    return nullptr;
}

} // namespace kestrum
