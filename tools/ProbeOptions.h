#pragma once

#include "monitor/StartOptions.h"

#include <cstdint>
#include <string>

namespace kestrum {

struct ProbeOptions {
    std::uint32_t refresh = 500; // milliseconds
    std::uint32_t scale = 30;    // thousands of bytes per second
    std::uint32_t updates = 0;   // updates with rates before exiting; 0 runs until stopped
    bool help = false;
    // The connection facts and the totals, at each reading of the facts.
    bool details = false;
    StartOptions start; // the options kestrum.exe takes too
};

// Reads the command line; on failure error holds one line saying what is wrong.
bool parseProbeOptions(int argc, const char* const* argv, ProbeOptions& options,
                       std::string& error);

// The usage text, with the shared options.
std::string probeUsage();

} // namespace kestrum
