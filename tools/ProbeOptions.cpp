#include "tools/ProbeOptions.h"

#include "net/TextView.h"

namespace kestrum {

std::string probeUsage() {
    return std::string(
               "usage: kestrum-probe [--refresh MS] [--scale N|line] [--bits] [--updates N] "
               "[--details] [--gateway ADDRESS|URL]\n"
               "  (defaults: --refresh 500, --scale 30)\n"
               "  --updates N    exit after N updates with rates (default: run until "
               "interrupted)\n"
               "  --details      print the connection's facts and the totals since start when "
               "the\n"
               "                 gateway is found and once a minute\n") +
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
    {"--updates", &ProbeOptions::updates, 1, 1'000'000'000},
};

// Plain decimal digits only: no sign, no spaces, nothing after the number.
bool parseNumber(const char* text, std::uint64_t& value) {
    const int digits = readDecimal(text, value);
    return digits > 0 && text[digits] == '\0';
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
        if (argument == "-h") {
            options.help = true;
            continue;
        }
        if (argument == "--details") {
            options.details = true;
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
    // The shared parser took these; the probe's defaults stand where they were not given.
    options.help = options.help || options.start.help;
    if (options.start.scale > 0)
        options.scale = static_cast<std::uint32_t>(options.start.scale);
    if (options.start.refreshMs > 0)
        options.refresh = static_cast<std::uint32_t>(options.start.refreshMs);
    return true;
}

} // namespace kestrum
