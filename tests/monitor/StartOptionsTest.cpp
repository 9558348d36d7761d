#include "monitor/StartOptions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

using Kind = NamedGateway::Kind;

std::string urlOfLength(std::size_t length) {
    std::string url = "http://192.168.1.1/";
    url.append(length - url.size(), 'a');
    return url;
}

TEST(NamedGatewayOption, AddressesAndUrlsThatAreTaken) {
    const struct {
        std::string value;
        Kind kind;
        std::uint32_t address; // network order
        const char* url;
    } cases[] = {
        {"192.168.1.1", Kind::Address, 0x0101A8C0, ""},
        {"1.0.0.0", Kind::Address, 0x00000001, ""},
        {"223.255.255.255", Kind::Address, 0xFFFFFFDF, ""},
        {"127.0.0.1", Kind::Address, 0x0100007F, ""},
        {"http://192.168.1.1:5000/rootDesc.xml", Kind::Url, 0,
         "http://192.168.1.1:5000/rootDesc.xml"},
        {"HTTP://Router.lan/desc.xml?x=1&y", Kind::Url, 0, "http://Router.lan/desc.xml?x=1&y"},
        {"http://gateway", Kind::Url, 0, "http://gateway"},
        {"http://10.0.0.1:65535/", Kind::Url, 0, "http://10.0.0.1:65535/"},
        {"http://10.0.0.1:1", Kind::Url, 0, "http://10.0.0.1:1"},
    };
    for (const auto& c : cases) {
        NamedGateway gateway;
        std::string error;
        ASSERT_TRUE(parseNamedGateway(c.value.c_str(), gateway, error)) << c.value << ": " << error;
        EXPECT_EQ(gateway.kind, c.kind) << c.value;
        EXPECT_EQ(gateway.address, c.address) << c.value;
        EXPECT_STREQ(gateway.url.c_str(), c.url) << c.value;
    }
    NamedGateway longest;
    std::string error;
    EXPECT_TRUE(parseNamedGateway(urlOfLength(maxGatewayUrlLength).c_str(), longest, error));
}

TEST(NamedGatewayOption, WrongValuesAreRefusedWithAReason) {
    const struct {
        std::string value;
        const char* reason;
    } cases[] = {
        {"", "takes an IPv4 address"},
        {"router", "takes an IPv4 address"},
        {"192.168.1", "takes an IPv4 address"},
        {"192.168.1.256", "takes an IPv4 address"},
        {"192.168.01.1", "takes an IPv4 address"},
        {"0.0.0.0", "not the address of a single device"},
        {"0.1.2.3", "not the address of a single device"},
        {"224.0.0.1", "not the address of a single device"},
        {"239.255.255.250", "not the address of a single device"},
        {"255.255.255.255", "not the address of a single device"},
        {"https://192.168.1.1/desc.xml", "takes an IPv4 address"},
        {"ftp://192.168.1.1/", "takes an IPv4 address"},
        {"http://", "takes an IPv4 address"},
        {"http:///desc.xml", "takes an IPv4 address"},
        {"http://[::1]/desc.xml", "takes an IPv4 address"},
        {"http://user@router/", "takes an IPv4 address"},
        {"http://router:/", "takes an IPv4 address"},
        {"http://router:0/", "takes an IPv4 address"},
        {"http://router:65536/", "takes an IPv4 address"},
        {"http://router:123456/", "takes an IPv4 address"},
        {"http://router:80x/", "takes an IPv4 address"},
        {"http://router/with space", "takes an IPv4 address"},
        {"http://router/\x7f", "takes an IPv4 address"},
        {"http://" + std::string(254, 'h') + "/", "takes an IPv4 address"},
        {urlOfLength(maxGatewayUrlLength + 1), "longer than 2048 bytes"},
    };
    for (const auto& c : cases) {
        NamedGateway gateway;
        std::string error;
        EXPECT_FALSE(parseNamedGateway(c.value.c_str(), gateway, error)) << c.value;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.value << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        // A long value is cut in the message.
        EXPECT_LT(error.size(), 200u) << error;
        EXPECT_EQ(gateway.kind, Kind::None) << c.value;
    }
}

TEST(StartOptionsLine, SharedOptionsAreTakenAndOthersLeftOrRefused) {
    const struct {
        std::vector<const char*> arguments;
        bool taken;
        Kind kind;
        const char* error;
    } cases[] = {
        {{"kestrum"}, true, Kind::None, ""},
        {{"kestrum", "--gateway", "10.0.0.138"}, true, Kind::Address, ""},
        {{"kestrum", "--gateway", "10.0.0.1", "--gateway", "http://10.0.0.1/d.xml"},
         true,
         Kind::Url,
         ""},
        {{"kestrum", "--gateway"}, false, Kind::None, "--gateway needs a value"},
        {{"kestrum", "--gateway", "router"}, false, Kind::None, "takes an IPv4 address"},
        {{"kestrum", "--gateway=10.0.0.1"}, false, Kind::None, "unknown option"},
        {{"kestrum", "--period", "100"}, false, Kind::None, "unknown option \"--period\""},
    };
    for (const auto& c : cases) {
        StartOptions options;
        std::string error;
        EXPECT_EQ(parseStartOptions(static_cast<int>(c.arguments.size()), c.arguments.data(),
                                    options, error),
                  c.taken)
            << c.arguments.size();
        EXPECT_EQ(options.gateway.kind, c.kind) << c.arguments.size();
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }

    // A program with options of its own reads the shared ones through readStartOption.
    const char* arguments[] = {"probe", "--updates", "3", "--gateway", "10.0.0.1"};
    StartOptions options;
    std::string error;
    int index = 1;
    EXPECT_EQ(readStartOption(5, arguments, index, options, error), OptionRead::NotShared);
    EXPECT_EQ(index, 1);
    index = 3;
    EXPECT_EQ(readStartOption(5, arguments, index, options, error), OptionRead::Taken);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(options.gateway.kind, Kind::Address);
}

} // namespace
} // namespace kestrum::test

namespace kestrum::test {
namespace {

// Each command line with the options it gives, or the message it is refused with (the one the
// window's Apply button gives for the same value).
TEST(DisplayOptions, ScaleRefreshBitsAndHelp) {
    const struct {
        std::vector<const char*> arguments;
        int scale;
        bool scaleFromLine;
        int refreshMs;
        bool bits;
        const char* error; // nullptr: taken
    } cases[] = {
        {{}, 0, false, 0, false, nullptr},
        {{"--scale", "1"}, 1, false, 0, false, nullptr},
        {{"--scale", "1000000"}, 1000000, false, 0, false, nullptr},
        {{"--scale", " +250 "}, 250, false, 0, false, nullptr},
        {{"--scale", "line"}, 0, true, 0, false, nullptr},
        {{"--scale", "line", "--scale", "30"}, 30, false, 0, false, nullptr},
        {{"--refresh", "100", "--bits"}, 0, false, 100, true, nullptr},
        {{"--refresh", "10000"}, 0, false, 10000, false, nullptr},
        {{"--scale", "0"}, 0, false, 0, false, "Please enter an integer between 1 and 1000000."},
        {{"--scale", "1000001"},
         0,
         false,
         0,
         false,
         "Please enter an integer between 1 and 1000000."},
        {{"--scale", "4294967296"},
         0,
         false,
         0,
         false,
         "Please enter an integer between 1 and 1000000."},
        {{"--scale", "-5"}, 0, false, 0, false, "Please enter a positive integer."},
        {{"--scale", "Line"}, 0, false, 0, false, "Please enter a positive integer."},
        {{"--scale", ""}, 0, false, 0, false, "Please enter a positive integer."},
        {{"--refresh", "99"}, 0, false, 0, false, "Please enter an integer between 100 and 10000."},
        {{"--refresh", "10001"},
         0,
         false,
         0,
         false,
         "Please enter an integer between 100 and 10000."},
        {{"--refresh"}, 0, false, 0, false, "--refresh needs a value: milliseconds"},
        {{"--scale"}, 0, false, 0, false, "--scale needs a value: a number or line"},
        {{"--bytes"}, 0, false, 0, false, "unknown option \"--bytes\""},
        {{"-bits"}, 0, false, 0, false, "unknown option \"-bits\""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"kestrum"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(argv.size() > 1 ? std::string(argv[1]) + " " + (argv.size() > 2 ? argv[2] : "")
                                     : "");
        StartOptions options;
        std::string error;
        const bool taken =
            parseStartOptions(static_cast<int>(argv.size()), argv.data(), options, error);
        EXPECT_EQ(taken, c.error == nullptr);
        if (!taken) {
            EXPECT_EQ(error, c.error);
            continue;
        }
        EXPECT_EQ(options.scale, c.scale);
        EXPECT_EQ(options.scaleFromLine, c.scaleFromLine);
        EXPECT_EQ(options.refreshMs, c.refreshMs);
        EXPECT_EQ(options.bits, c.bits);
    }
    StartOptions options;
    std::string error;
    const char* help[] = {"kestrum", "--help"};
    ASSERT_TRUE(parseStartOptions(2, help, options, error));
    EXPECT_TRUE(options.help);
}

} // namespace
} // namespace kestrum::test
