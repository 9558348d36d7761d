#include "shell/controls/MaskedBitmap.h"

#include "shell/controls/Dib32.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrum {

namespace {

// A memory device context with one bitmap selected, restored and freed on leaving the scope.
class SelectedBitmap {
public:
    explicit SelectedBitmap(HBITMAP bitmap)
        : dc_(CreateCompatibleDC(nullptr)),
          previous_(dc_ != nullptr ? SelectObject(dc_, bitmap) : nullptr) {}
    ~SelectedBitmap() {
        if (dc_ != nullptr) {
            SelectObject(dc_, previous_);
            DeleteDC(dc_);
        }
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;

    bool isValid() const { return dc_ != nullptr && previous_ != nullptr; }
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

bool readSize(HBITMAP image, int& width, int& height) {
    BITMAP info{};
    if (image == nullptr || GetObjectW(image, sizeof info, &info) != sizeof info) {
        return false;
    }
    width = info.bmWidth;
    height = info.bmHeight;
    return width > 0 && height > 0;
}

} // namespace

COLORREF darkerColour(COLORREF colour) {
    return RGB(GetRValue(colour) * 3 / 4, GetGValue(colour) * 3 / 4, GetBValue(colour) * 3 / 4);
}

HBITMAP CMaskedBitmap::darkerCopy(HBITMAP image, COLORREF transparent) {
    int width = 0;
    int height = 0;
    if (!readSize(image, width, height)) {
        return nullptr;
    }
    BITMAPINFO info = topDown32BitInfo(width, height);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, image, 0, static_cast<UINT>(height), pixels.data(), &info,
                         DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        return nullptr;
    }
    for (std::uint32_t& pixel : pixels) {
        const COLORREF colour = pixelColour(pixel);
        if (colour != transparent) {
            pixel = colourPixel(darkerColour(colour));
        }
    }
    void* bits = nullptr;
    info = topDown32BitInfo(width, height);
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (copy != nullptr) {
        std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
        GdiFlush();
    }
    return copy;
}

CMaskedBitmap::Result CMaskedBitmap::assign(HBITMAP image, COLORREF transparent) {
    clear();
    image_ = image;
    if (!readSize(image, width_, height_)) {
        clear();
        return sizeUnreadable;
    }
    mask_ = CreateBitmap(width_, height_, 1, 1, nullptr);
    if (mask_ == nullptr || !cutOut(transparent)) {
        clear();
        return maskFailed;
    }
    return ok;
}

bool CMaskedBitmap::cutOut(COLORREF transparent) {
    SelectedBitmap source(image_);
    SelectedBitmap mask(mask_);
    if (!source.isValid() || !mask.isValid()) {
        return false;
    }
    // Pixels of the source's background colour become 1 in the mask.
    SetBkColor(source.dc(), transparent);
    BitBlt(mask.dc(), 0, 0, width_, height_, source.dc(), 0, 0, SRCCOPY);
    // Mask bits 1 arrive as the background colour (black), 0 as the text colour (white).
    SetBkColor(source.dc(), RGB(0, 0, 0));
    SetTextColor(source.dc(), RGB(255, 255, 255));
    BitBlt(source.dc(), 0, 0, width_, height_, mask.dc(), 0, 0, SRCAND);
    return true;
}

void CMaskedBitmap::clear() {
    if (image_ != nullptr) {
        DeleteObject(image_);
    }
    if (mask_ != nullptr) {
        DeleteObject(mask_);
    }
    image_ = nullptr;
    mask_ = nullptr;
    width_ = 0;
    height_ = 0;
}

void CMaskedBitmap::draw(HDC target, int x, int y) const {
    if (isEmpty()) {
        return;
    }
    const COLORREF background = SetBkColor(target, RGB(255, 255, 255));
    const COLORREF text = SetTextColor(target, RGB(0, 0, 0));
    {
        SelectedBitmap mask(mask_);
        BitBlt(target, x, y, width_, height_, mask.dc(), 0, 0, SRCAND);
    }
    {
        SelectedBitmap image(image_);
        BitBlt(target, x, y, width_, height_, image.dc(), 0, 0, SRCPAINT);
    }
    SetBkColor(target, background);
    SetTextColor(target, text);
}

} // namespace kestrum
