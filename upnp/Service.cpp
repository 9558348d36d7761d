#include "upnp/Service.h"

#include "soap/SoapClient.h"

namespace kestrum {

void Service::invoke(const String& action, const StringMap& inArguments, String& responseName,
                     StringMap& outArguments) const {
    const SoapClient soap(controlURL, serviceType + "#" + action, serviceType);
    soap.call(action, inArguments, responseName, outArguments);
}

} // namespace kestrum
