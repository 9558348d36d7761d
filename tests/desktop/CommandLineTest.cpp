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

// The settings as a shortcut passes them; a value the Apply button would refuse is refused with
// its message, which the program then shows alone (exit status 2).
TEST(CommandLine, SettingsAreTakenWithinTheApplyButtonsRanges) {
    const struct {
        const wchar_t* line;
        bool taken;
        int scale;
        bool fromLine;
        int refresh;
        bool bits;
        bool help;
        const char* error;
    } cases[] = {
        {L"kestrum.exe --scale 1000 --refresh 250", true, 1000, false, 250, false, false, ""},
        {L"kestrum.exe --scale \" 1 \" --refresh 10000", true, 1, false, 10000, false, false, ""},
        {L"kestrum.exe --scale 1000000 --bits", true, 1000000, false, 0, true, false, ""},
        {L"kestrum.exe --refresh 100 --scale line", true, 0, true, 100, false, false, ""},
        // The later value holds.
        {L"kestrum.exe --scale line --scale 40", true, 40, false, 0, false, false, ""},
        {L"kestrum.exe --help", true, 0, false, 0, false, true, ""},
        {L"kestrum.exe --scale 0", false, 0, false, 0, false, false,
         "Please enter an integer between 1 and 1000000."},
        {L"kestrum.exe --scale 1000001", false, 0, false, 0, false, false,
         "Please enter an integer between 1 and 1000000."},
        // Beyond 2^32 reads as 4294967295, still out of range rather than wrapped.
        {L"kestrum.exe --scale 4294967296", false, 0, false, 0, false, false,
         "Please enter an integer between 1 and 1000000."},
        {L"kestrum.exe --refresh 99", false, 0, false, 0, false, false,
         "Please enter an integer between 100 and 10000."},
        {L"kestrum.exe --refresh -500", false, 0, false, 0, false, false,
         "Please enter a positive integer."},
        {L"kestrum.exe --scale Line", false, 0, false, 0, false, false,
         "Please enter a positive integer."},
        {L"kestrum.exe --refresh", false, 0, false, 0, false, false, "--refresh needs a value"},
        {L"kestrum.exe --Bits", false, 0, false, 0, false, false, "unknown option \"--Bits\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        StartOptions options;
        std::string error;
        EXPECT_EQ(parseCommandLine(c.line, options, error), c.taken) << error;
        if (c.taken) {
            EXPECT_EQ(options.scale, c.scale);
            EXPECT_EQ(options.scaleFromLine, c.fromLine);
            EXPECT_EQ(options.refreshMs, c.refresh);
            EXPECT_EQ(options.bits, c.bits);
            EXPECT_EQ(options.help, c.help);
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

} // namespace
} // namespace kestrum::test
