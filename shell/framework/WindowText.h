#pragma once

#include <string>
#include <windows.h>

namespace kestrum {

// A window's whole text.
std::wstring windowText(HWND window);

// Answers WM_GETTEXT or WM_GETTEXTLENGTH with the given text, for controls that keep their
// window text themselves. Their windows are Unicode ones, being subclassed with a wide
// procedure; the system converts for callers of the narrow API.
LRESULT answerWindowText(const std::wstring& text, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace kestrum
