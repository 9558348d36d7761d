#pragma once

#include "net/String.h"

#include <string>

namespace kestrum {

// Texts from the network are UTF-8; the user interface takes them as UTF-16 at its boundary.
// Invalid bytes become U+FFFD; null is the empty text.
std::wstring utf8ToWide(const char* text);

// At most maximumBytes bytes of text, ending on a character boundary: a sequence cut off by
// the limit, or left incomplete by an earlier cut, is dropped whole.
String cutUtf8(const char* text, int maximumBytes);

} // namespace kestrum
