#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <windows.h>

namespace kestrum {

// The platform services a link needs to open its address. Tests put a fake in their place, so
// that no test ever opens an address or starts a program.
class LinkOpener {
public:
    virtual ~LinkOpener() = default;
    // The shell's own open of the address; a result above 32 means success.
    virtual std::intptr_t shellOpen(const char* address, int show) = 0;
    // The default value of a key under HKEY_CLASSES_ROOT; false when the key does not open or its
    // value cannot be read.
    virtual bool classesRootDefault(const std::string& key, std::string& value) = 0;
    // Starts a command line; the result follows the shell's convention.
    virtual std::intptr_t runCommand(const std::string& command, int show) = 0;
    // Tells the user, with a beep and a message box, that a link could not be opened.
    virtual void reportFailure(HWND owner, const std::string& text) = 0;
};

// The real shell, registry and message box.
LinkOpener& systemLinkOpener();

// The command line that starts the registered browser on the address: the registered command
// cut before its "%1" placeholder (quoted or not), then a space and the address.
std::string browserCommand(std::string_view registered, std::string_view address);

// Opens the address with the shell, or else with the browser registered for ".htm" pages.
// Returns the shell's result code: above 32 on success.
std::intptr_t launchAddress(LinkOpener& opener, const char* address, int show);

// The message for a failed open with result code `code`.
std::string openFailureText(std::intptr_t code);

} // namespace kestrum
