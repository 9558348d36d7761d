#include "shell/app/CommandLine.h"

#include "monitor/SettingRange.h"
#include "shell/framework/TextConversion.h"

#include <memory>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace kestrum {

bool parseCommandLine(const wchar_t* commandLine, StartOptions& options, std::string& error) {
    int count = 0;
    std::unique_ptr<wchar_t*, decltype(&LocalFree)> arguments(
        CommandLineToArgvW(commandLine, &count), &LocalFree);
    if (!arguments) {
        error = "the command line cannot be read";
        return false;
    }
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(wideToUtf8(arguments.get()[i]));
    }
    std::vector<const char*> argv;
    for (const std::string& text : texts) {
        argv.push_back(text.c_str());
    }
    return parseStartOptions(count, argv.data(), options, error);
}

namespace {

constexpr const char* usageHead = "Usage: kestrum.exe [options]\n\n";

// The messages of a setting out of range are the Apply button's own.
bool isSettingMessage(const std::string& error) {
    const std::string range = integerRangeMessage;
    const std::size_t fixed = range.find("%1");
    return error == positiveIntegerMessage || error.compare(0, fixed, range, 0, fixed) == 0;
}

} // namespace

void showCommandLineError(const std::string& error) {
    if (isSettingMessage(error)) {
        MessageBoxW(nullptr, utf8ToWide(error.c_str()).c_str(), L"Kestrum",
                    MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string text =
        "Kestrum cannot start: " + error + ".\n\n" + usageHead + startOptionsUsage;
    MessageBoxW(nullptr, utf8ToWide(text.c_str()).c_str(), L"Kestrum", MB_OK | MB_ICONERROR);
}

void showUsage() {
    const std::string text = std::string(usageHead) + startOptionsUsage;
    MessageBoxW(nullptr, utf8ToWide(text.c_str()).c_str(), L"Kestrum", MB_OK | MB_ICONINFORMATION);
}

} // namespace kestrum
