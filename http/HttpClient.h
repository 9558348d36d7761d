#pragma once

#include "http/CookieJar.h"
#include "http/HttpMessage.h"
#include "http/ProxyClient.h"
#include "net/ByteBuffer.h"
#include "net/Exception.h"
#include "net/StringList.h"

#include <cstdint>

namespace kestrum {

// One HTTP/1.0 exchange per call over a new connection; follows 302 redirects with GET.
class HttpClient {
public:
    class BadResponseException : public Exception {};

    // A further redirect in a row fails with BadResponseException.
    static constexpr int maximumRedirects = 5;
    static constexpr int defaultExchangeTimeout = 60;

    HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // A null or empty value removes the default header.
    void setHeader(const String& name, const String& value);
    // Both return only for a final status 200, or a 302 that is not followed; body then holds
    // the last response's body. Any other status throws BadResponseException with body filled.
    void get(const String& url, ByteBuffer& body);
    void post(const String& url, const ByteBuffer& content, ByteBuffer& body);

    const HttpRequest& request() const { return request_; }
    const HttpResponse& response() const { return response_; }

    int connectTimeout = 10000; // milliseconds
    int readTimeout = 500;      // milliseconds, each receive
    int idleTimeout = 20;       // seconds without data
    // Seconds for one whole call of get or post (connect, send, read, and every redirect
    // followed), so that a server trickling bytes, reading none or redirecting in circles cannot
    // hold a worker for ever. Name lookups are the platform's and are not bounded by it.
    int exchangeTimeout = defaultExchangeTimeout;
    ProxyClient proxy;
    StringMap defaultHeaders;
    bool followRedirects = true;
    bool cookiesEnabled = false;
    CookieJar cookies;

private:
    void begin(const char* method, const String& url);
    void perform(ByteBuffer& body);
    void exchange(ByteBuffer& body, std::int64_t deadline);
    void readResponse(StreamSocket& socket, std::int64_t deadline);

    HttpRequest request_;
    HttpResponse response_;
};

} // namespace kestrum
