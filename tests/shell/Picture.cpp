#include "tests/shell/Picture.h"

#include "shell/controls/Dib32.h"

#include <cstdint>
#include <cstring>

namespace kestrum::test {

HBITMAP createPicture(std::span<const char* const> rows, std::span<const Ink> inks) {
    const int width = rows.empty() ? 0 : static_cast<int>(std::strlen(rows[0]));
    const int height = static_cast<int>(rows.size());
    const BITMAPINFO info = topDown32BitInfo(width, height);
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr) {
        return nullptr;
    }
    auto* pixel = static_cast<std::uint32_t*>(bits);
    for (const char* row : rows) {
        for (int x = 0; x < width; ++x) {
            COLORREF colour = RGB(255, 255, 255);
            for (const Ink& ink : inks) {
                if (ink.symbol == row[x]) {
                    colour = ink.colour;
                }
            }
            *pixel++ = colourPixel(colour);
        }
    }
    GdiFlush();
    return picture;
}

} // namespace kestrum::test
