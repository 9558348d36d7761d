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

} // namespace kestrum
