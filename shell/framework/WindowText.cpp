#include "shell/framework/WindowText.h"

#include <algorithm>

namespace kestrum {

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

LRESULT answerWindowText(const std::wstring& text, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH) {
        return static_cast<LRESULT>(text.size());
    }
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    if (message != WM_GETTEXT || buffer == nullptr || wParam == 0) {
        return 0;
    }
    const std::size_t copied = std::min<std::size_t>(text.size(), wParam - 1);
    text.copy(buffer, copied);
    buffer[copied] = L'\0';
    return static_cast<LRESULT>(copied);
}

} // namespace kestrum
