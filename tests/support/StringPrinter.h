#pragma once

#include "net/String.h"

#include <ostream>

namespace kestrum {

// Lets test failures show String values as text; it lives beside String, where the test
// framework looks for it.
inline void PrintTo(const String& text, std::ostream* out) {
    *out << '"' << text.c_str() << '"';
}

} // namespace kestrum
