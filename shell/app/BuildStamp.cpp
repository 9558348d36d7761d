#include "shell/app/BuildStamp.h"

#include "net/DateTime.h"

#include <cstdio>

namespace kestrum {

String buildStamp(const char* buildDate) {
    String text(buildDate);
    text.append(" 00:00:00 GMT+00");
    DateTime date(0);
    if (!date.parse(text.c_str())) {
        return String();
    }
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d", date.localYear() % 100, date.localMonth(),
                  date.localDay());
    return String(stamp);
}

} // namespace kestrum
