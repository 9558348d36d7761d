#include "monitor/StartOptions.h"

#include "monitor/SettingRange.h"
#include "net/Sockets.h"
#include "net/TextView.h"

#include <cstring>

namespace kestrum {

const char* const startOptionsUsage =
    "  --gateway ADDRESS|URL  the gateway, when searching the network does not find it: its\n"
    "                 IPv4 address, or the http:// URL of its device description\n"
    "  --scale N|line the graph scale, 1 ... 1000000 KB/s (kbit/s with --bits), or the line's\n"
    "                 downstream capacity once the gateway reports a credible one\n"
    "  --refresh MS   the refresh period, 100 ... 10000 milliseconds\n"
    "  --bits         rates in kbit/s (1 kbit = 1000 bits) instead of KB/s\n"
    "  --help         this text\n";

namespace {

constexpr const char* gatewayOption = "--gateway";
constexpr const char* scheme = "http://";
constexpr std::size_t maxHostLength = 253;
// Enough of a wrong value to recognise it; the rest would only flood the message.
constexpr std::size_t quotedLength = 60;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHostCharacter(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.';
}

// Printable ASCII without the space: what a URL's path may carry unescaped.
bool isUrlCharacter(char c) {
    return c > ' ' && c < 127;
}

std::string quoted(const std::string& text) {
    if (text.size() <= quotedLength) {
        return "\"" + text + "\"";
    }
    return "\"" + text.substr(0, quotedLength) + "...\"";
}

// A gateway is a unicast host: not "this network" (0.x.x.x), not multicast or reserved
// (224 and above, the broadcast address included).
bool isUnicastHost(std::uint32_t addressNetworkOrder) {
    const auto first = static_cast<unsigned char>(addressNetworkOrder & 0xff);
    return first != 0 && first < 224;
}

bool startsWithScheme(const std::string& text) {
    if (text.size() < std::strlen(scheme)) {
        return false;
    }
    for (std::size_t i = 0; i < std::strlen(scheme); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != scheme[i]) {
            return false;
        }
    }
    return true;
}

// http://host[:port][/path]: a host name or dotted address, a port of 1 ... 65535, a path of
// printable characters. The scheme is written in lower case, as the HTTP client expects it.
bool readUrl(const std::string& text, String& url) {
    if (!startsWithScheme(text)) {
        return false;
    }
    const std::size_t hostStart = std::strlen(scheme);
    std::size_t hostEnd = hostStart;
    while (hostEnd < text.size() && isHostCharacter(text[hostEnd])) {
        ++hostEnd;
    }
    if (hostEnd == hostStart || hostEnd - hostStart > maxHostLength) {
        return false;
    }
    std::size_t pathStart = hostEnd;
    if (pathStart < text.size() && text[pathStart] == ':') {
        std::uint64_t port = 0;
        const int digits = readDecimal(text.c_str() + pathStart + 1, port);
        if (digits == 0 || digits > 5 || port == 0 || port > 65535) {
            return false;
        }
        pathStart += 1 + static_cast<std::size_t>(digits);
    }
    if (pathStart < text.size() && text[pathStart] != '/') {
        return false;
    }
    for (std::size_t i = pathStart; i < text.size(); ++i) {
        if (!isUrlCharacter(text[i])) {
            return false;
        }
    }
    url = String(scheme);
    url.append(text.c_str() + hostStart);
    return true;
}

} // namespace

bool parseNamedGateway(const char* text, NamedGateway& gateway, std::string& error) {
    const std::string value = text;
    std::uint32_t address = 0;
    if (parseDottedQuad(text, address)) {
        if (!isUnicastHost(address)) {
            error = std::string(gatewayOption) + ": " + quoted(value) +
                    " is not the address of a single device";
            return false;
        }
        gateway.kind = NamedGateway::Kind::Address;
        gateway.address = address;
        gateway.url = String();
        return true;
    }
    if (value.size() > static_cast<std::size_t>(maxGatewayUrlLength)) {
        error = std::string(gatewayOption) + ": the URL is longer than " +
                std::to_string(maxGatewayUrlLength) + " bytes";
        return false;
    }
    String url;
    if (!readUrl(value, url)) {
        error = std::string(gatewayOption) +
                " takes an IPv4 address (as 192.168.1.1) or the http:// URL of the gateway's "
                "description, not " +
                quoted(value);
        return false;
    }
    gateway.kind = NamedGateway::Kind::Url;
    gateway.address = 0;
    gateway.url = url;
    return true;
}

OptionRead readStartOption(int argc, const char* const* argv, int& index, StartOptions& options,
                           std::string& error) {
    const char* option = argv[index];
    if (std::strcmp(option, "--bits") == 0) {
        options.bits = true;
        return OptionRead::Taken;
    }
    if (std::strcmp(option, "--help") == 0) {
        options.help = true;
        return OptionRead::Taken;
    }
    const bool scale = std::strcmp(option, "--scale") == 0;
    if (scale || std::strcmp(option, "--refresh") == 0) {
        if (index + 1 >= argc) {
            error = std::string(option) +
                    (scale ? " needs a value: a number or line" : " needs a value: milliseconds");
            return OptionRead::Bad;
        }
        const char* value = argv[++index];
        if (scale && std::strcmp(value, "line") == 0) {
            options.scaleFromLine = true;
            options.scale = 0;
            return OptionRead::Taken;
        }
        std::uint32_t number = 0;
        std::string message;
        if (!readSetting(value, scale ? scaleRange : refreshRange, number, message)) {
            error = message;
            return OptionRead::Bad;
        }
        if (scale) {
            options.scale = static_cast<int>(number);
            options.scaleFromLine = false;
        } else {
            options.refreshMs = static_cast<int>(number);
        }
        return OptionRead::Taken;
    }
    if (std::strcmp(option, gatewayOption) != 0) {
        return OptionRead::NotShared;
    }
    if (index + 1 >= argc) {
        error = std::string(gatewayOption) +
                " needs a value: the gateway's IPv4 address or the http:// URL of its description";
        return OptionRead::Bad;
    }
    ++index;
    return parseNamedGateway(argv[index], options.gateway, error) ? OptionRead::Taken
                                                                  : OptionRead::Bad;
}

bool parseStartOptions(int argc, const char* const* argv, StartOptions& options,
                       std::string& error) {
    for (int i = 1; i < argc; ++i) {
        switch (readStartOption(argc, argv, i, options, error)) {
        case OptionRead::Taken:
            break;
        case OptionRead::Bad:
            return false;
        case OptionRead::NotShared:
            error = "unknown option " + quoted(argv[i]);
            return false;
        }
    }
    return true;
}

} // namespace kestrum
