#include "http/CookieJar.h"

#include "http/HttpMessage.h"

#include <cstring>

namespace kestrum {

void CookieJar::set(const String& urlPrefix, const String& name, const String& value) {
    if (name.isEmpty()) {
        return;
    }
    String prefix = urlPrefix;
    toLower(prefix);
    Entry* entry = nullptr;
    for (Entry& candidate : entries_) {
        if (candidate.prefix == prefix) {
            entry = &candidate;
            break;
        }
    }
    if (entry == nullptr) {
        entry = &entries_.append(Entry{prefix, StringMap()});
    }
    // Names match without regard to letter case; the first spelling received is kept.
    const int index = entry->cookies.find(name);
    if (index >= 0) {
        entry->cookies[index].value = value;
    } else {
        entry->cookies.add(name, value);
    }
}

String CookieJar::headerFor(const String& url) const {
    String header;
    for (const Entry& entry : entries_) {
        if (std::strncmp(url.c_str(), entry.prefix.c_str(),
                         static_cast<std::size_t>(entry.prefix.length())) != 0) {
            continue;
        }
        for (const StringPair& cookie : entry.cookies) {
            if (!header.isEmpty()) {
                header.append(";");
            }
            header.append(cookie.name);
            header.append("=");
            header.append(cookie.value);
        }
    }
    return header;
}

void CookieJar::applyCookies(HttpRequest& request) const {
    const String value = headerFor(request.getUrl());
    if (!value.isEmpty()) {
        request.headers.add("cookie", value);
    }
}

void CookieJar::storeCookies(HttpRequest& request, const HttpResponse& response) {
    String base = "http://" + request.getHost();
    if (request.port != 80) {
        base.append(":");
        base.append(String::fromInt(request.port));
    }
    for (int i = response.headers.find("set-cookie"); i >= 0;
         i = response.headers.find("set-cookie", i + 1)) {
        const String& header = response.headers[i].value;
        const String prefix = base + getParameter(header, "path");
        StringMap pairs;
        parseParameters(header, ';', '=', true, pairs);
        // Only these two attributes are understood (and skipped); every other one is kept as a
        // cookie of its own.
        for (const StringPair& pair : pairs) {
            if (pair.name != "path" && pair.name != "expires") {
                set(prefix, pair.name, pair.value);
            }
        }
    }
}

} // namespace kestrum
