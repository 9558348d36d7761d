#pragma once

#include <string>

namespace kestrum::test {

// A document of tests/upnp/data, whole.
std::string testDocument(const char* name);

} // namespace kestrum::test
