#pragma once

#include "net/String.h"

#include <ostream>

namespace kestrum {

// Lets GoogleTest show a String's text in failure messages.
inline void PrintTo(const String& text, std::ostream* out) {
    *out << '"' << text.c_str() << '"';
}

} // namespace kestrum
