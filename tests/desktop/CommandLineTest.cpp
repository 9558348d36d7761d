#include "shell/app/CommandLine.h"

#include <gtest/gtest.h>

namespace kestrum::test {
namespace {

using Kind = NamedGateway::Kind;

TEST(CommandLine, SplitAsWindowsDoesAndReadAsTheSharedOptions) {
    const struct {
        const wchar_t* line;
        bool taken;
        Kind kind;
        const char* error;
    } cases[] = {
        {L"kestrum.exe", true, Kind::None, ""},
        {L"\"C:\\Program Files\\Kestrum\\kestrum.exe\" --gateway 192.168.1.1", true, Kind::Address,
         ""},
        {L"kestrum.exe --gateway \"http://10.0.0.1:5000/rootDesc.xml\"", true, Kind::Url, ""},
        {L"kestrum.exe --gateway", false, Kind::None, "--gateway needs a value"},
        {L"kestrum.exe /gateway 10.0.0.1", false, Kind::None, "unknown option \"/gateway\""},
        // Typed as it was, in UTF-8: no option takes it.
        {L"kestrum.exe --gateway r\u00f6uter", false, Kind::None, "not \"r\xc3\xb6uter\""},
        {L"kestrum.exe --gateway \"\"", false, Kind::None, "takes an IPv4 address"},
    };
    for (const auto& c : cases) {
        StartOptions options;
        std::string error;
        EXPECT_EQ(parseCommandLine(c.line, options, error), c.taken) << error;
        EXPECT_EQ(options.gateway.kind, c.kind) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

} // namespace
} // namespace kestrum::test
