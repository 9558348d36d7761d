#pragma once

#include "http/HttpClient.h"
#include "net/GrowableArray.h"
#include "net/String.h"

namespace kestrum {

class Service;
class XmlNode;

// A UPnP device read from its description document: identity, services and embedded devices,
// with service URLs made absolute. A device owns its embedded devices and services.
class Device {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device();

    // Fetches (within exchangeTimeout seconds) and reads the description of a root device.
    // Transfer failures are thrown; a malformed document is read as far as it goes.
    void load(const String& descriptionLocation,
              int exchangeTimeout = HttpClient::defaultExchangeTimeout);
    // Fills this device from a device element, embedded devices included.
    void readElement(const XmlNode& element);

    // First direct embedded device (or service) of exactly this type, or null.
    Device* findDevice(const String& type) const;
    Service* findService(const String& type) const;
    // url made absolute against URLBase; absolute and empty urls stay as they are.
    String resolveUrl(const String& url) const;

    Device* parent = nullptr;
    PointerList<Device> devices;
    PointerList<Service> services;
    String location;
    int specMajor = 0;
    int specMinor = 0;
    String URLBase;
    String deviceType;
    String friendlyName;
    String manufacturer;
    String manufacturerURL;
    String modelDescription;
    String modelName;
    String modelNumber;
    String modelURL;
    String serialNumber;
    String UDN;
    String UPC;
    String presentationURL;
};

} // namespace kestrum
