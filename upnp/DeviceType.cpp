#include "upnp/DeviceType.h"

namespace kestrum {

bool isTypeOfFamily(const String& type, const char* prefix) {
    if (!type.startsWith(prefix)) {
        return false;
    }
    const String version = type.substring(String(prefix).length());
    bool nonZero = false;
    for (int i = 0; i < version.length(); ++i) {
        if (version[i] < '0' || version[i] > '9') {
            return false;
        }
        nonZero = nonZero || version[i] != '0';
    }
    return nonZero;
}

} // namespace kestrum
