#pragma once

#include "http/HttpClient.h"
#include "net/Exception.h"
#include "net/StringList.h"

namespace kestrum {

// One UPnP control call: a SOAP 1.1 envelope posted to a control URL over a fresh HTTP
// exchange, and the response envelope read back into a name and out-arguments.
class SoapClient {
public:
    class ParsingException : public Exception {};
    // The device refused the action: a Fault in the response's Body, sent with status 200 or,
    // as SOAP prescribes, with status 500.
    class FaultException : public ParsingException {};

    SoapClient(const String& controlUrl, const String& action, const String& type)
        : controlURL(controlUrl), soapAction(action), serviceType(type) {}
    SoapClient(const SoapClient&) = delete;
    SoapClient& operator=(const SoapClient&) = delete;
    virtual ~SoapClient() = default;

    // outArguments is cleared first and stays empty after a failure. A refusal throws
    // FaultException; any other status than 200 HttpClient::BadResponseException.
    void call(const String& action, const StringMap& inArguments, String& responseName,
              StringMap& outArguments) const;

    // The request body: one line, CR LF at its end; the action name, the service type and the
    // argument names and values entity-encoded.
    String composeEnvelope(const String& action, const StringMap& inArguments) const;
    // Throws ParsingException for a response without a Body or with an empty Body, and
    // FaultException for one with a Fault in it.
    static void readResponse(const String& document, String& responseName, StringMap& outArguments);

    String controlURL;
    String soapAction;  // service type, '#', action name
    String serviceType; // namespace of the action element
    // Seconds for the whole call.
    int exchangeTimeout = HttpClient::defaultExchangeTimeout;
};

} // namespace kestrum
