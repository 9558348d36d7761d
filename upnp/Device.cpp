#include "upnp/Device.h"

#include "http/HttpClient.h"
#include "net/Allocation.h"
#include "net/ByteBuffer.h"
#include "soap/XmlNode.h"
#include "upnp/Service.h"

namespace kestrum {

namespace {} // namespace

Device::~Device() {
    for (Device* device : devices) {
        delete device;
    }
    for (Service* service : services) {
        delete service;
    }
}

void Device::load(const String& descriptionLocation, int exchangeTimeout) {
    location = descriptionLocation;
    ByteBuffer body;
    {
        HttpClient http;
        http.exchangeTimeout = exchangeTimeout;
        http.get(location, body);
    }
    XmlNode root;
    root.parse(String(body.data(), body.length()));

    specMajor = toInt(root.child("specVersion").childText("major"));
    specMinor = toInt(root.child("specVersion").childText("minor"));
    URLBase = root.childText("URLBase");
    if (URLBase.isEmpty()) {
        // Relative URLs are relative to the server the description came from.
        const int scheme = location.find("://");
        const int path = scheme < 0 ? -1 : location.find("/", scheme + 3);
        if (path >= 0) {
            URLBase = location.substring(0, path);
        }
    }
    readElement(root.child("device"));
}

void Device::readElement(const XmlNode& element) {
    deviceType = element.childText("deviceType");
    friendlyName = element.childText("friendlyName");
    manufacturer = element.childText("manufacturer");
    manufacturerURL = resolveUrl(element.childText("manufacturerURL"));
    modelDescription = element.childText("modelDescription");
    modelName = element.childText("modelName");
    modelNumber = element.childText("modelNumber");
    modelURL = resolveUrl(element.childText("modelURL"));
    serialNumber = element.childText("serialNumber");
    UDN = element.childText("UDN");
    UPC = element.childText("UPC");
    presentationURL = resolveUrl(element.childText("presentationURL"));

    const XmlNode& serviceList = element.child("serviceList");
    services.ensureCapacity(services.count() + serviceList.children.count());
    for (const XmlNode& item : serviceList.children) {
        auto service = makeOwned<Service>(this);
        service->serviceType = item.childText("serviceType");
        service->serviceId = item.childText("serviceId");
        service->SCPDURL = item.childText("SCPDURL");
        service->controlURL = resolveUrl(item.childText("controlURL"));
        service->eventSubURL = resolveUrl(item.childText("eventSubURL"));
        services.append(service.get());
        service.release();
    }
    const XmlNode& deviceList = element.child("deviceList");
    devices.ensureCapacity(devices.count() + deviceList.children.count());
    for (const XmlNode& item : deviceList.children) {
        auto device = makeOwned<Device>();
        device->parent = this;
        device->specMajor = specMajor;
        device->specMinor = specMinor;
        device->URLBase = URLBase;
        device->readElement(item);
        devices.append(device.get());
        device.release();
    }
}

Device* Device::findDevice(const String& type) const {
    for (Device* device : devices) {
        if (device->deviceType == type) {
            return device;
        }
    }
    return nullptr;
}

Service* Device::findService(const String& type) const {
    for (Service* service : services) {
        if (service->serviceType == type) {
            return service;
        }
    }
    return nullptr;
}

String Device::resolveUrl(const String& url) const {
    if (url.isEmpty()) {
        return String();
    }
    if (url.startsWith("/")) {
        return URLBase.endsWithChar('/') ? URLBase + url.substring(1) : URLBase + url;
    }
    if (url.find("://") >= 0) {
        return url;
    }
    return URLBase.endsWithChar('/') ? URLBase + url : URLBase + "/" + url;
}

} // namespace kestrum
