#include "shell/framework/TextConversion.h"

#include <cstring>
#include <windows.h>

namespace kestrum {

std::wstring utf8ToWide(const char* text) {
    const int length = text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
    if (length == 0) {
        return {};
    }
    const int count = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), count);
    return wide;
}

String cutUtf8(const char* text, int maximumBytes) {
    int length = 0;
    while (length < maximumBytes && text[length] != '\0') {
        ++length;
    }
    // Walk back over the trailing sequence and keep it only when it is complete.
    int start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80 &&
           length - start < 3) {
        --start;
    }
    if (start > 0) {
        const auto lead = static_cast<unsigned char>(text[start - 1]);
        const int needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (needed > 1 && length - (start - 1) < needed) {
            length = start - 1;
        }
    }
    return String(text, length);
}

} // namespace kestrum
