#pragma once

#include "net/String.h"

namespace kestrum {

// Whether type is prefix followed by a version of 1 or more, as
// "urn:schemas-upnp-org:device:WANDevice:" and "urn:schemas-upnp-org:device:WANDevice:2": a newer
// version of a device or service keeps what the older one offers.
bool isTypeOfFamily(const String& type, const char* prefix);

} // namespace kestrum
