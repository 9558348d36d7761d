#include "tools/ProbeOptions.h"

#include "monitor/RefreshPeriod.h"

#include <cstring>

namespace kestrum {

std::string probeUsage() {
    return std::string(
               "usage: kestrum-probe [--refresh MS] [--scale KBPS] [--updates N] "
               "[--gateway ADDRESS|URL]\n"
               "  --refresh MS   refresh period, 100 to 10000 milliseconds (default 500)\n"
               "  --scale KBPS   graph scale, 1 to 1000000 thousand bytes per second (default 30)\n"
               "  --updates N    exit after N updates with rates (default: run until "
               "interrupted)\n") +
           startOptionsUsage;
}

namespace {

struct NumericOption {
    const char* name;
    std::uint32_t ProbeOptions::*field;
    std::uint32_t minimum;
    std::uint32_t maximum;
};

constexpr NumericOption numericOptions[] = {
    {"--refresh", &ProbeOptions::refresh, RefreshPeriod::minimum, RefreshPeriod::maximum},
    {"--scale", &ProbeOptions::scale, 1, 1'000'000},
    {"--updates", &ProbeOptions::updates, 1, 1'000'000'000},
};

// Plain decimal digits only: no sign, no spaces, nothing after the number.
bool parseNumber(const char* text, std::uint64_t& value) {
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 10) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return true;
}

bool setNumber(const NumericOption& option, const char* text, ProbeOptions& options,
               std::string& error) {
    std::uint64_t value = 0;
    if (!parseNumber(text, value) || value < option.minimum || value > option.maximum) {
        error = std::string(option.name) + " takes a whole number from " +
                std::to_string(option.minimum) + " to " + std::to_string(option.maximum) +
                ", not \"" + text + "\"";
        return false;
    }
    options.*option.field = static_cast<std::uint32_t>(value);
    return true;
}

} // namespace

bool parseProbeOptions(int argc, const char* const* argv, ProbeOptions& options,
                       std::string& error) {
    for (int i = 1; i < argc; ++i) {
        switch (readStartOption(argc, argv, i, options.start, error)) {
        case OptionRead::Taken:
            continue;
        case OptionRead::Bad:
            return false;
        case OptionRead::NotShared:
            break;
        }
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        const NumericOption* option = nullptr;
        for (const NumericOption& candidate : numericOptions) {
            if (argument == candidate.name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            error = "unknown option \"" + argument + "\" (try --help)";
            return false;
        }
        if (i + 1 >= argc) {
            error = argument + " needs a value";
            return false;
        }
        if (!setNumber(*option, argv[++i], options, error)) {
            return false;
        }
    }
    return true;
}

} // namespace kestrum
