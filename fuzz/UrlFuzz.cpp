// Takes arbitrary text as a request URL and a redirect's Location, as the HTTP client does:
// setUrl, the request head, then the redirect target and a new request to it; a device's
// relative URLs are resolved the same way against the first text.
//
// Input: the URL, a NUL, the Location.

#include "http/HttpMessage.h"
#include "net/ByteBuffer.h"
#include "net/Exception.h"
#include "upnp/Device.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace kestrum;

void request(HttpRequest& message, const String& url) {
    message.reset();
    message.setMethod("GET");
    message.setUrl(url);
    message.setVersion("HTTP/1.0");
    if (message.scheme.isEmpty() || message.path.isEmpty()) {
        std::abort();
    }
    ByteBuffer bytes;
    try {
        message.serialize(bytes);
    } catch (const HttpException&) {
        // A line break inside a field is refused rather than sent.
    }
    static_cast<void>(message.getUrl());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const String url(text, static_cast<int>(size));
    const void* nul = std::memchr(text, '\0', size);
    const char* rest = nul != nullptr ? static_cast<const char*>(nul) + 1 : text + size;
    const String location(rest, static_cast<int>(text + size - rest));

    HttpRequest message;
    request(message, url);
    static_cast<void>(message.getHost());
    const String target = resolveLocation(location, message);
    if (!target.isEmpty()) {
        request(message, target);
    }

    Device device;
    device.URLBase = url;
    static_cast<void>(device.resolveUrl(location));
    return 0;
}
