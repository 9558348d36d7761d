#pragma once

#include <span>
#include <windows.h>

namespace kestrum::test {

struct Ink {
    char symbol;
    COLORREF colour;
};

// A 32-bit bitmap drawn from rows of symbols of equal length, top row first; a symbol without
// an ink is white. The caller owns the bitmap.
HBITMAP createPicture(std::span<const char* const> rows, std::span<const Ink> inks);

} // namespace kestrum::test
