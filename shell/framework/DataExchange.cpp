#include "shell/framework/DataExchange.h"

#include "shell/framework/Application.h"
#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

#include <cstdio>
#include <limits>
#include <string>

namespace kestrum {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void reject(HWND dialog, int id, const char* message) {
    CApplication* application = CApplication::current();
    if (application != nullptr) {
        application->messageBox(dialog, message, MB_OK | MB_ICONEXCLAMATION);
    }
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

} // namespace

UnsignedText parseUnsigned(const char* text, std::uint32_t& value) {
    const char* p = text;
    while (isBlank(*p)) {
        ++p;
    }
    if (*p == '+') {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return UnsignedText::NotANumber;
    }
    constexpr std::uint64_t largest = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + static_cast<std::uint64_t>(*p - '0');
        if (number > largest) {
            number = largest + 1; // stays above the limit however many digits follow
        }
    }
    while (isBlank(*p)) {
        ++p;
    }
    if (*p != '\0') {
        return UnsignedText::NotANumber;
    }
    value = static_cast<std::uint32_t>(number > largest ? largest : number);
    return UnsignedText::Number;
}

void formatRangeMessage(std::uint32_t minimum, std::uint32_t maximum, char* out, int size) {
    std::string message = integerRangeMessage;
    message.replace(message.find("%1"), 2, std::to_string(minimum));
    message.replace(message.find("%2"), 2, std::to_string(maximum));
    std::snprintf(out, static_cast<std::size_t>(size), "%s", message.c_str());
}

void showUnsigned(HWND dialog, int id, std::uint32_t value) {
    SetDlgItemTextW(dialog, id, std::to_wstring(value).c_str());
}

bool readUnsigned(HWND dialog, int id, std::uint32_t minimum, std::uint32_t maximum,
                  std::uint32_t& value) {
    const std::string text = wideToUtf8(windowText(GetDlgItem(dialog, id)));
    std::uint32_t number = 0;
    if (parseUnsigned(text.c_str(), number) != UnsignedText::Number) {
        reject(dialog, id, positiveIntegerMessage);
        return false;
    }
    if (number < minimum || number > maximum) {
        char message[96];
        formatRangeMessage(minimum, maximum, message, sizeof message);
        reject(dialog, id, message);
        return false;
    }
    value = number;
    return true;
}

} // namespace kestrum
