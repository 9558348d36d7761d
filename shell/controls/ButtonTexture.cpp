#include "shell/controls/ButtonTexture.h"

#include <algorithm>
#include <utility>

namespace kestrum {

namespace {

constexpr int faceIndex = 128;
constexpr int maximumEdgeWidth = 16;

std::uint8_t toIndex(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

int mix(int from, int to, int step, int steps) {
    return (from * (steps - step) + to * step) / steps;
}

COLORREF mixColours(COLORREF from, COLORREF to, int step, int steps) {
    return RGB(mix(GetRValue(from), GetRValue(to), step, steps),
               mix(GetGValue(from), GetGValue(to), step, steps),
               mix(GetBValue(from), GetBValue(to), step, steps));
}

TexturePalette blendPalette(const TexturePalette& palette, COLORREF target, int percent) {
    TexturePalette blended;
    std::transform(palette.begin(), palette.end(), blended.begin(),
                   [&](COLORREF colour) { return blendColour(colour, target, percent); });
    return blended;
}

// Draws noise values from `random`: 0 ... 2 * granularity around -granularity.
class Noise {
public:
    Noise(int granularity, int (*random)())
        : granularity_(granularity), divisor_(0x7FFF / std::max(2 * granularity, 1)),
          random_(random) {}
    int next() const { return random_() / divisor_ - granularity_; }

private:
    int granularity_;
    int divisor_;
    int (*random_)();
};

} // namespace

CButtonTexture::CButtonTexture(int width, int height, std::vector<std::uint8_t> indices,
                               const TexturePalette& palette)
    : width_(width), height_(height), indices_(std::move(indices)) {
    BITMAPINFOHEADER& info = header_.info;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 8;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(indices_.size());
    info.biClrUsed = 256;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        header_.colours[i] = {GetBValue(palette[i]), GetGValue(palette[i]), GetRValue(palette[i]),
                              0};
    }
}

void CButtonTexture::draw(HDC target, int x, int y) const {
    if (indices_.empty()) {
        return;
    }
    SetDIBitsToDevice(target, x, y, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0, 0,
                      0, static_cast<UINT>(height_), indices_.data(),
                      reinterpret_cast<const BITMAPINFO*>(&header_), DIB_RGB_COLORS);
}

ShadeColours ShadeColours::system() {
    return {GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE),
            GetSysColor(COLOR_BTNHIGHLIGHT)};
}

TexturePalette shadePalette(const ShadeColours& colours) {
    TexturePalette palette;
    for (int i = 0; i <= faceIndex; ++i) {
        palette[static_cast<std::size_t>(i)] = mixColours(colours.shadow, colours.face, i, 128);
    }
    for (int i = 1; i <= 128; ++i) {
        palette[static_cast<std::size_t>(127 + i)] =
            mixColours(colours.face, colours.highlight, i, 128);
    }
    return palette;
}

COLORREF blendColour(COLORREF colour, COLORREF target, int percent) {
    return mixColours(colour, target, std::clamp(percent, 0, 100), 100);
}

int textureRowStride(int width) {
    return (width + 3) / 4 * 4;
}

std::vector<std::uint8_t> shadeIndices(int width, int height, int granularity, int (*random)()) {
    const int stride = textureRowStride(width);
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(stride * height), faceIndex);
    if (width < 6 || height < 2) {
        return indices;
    }
    const int g = std::clamp(granularity, 0, 64);
    const Noise noise(g, random);
    const int edge = std::min(width / 6, maximumEdgeWidth);
    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = indices.data() + row * stride;
        // A cubic ramp: darkest at the bottom, brightest at the top, flat in the middle.
        const int v = row * 255 / height - 127;
        const int shade = v * v * v / 16384 * (64 - g) * 2 / 128 + faceIndex;
        for (int x = 0; x < width; ++x) {
            line[x] = toIndex(shade + noise.next());
        }
        // The shaded bands are `edge` wide at mid-height and vanish at the top and bottom rows.
        const int d = row - height / 2;
        const int reach = edge * d * d / (height * height / 4) - edge + width / 2;
        for (int x = 0; x < width; ++x) {
            const int u = x - width / 2;
            int value = line[x];
            if (u > reach) {
                value = (width - x) * 128 / edge + g;
            } else if (u + reach < 0) {
                value = (255 - g) - x * 128 / edge;
            }
            line[x] = toIndex(value + noise.next());
        }
    }
    return indices;
}

ButtonTextures makeButtonTextures(int width, int height, int granularity, int highlightPercent,
                                  int colouringPercent, COLORREF colour,
                                  const ShadeColours& colours, int (*random)()) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    std::vector<std::uint8_t> indices = shadeIndices(width, height, granularity, random);
    const TexturePalette normal = blendPalette(shadePalette(colours), colour, colouringPercent);
    const TexturePalette hover = blendPalette(normal, colours.highlight, highlightPercent);
    return {CButtonTexture(width, height, indices, normal),
            CButtonTexture(width, height, std::move(indices), hover)};
}

} // namespace kestrum
