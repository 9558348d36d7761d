#pragma once

#include <string>

namespace kestrum {

// Texts from the network are UTF-8; the user interface takes them as UTF-16 at its boundary.
// Invalid bytes become U+FFFD; null is the empty text.
std::wstring utf8ToWide(const char* text);
std::string wideToUtf8(const std::wstring& text);

} // namespace kestrum
