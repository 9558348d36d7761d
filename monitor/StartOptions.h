#pragma once

#include "net/String.h"

#include <cstdint>
#include <string>

namespace kestrum {

// Where the user says the gateway is. Unless one is named, the gateway is searched for.
struct NamedGateway {
    enum class Kind { None, Address, Url };

    Kind kind = Kind::None;
    // Kind::Address: IPv4 in network byte order; it is asked by a unicast search.
    std::uint32_t address = 0;
    // Kind::Url: the description's http URL, loaded directly.
    String url;
};

// The command-line options that kestrum.exe and kestrum-probe share.
struct StartOptions {
    NamedGateway gateway;
    // KB/s, or kbit/s with bits; 0 = not given.
    int scale = 0;
    // The scale follows the line's credible downstream capacity once it is known.
    bool scaleFromLine = false;
    // Milliseconds; 0 = not given.
    int refreshMs = 0;
    // Rates in kbit/s (1 kbit = 1000 bits) instead of KB/s.
    bool bits = false;
    bool help = false;
};

// Longest description URL taken: longer ones are mistakes, not gateways.
constexpr int maxGatewayUrlLength = 2048;

// The lines of a usage text that describe the shared options.
extern const char* const startOptionsUsage;

enum class OptionRead { Taken, NotShared, Bad };

// Reads the option at argv[index] when it is a shared one: Taken (index then points at its
// value), Bad with a one-line error, or NotShared, leaving the option to the program.
OptionRead readStartOption(int argc, const char* const* argv, int& index, StartOptions& options,
                           std::string& error);

// A whole command line of shared options only; false with a one-line error otherwise.
bool parseStartOptions(int argc, const char* const* argv, StartOptions& options,
                       std::string& error);

// The value of --gateway: a dotted IPv4 address of a unicast host, or an http:// URL.
bool parseNamedGateway(const char* text, NamedGateway& gateway, std::string& error);

} // namespace kestrum
