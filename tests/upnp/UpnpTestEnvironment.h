#pragma once

#include <string>

namespace kestrum {

// A document of tests/upnp/data, whole.
std::string testDocument(const char* name);

// True only inside the network namespace that the discovery test script makes: the script's
// marker is set and loopback is the only interface. Multicasting tests skip everywhere else.
bool insideOwnNetworkNamespace();

} // namespace kestrum
