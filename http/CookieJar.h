#pragma once

#include "net/GrowableArray.h"
#include "net/StringList.h"

namespace kestrum {

class HttpRequest;
class HttpResponse;

// Cookies kept per URL prefix: no expiry, no domain matching, no removal.
class CookieJar {
public:
    void set(const String& urlPrefix, const String& name, const String& value);
    // "a=1;b=2" for every cookie whose prefix starts the url; empty when none applies.
    String headerFor(const String& url) const;
    void applyCookies(HttpRequest& request) const;
    void storeCookies(HttpRequest& request, const HttpResponse& response);

private:
    struct Entry {
        String prefix;
        StringMap cookies;
    };
    GrowableArray<Entry> entries_;
};

} // namespace kestrum
