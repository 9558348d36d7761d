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

std::string wideToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), count, nullptr, nullptr);
    return utf8;
}

} // namespace kestrum
