#pragma once

#include "http/HttpClient.h"
#include "net/StringList.h"

namespace kestrum {

class Device;

// A service of a device, as its description lists it; controlURL and eventSubURL are absolute.
class Service {
public:
    explicit Service(Device* owner) : device(owner) {}
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    virtual ~Service() = default;

    // Performs one action by a SOAP control call within exchangeTimeout seconds; every failure
    // of the call is thrown.
    void invoke(const String& action, const StringMap& inArguments, String& responseName,
                StringMap& outArguments,
                int exchangeTimeout = HttpClient::defaultExchangeTimeout) const;

    Device* device; // not owned
    String serviceType;
    String serviceId;
    String SCPDURL; // as read, not made absolute
    String controlURL;
    String eventSubURL;
};

} // namespace kestrum
