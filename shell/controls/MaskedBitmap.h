#pragma once

#include <windows.h>

namespace kestrum {

// A bitmap drawn with one colour transparent: its monochrome mask clears the opaque pixels of
// the target, then the image, whose transparent pixels are made black, is painted into them.
class CMaskedBitmap {
public:
    enum Result { ok = 0, sizeUnreadable = 1, maskFailed = 2 };

    CMaskedBitmap() = default;
    ~CMaskedBitmap() { clear(); }
    CMaskedBitmap(const CMaskedBitmap&) = delete;
    CMaskedBitmap& operator=(const CMaskedBitmap&) = delete;

    // Takes ownership of `image`, also when it fails (the image is then deleted).
    Result assign(HBITMAP image, COLORREF transparent);
    void clear();
    bool isEmpty() const { return image_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    void draw(HDC target, int x, int y) const;

    // A new bitmap like `image` with every pixel except the transparent ones a quarter darker;
    // null when it cannot be made.
    static HBITMAP darkerCopy(HBITMAP image, COLORREF transparent);

private:
    // Makes the mask from the image and blackens the image's transparent pixels.
    bool cutOut(COLORREF transparent);

    HBITMAP image_ = nullptr;
    HBITMAP mask_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Each of red, green and blue reduced by a quarter, rounded toward zero.
COLORREF darkerColour(COLORREF colour);

} // namespace kestrum
