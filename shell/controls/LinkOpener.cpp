#include "shell/controls/LinkOpener.h"

#include "shell/framework/TextConversion.h"

#include <shellapi.h>
#include <vector>

namespace kestrum {

namespace {

constexpr std::intptr_t firstSuccessCode = 33;
constexpr DWORD lastFailureCode = 32;
// The product name in the program's string table, used as the message box title.
constexpr UINT productNameString = 104;

class SystemLinkOpener final : public LinkOpener {
public:
    std::intptr_t shellOpen(const char* address, int show) override {
        HINSTANCE result =
            ShellExecuteW(nullptr, L"open", utf8ToWide(address).c_str(), nullptr, nullptr, show);
        return reinterpret_cast<std::intptr_t>(result);
    }

    bool classesRootDefault(const std::string& key, std::string& value) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, utf8ToWide(key.c_str()).c_str(), 0, KEY_QUERY_VALUE,
                          &opened) != ERROR_SUCCESS) {
            return false;
        }
        bool read = readDefault(opened, value);
        RegCloseKey(opened);
        return read;
    }

    // WinExec's work as its documentation advises, by CreateProcess, which takes any
    // characters; the result follows WinExec's convention.
    std::intptr_t runCommand(const std::string& command, int show) override {
        std::wstring line = utf8ToWide(command.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            const DWORD error = GetLastError();
            return error <= lastFailureCode ? static_cast<std::intptr_t>(error) : 0;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return firstSuccessCode;
    }

    void reportFailure(HWND owner, const std::string& text) override {
        MessageBeep(MB_ICONEXCLAMATION);
        wchar_t title[128] = L"Kestrum";
        LoadStringW(GetModuleHandleW(nullptr), productNameString, title, 128);
        MessageBoxW(owner, utf8ToWide(text.c_str()).c_str(), title, MB_OK | MB_ICONEXCLAMATION);
    }

private:
    // Sized by the registry itself, so no value is ever cut or overflows a buffer.
    static bool readDefault(HKEY key, std::string& value) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return false;
        }
        // A value need not end in a terminator: one more is always there.
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS) {
            return false;
        }
        value = wideToUtf8(buffer.data());
        return true;
    }
};

// An empty value names no program, so it counts as missing.
bool readClass(LinkOpener& opener, const std::string& key, std::string& value) {
    return opener.classesRootDefault(key, value) && !value.empty();
}

} // namespace

LinkOpener& systemLinkOpener() {
    static SystemLinkOpener opener;
    return opener;
}

std::string browserCommand(std::string_view registered, std::string_view address) {
    // Quotation mark, percent sign and digit are never the trail byte of a double-byte
    // character, so a plain byte search cannot match inside one.
    std::size_t cut = registered.find("\"%1\"");
    if (cut == std::string_view::npos) {
        cut = registered.find("%1");
    }
    std::string command(registered.substr(0, cut));
    command += ' ';
    command += address;
    return command;
}

std::intptr_t launchAddress(LinkOpener& opener, const char* address, int show) {
    std::intptr_t result = opener.shellOpen(address, show);
    if (result >= firstSuccessCode) {
        return result;
    }
    std::string pageClass;
    std::string registered;
    if (!readClass(opener, ".htm", pageClass) ||
        !readClass(opener, pageClass + "\\shell\\open\\command", registered)) {
        return result;
    }
    return opener.runCommand(browserCommand(registered, address), show);
}

std::string openFailureText(std::intptr_t code) {
    struct Reason {
        std::intptr_t code;
        const char* text;
    };
    static constexpr Reason reasons[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
             "being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
    };
    std::string text = "Can't open link:\n\n";
    for (const Reason& reason : reasons) {
        if (reason.code == code) {
            return text + reason.text;
        }
    }
    return text + "Unknown Error (" + std::to_string(code) + ") occurred.";
}

} // namespace kestrum
