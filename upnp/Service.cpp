#include "upnp/Service.h"

#include "soap/SoapClient.h"

namespace kestrum {

void Service::invoke(const String& action, const StringMap& inArguments, String& responseName,
                     StringMap& outArguments, int exchangeTimeout) const {
    SoapClient soap(controlURL, serviceType + "#" + action, serviceType);
    soap.exchangeTimeout = exchangeTimeout;
    soap.call(action, inArguments, responseName, outArguments);
}

} // namespace kestrum
