#pragma once

#include <windows.h>

namespace kestrum {

// Painting without flicker: drawing goes to an off-screen bitmap of the rectangle, which is
// copied to the target in one BitBlt when the object goes. A printing context is drawn on
// directly.
class COffscreenDC {
public:
    // A null rectangle means the target's clip box. Drawing uses the target's coordinates.
    COffscreenDC(HDC target, const RECT* rect, bool copyBack);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Where to draw: the off-screen context, or the target itself.
    HDC dc() const { return memory_ != nullptr ? memory_ : target_; }

private:
    HDC target_;
    RECT rect_{};
    bool copyBack_;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
};

// A solid fill without creating a brush.
void fillSolid(HDC dc, const RECT& rect, COLORREF colour);

} // namespace kestrum
