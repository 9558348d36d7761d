#include "soap/SoapClient.h"

#include "http/HttpClient.h"
#include "net/ByteBuffer.h"
#include "soap/XmlNode.h"

namespace kestrum {

namespace {

// A text carrying '<', '&' or a quote must not break the request's markup.
String encodeEntities(const String& text) {
    String encoded = text;
    encoded.replaceAll("&", "&amp;"); // first, so the references below stay intact
    encoded.replaceAll("<", "&lt;");
    encoded.replaceAll(">", "&gt;");
    encoded.replaceAll("\"", "&quot;");
    encoded.replaceAll("'", "&apos;");
    return encoded;
}

// The first element of the envelope's Body, or null.
const XmlNode* bodyContent(const XmlNode& envelope) {
    for (const XmlNode& child : envelope.children) {
        if (child.localName() == "Body") {
            return child.children.count() > 0 ? &child.children[0] : nullptr;
        }
    }
    return nullptr;
}

bool isFault(const ByteBuffer& body) {
    XmlNode envelope;
    envelope.parse(String(body.data(), body.length()));
    const XmlNode* content = bodyContent(envelope);
    return content != nullptr && content->localName() == "Fault";
}

} // namespace

String SoapClient::composeEnvelope(const String& action, const StringMap& inArguments) const {
    // Names and the service type come from a device description: they are encoded like values.
    const String actionName = encodeEntities(action);
    String envelope = "<s:Envelope"
                      " xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                      " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\""
                      "><s:Body><m:";
    envelope.append(actionName);
    envelope.append(" xmlns:m=\"");
    envelope.append(encodeEntities(serviceType));
    envelope.append("\">");
    for (const StringPair& argument : inArguments) {
        const String name = encodeEntities(argument.name);
        envelope.append("<" + name + ">");
        envelope.append(encodeEntities(argument.value));
        envelope.append("</" + name + ">");
    }
    envelope.append("</m:" + actionName + ">");
    envelope.append("</s:Body></s:Envelope>\r\n");
    return envelope;
}

void SoapClient::call(const String& action, const StringMap& inArguments, String& responseName,
                      StringMap& outArguments) const {
    outArguments.clear();
    const String envelope = composeEnvelope(action, inArguments);
    ByteBuffer content;
    content.write(0, envelope.data(), envelope.length());
    ByteBuffer body;
    {
        HttpClient http;
        http.exchangeTimeout = exchangeTimeout;
        http.setHeader("Content-Type", "text/xml; charset=\"utf-8\"");
        http.setHeader("SOAPAction", "\"" + soapAction + "\"");
        try {
            http.post(controlURL, content, body);
        } catch (const HttpClient::BadResponseException&) {
            if (http.response().status() == 500 && isFault(body)) {
                throw FaultException();
            }
            throw;
        }
    }
    readResponse(String(body.data(), body.length()), responseName, outArguments);
}

void SoapClient::readResponse(const String& document, String& responseName,
                              StringMap& outArguments) {
    XmlNode envelope;
    envelope.parse(document);
    const XmlNode* content = bodyContent(envelope);
    if (content == nullptr) {
        throw ParsingException();
    }
    const XmlNode& response = *content;
    // A fault is the device refusing the action; its texts are no out-arguments.
    if (response.localName() == "Fault") {
        throw FaultException();
    }
    responseName = response.localName();
    // Plain appends would copy the list once per argument.
    outArguments.ensureCapacity(outArguments.count() + response.children.count());
    for (const XmlNode& argument : response.children) {
        outArguments.add(argument.localName(), argument.text);
    }
}

} // namespace kestrum
