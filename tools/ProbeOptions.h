#pragma once

#include <cstdint>
#include <string>

namespace kestrum {

struct ProbeOptions {
    std::uint32_t refresh = 500; // milliseconds
    std::uint32_t scale = 30;    // thousands of bytes per second
    std::uint32_t updates = 0;   // updates with rates before exiting; 0 runs until stopped
    bool help = false;
};

// Reads the command line; on failure error holds one line saying what is wrong.
bool parseProbeOptions(int argc, const char* const* argv, ProbeOptions& options,
                       std::string& error);

extern const char* const probeUsage;

} // namespace kestrum
