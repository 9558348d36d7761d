// The URL fields of HttpRequest and the redirect target. Only plain "http" URLs: no escaping,
// no user information, no IPv6 literals; a query stays part of the path byte for byte.

#include "http/HttpMessage.h"

namespace kestrum {

void HttpRequest::setUrl(const String& url) {
    String text = url;
    text.trim();
    scheme = String();
    host = String();
    path = String();
    port = 80;
    const int schemeEnd = text.find("://");
    if (schemeEnd < 0) {
        absoluteForm = false;
        path = text;
    } else {
        if (schemeEnd > 0) {
            scheme = text.substring(0, schemeEnd);
        }
        const String rest = text.substring(schemeEnd + 3);
        const int slash = rest.find("/");
        if (slash < 0) {
            setHost(rest);
            path = "/";
        } else {
            setHost(rest.substring(0, slash));
            path = rest.substring(slash);
        }
        absoluteForm = true;
    }
    if (scheme.isEmpty()) {
        scheme = "http";
    }
    if (path.isEmpty()) {
        path = "/";
    }
}

void HttpRequest::setHost(const String& hostAndPort) {
    host = hostAndPort;
    const int colon = host.find(":");
    if (colon >= 0) {
        port = static_cast<std::uint16_t>(toInt(host.substring(colon + 1)));
        host = host.substring(0, colon);
    }
}

String HttpRequest::getHost() {
    if (host.isEmpty()) {
        const String value = headers.entry("Host").value;
        setHost(value);
    }
    return host;
}

String HttpRequest::getUrl() const {
    String url = scheme + "://" + host;
    if (port != 80 && port != 0) {
        url.append(":");
        url.append(String::fromInt(port));
    }
    url.append(path);
    return url;
}

String resolveLocation(const String& location, HttpRequest& request) {
    if (location.isEmpty()) {
        return String();
    }
    if (location.find("http://") >= 0) {
        return location;
    }
    String target = location;
    if (!location.startsWith("/")) {
        int lastSlash = -1;
        for (int i = request.path.find("/"); i >= 0; i = request.path.find("/", i + 1)) {
            lastSlash = i;
        }
        const String directory =
            lastSlash >= 0 ? request.path.substring(0, lastSlash + 1) : request.path;
        target = directory + location;
    }
    String url = "http://" + request.getHost();
    if (request.port != 80) {
        url.append(":");
        url.append(String::fromInt(request.port));
    }
    url.append(target);
    return url;
}

} // namespace kestrum
