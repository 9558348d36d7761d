#include "http/CookieJar.h"

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

} // namespace kestrum
