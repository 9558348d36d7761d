#pragma once

#include "http/CookieJar.h"
#include "http/HttpMessage.h"
#include "http/ProxyClient.h"
#include "net/ByteBuffer.h"
#include "net/Exception.h"
#include "net/StringList.h"

namespace kestrum {

// One HTTP/1.0 exchange per call over a new connection; follows 302 redirects with GET.
class HttpClient {
public:
    class BadResponseException : public Exception {};

    HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // A null or empty value removes the default header.
    void setHeader(const String& name, const String& value);
    void get(const String& url, ByteBuffer& body);
    void post(const String& url, const ByteBuffer& content, ByteBuffer& body);

    const HttpRequest& request() const { return request_; }
    const HttpResponse& response() const { return response_; }

    int connectTimeout = 10000; // milliseconds
    int readTimeout = 500;      // milliseconds, each receive
    int idleTimeout = 20;       // seconds without data
    ProxyClient proxy;
    StringMap defaultHeaders;
    bool followRedirects = true;
    bool cookiesEnabled = false;
    CookieJar cookies;

private:
    HttpRequest request_;
    HttpResponse response_;
};

} // namespace kestrum
