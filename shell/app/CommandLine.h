#pragma once

#include "monitor/StartOptions.h"

#include <string>

namespace kestrum {

// Reads a Windows command line (program name first, split as the C runtime splits it) into the
// options; false with a one-line error. Arguments outside ASCII are kept as UTF-8, which no
// option accepts, and shown in the error as typed.
bool parseCommandLine(const wchar_t* commandLine, StartOptions& options, std::string& error);

// The message box for a command line that is not understood: a setting out of range gets the
// Apply button's message, any other error the usage as well.
void showCommandLineError(const std::string& error);
// The message box of --help: every option.
void showUsage();

} // namespace kestrum
