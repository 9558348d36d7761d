#pragma once

#include <cstdint>
#include <string>
#include <windows.h>

namespace kestrum {

// Dialog data exchange between edit controls and unsigned integer members. What a text is worth
// is the caller's to judge; the framework shows and reads the edits and tells the user.

void showUnsigned(HWND dialog, int id, std::uint32_t value);

// The text of edit id, as UTF-8.
std::string editText(HWND dialog, int id);

// Shows why the text of edit id was refused, then puts the focus on the edit with its text
// selected, so that the user can type over it.
void rejectEdit(HWND dialog, int id, const char* message);

} // namespace kestrum
