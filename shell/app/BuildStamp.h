#pragma once

#include "net/String.h"

namespace kestrum {

// The six digits yymmdd of the local calendar day at midnight UTC of a build date in the form
// "Oct 13 2004" (the compiler's date text); empty when the date cannot be read.
String buildStamp(const char* buildDate);

} // namespace kestrum
