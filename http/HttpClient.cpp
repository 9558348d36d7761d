#include "http/HttpClient.h"

#include "net/Sockets.h"
#include "net/ThreadWait.h"

namespace kestrum {

namespace {

constexpr int receiveSize = 1024;
constexpr int idlePauseMilliseconds = 100;

// The wait of one step, cut to what is left of the exchange; none left is a time-out.
int waitWithin(int wait, std::int64_t deadline) {
    const std::int64_t left = deadline - steadyMilliseconds();
    if (left <= 0) {
        throw TimeoutException();
    }
    if (wait < 0 || wait > left) {
        return static_cast<int>(left);
    }
    return wait;
}

} // namespace

void HttpClient::setHeader(const String& name, const String& value) {
    if (name.isEmpty()) {
        return;
    }
    if (value.isEmpty()) {
        defaultHeaders.remove(name);
    } else {
        defaultHeaders.entry(name).value = value;
    }
}

void HttpClient::get(const String& url, ByteBuffer& body) {
    begin("GET", url);
    perform(body);
}

void HttpClient::post(const String& url, const ByteBuffer& content, ByteBuffer& body) {
    begin("POST", url);
    if (content.data() != nullptr) {
        request_.body.write(0, content.data(), content.length());
        request_.headers.entry("Content-Length").value = String::fromInt(content.length());
    }
    perform(body);
}

void HttpClient::begin(const char* method, const String& url) {
    request_.reset();
    request_.setMethod(method);
    request_.setUrl(url);
}

void HttpClient::perform(ByteBuffer& body) {
    const std::int64_t deadline =
        steadyMilliseconds() + static_cast<std::int64_t>(exchangeTimeout) * 1000;
    for (int redirects = 0;; ++redirects) {
        exchange(body, deadline);
        const int status = response_.status();
        if (status == 200) {
            return;
        }
        if (status != 302) {
            throw BadResponseException();
        }
        if (!followRedirects) {
            return;
        }
        const String location =
            resolveLocation(response_.headers.entry("Location").value, request_);
        if (location.isEmpty()) {
            return;
        }
        if (redirects == maximumRedirects) {
            throw BadResponseException();
        }
        // A redirected POST is repeated as a GET without a body.
        begin("GET", location);
    }
}

void HttpClient::exchange(ByteBuffer& body, std::int64_t deadline) {
    if (cookiesEnabled) {
        cookies.applyCookies(request_);
    }
    for (const StringPair& pair : defaultHeaders) {
        String name = pair.name;
        toLower(name);
        request_.headers.add(name, pair.value);
    }
    request_.setVersion("HTTP/1.0");
    request_.absoluteForm = false;
    ByteBuffer bytes;
    request_.serialize(bytes);

    // An empty name would resolve to this machine, which is never what a URL without host means.
    const String host = request_.getHost();
    if (host.isEmpty()) {
        throw UnknownHostException();
    }
    StreamSocket socket;
    socket.open();
    socket.waitMilliseconds = waitWithin(connectTimeout, deadline);
    proxy.connect(socket, host, request_.port, proxy.proxyHost, proxy.proxyPort, proxy.type);
    socket.waitMilliseconds = readTimeout;
    sendAll(socket.handle, bytes.data(), bytes.length(), waitWithin(waitForever, deadline));
    readResponse(socket, deadline);
    socket.close();

    if (cookiesEnabled) {
        cookies.storeCookies(request_, response_);
    }
    body.setLength(0);
    body.write(0, response_.body.data(), response_.body.length());
}

void HttpClient::readResponse(StreamSocket& socket, std::int64_t deadline) {
    // A fresh response, not a reset one: a status left from an earlier exchange must not pass
    // off a connection closed without an answer as success.
    response_ = HttpResponse();
    std::int64_t lastDataSecond = steadyMilliseconds() / 1000;
    // The answer takes a moment: wait for it once, so that the first receive is not tried in
    // vain; after that each receive takes what is there and waits only when nothing is.
    waitReadable(socket.handle, waitWithin(socket.waitMilliseconds, deadline));
    char buffer[receiveSize];
    while (response_.parseState() != HttpMessage::ParseState::Complete) {
        int received = 0;
        try {
            received = receive(socket.handle, buffer, receiveSize,
                               waitWithin(socket.waitMilliseconds, deadline));
        } catch (const NoConnectionException&) {
            // Without a declared length the close ends the body.
            if (response_.completeAtClose()) {
                return;
            }
            throw;
        }
        const std::int64_t nowSecond = steadyMilliseconds() / 1000;
        if (received > 0) {
            lastDataSecond = nowSecond;
            response_.feed(buffer, received);
        } else if (lastDataSecond + idleTimeout < nowSecond) {
            throw TimeoutException();
        } else {
            sleepOnThisThread(idlePauseMilliseconds);
        }
    }
}

} // namespace kestrum
