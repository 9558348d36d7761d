#include "shell/framework/OffscreenDC.h"

namespace kestrum {

namespace {

bool isPrinting(HDC dc) {
    const int technology = GetDeviceCaps(dc, TECHNOLOGY);
    return technology == DT_RASPRINTER || technology == DT_PLOTTER;
}

} // namespace

COffscreenDC::COffscreenDC(HDC target, const RECT* rect, bool copyBack)
    : target_(target), copyBack_(copyBack) {
    if (rect != nullptr) {
        rect_ = *rect;
    } else {
        GetClipBox(target, &rect_);
    }
    if (isPrinting(target)) {
        return;
    }
    const int width = rect_.right - rect_.left;
    const int height = rect_.bottom - rect_.top;
    memory_ = CreateCompatibleDC(target);
    bitmap_ = memory_ != nullptr ? CreateCompatibleBitmap(target, width, height) : nullptr;
    if (bitmap_ == nullptr) {
        // Out of resources: drawing straight to the target flickers but still shows.
        if (memory_ != nullptr) {
            DeleteDC(memory_);
            memory_ = nullptr;
        }
        return;
    }
    previousBitmap_ = SelectObject(memory_, bitmap_);
    // The bitmap starts at the rectangle's corner, so callers draw in target coordinates.
    SetWindowOrgEx(memory_, rect_.left, rect_.top, nullptr);
}

COffscreenDC::~COffscreenDC() {
    if (memory_ == nullptr) {
        return;
    }
    if (copyBack_) {
        BitBlt(target_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top,
               memory_, rect_.left, rect_.top, SRCCOPY);
    }
    SelectObject(memory_, previousBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
}

void fillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

} // namespace kestrum
