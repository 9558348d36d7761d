#pragma once

#include <array>
#include <cstdint>
#include <vector>
#include <windows.h>

namespace kestrum {

using TexturePalette = std::array<COLORREF, 256>;

// An 8-bit palettised picture of a button's background, drawn straight from memory. Rows run
// bottom-up, each padded to 4 bytes.
class CButtonTexture {
public:
    CButtonTexture() = default;
    CButtonTexture(int width, int height, std::vector<std::uint8_t> indices,
                   const TexturePalette& palette);

    int width() const { return width_; }
    int height() const { return height_; }
    // Copies the texture to the target with its top-left corner at (x, y).
    void draw(HDC target, int x, int y) const;

private:
    struct Header {
        BITMAPINFOHEADER info;
        RGBQUAD colours[256];
    };

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> indices_;
    Header header_{};
};

// The three system colours the shading runs through, from dark to bright.
struct ShadeColours {
    COLORREF shadow;
    COLORREF face;
    COLORREF highlight;

    static ShadeColours system();
    bool operator==(const ShadeColours&) const = default;
};

struct ButtonTextures {
    CButtonTexture normal;
    CButtonTexture hover;
};

// Shadow at entry 0, face at 128 and highlight at 255, in two linear runs.
TexturePalette shadePalette(const ShadeColours& colours);
// Each component moved `percent` (0 ... 100) of the way toward `target`.
COLORREF blendColour(COLORREF colour, COLORREF target, int percent);
int textureRowStride(int width);
// Palette indices of the shaded face: dark at the bottom, bright at the top, with rounded
// shading at the left and right edges and a noise of `granularity` taken from `random`. Sizes
// too small for the rounding (narrower than 6 or lower than 2) give a plain face.
std::vector<std::uint8_t> shadeIndices(int width, int height, int granularity, int (*random)());
// The normal texture is the shaded face tinted toward `colour` by `colouringPercent`; the hover
// texture is the normal one tinted further toward the highlight by `highlightPercent`.
ButtonTextures makeButtonTextures(int width, int height, int granularity, int highlightPercent,
                                  int colouringPercent, COLORREF colour,
                                  const ShadeColours& colours, int (*random)());

} // namespace kestrum
