#pragma once

#include <cstdint>
#include <windows.h>

namespace kestrum {

// Dialog data exchange between edit controls and unsigned integer members, with the
// framework's range validation and its standard messages.

constexpr const char* positiveIntegerMessage = "Please enter a positive integer.";
constexpr const char* integerRangeMessage = "Please enter an integer between %1 and %2.";

enum class UnsignedText { Number, NotANumber };

// An unsigned decimal number, optionally with a plus sign, with spaces or tabs around it; a
// number too large for 32 bits reads as 4294967295.
UnsignedText parseUnsigned(const char* text, std::uint32_t& value);

// The range message with both bounds filled in.
void formatRangeMessage(std::uint32_t minimum, std::uint32_t maximum, char* out, int size);

void showUnsigned(HWND dialog, int id, std::uint32_t value);

// Reads edit id into value when its text is a number in minimum ... maximum. Otherwise shows the
// framework's message, puts the focus on the edit and leaves value as it was.
bool readUnsigned(HWND dialog, int id, std::uint32_t minimum, std::uint32_t maximum,
                  std::uint32_t& value);

} // namespace kestrum
