#pragma once

#include "shell/controls/OffscreenControl.h"

namespace kestrum {

// One integer as a row of seven-segment LED digits: lit segments bright, unlit ones dim, on a
// dark background. Positions beyond the number show unlit digits. Its window text is the value
// in decimal digits.
class CSegmentDisplay : public COffscreenControl {
public:
    static constexpr int maximumDigitCount = 20;

    // Ignored when out of 0 ... maximumDigitCount or unchanged. No digits draws only the
    // background.
    void setDigitCount(int count);
    int digitCount() const { return digitCount_; }
    // An unchanged value does not repaint.
    void setValue(int value);
    void useRedScheme();
    void useGreenScheme();

protected:
    void draw(HDC dc, HDC target, const RECT& client) override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Cell {
        int left, top, right, bottom;
    };
    // One-pixel strokes per segment; thin digits join an outer segment's innermost stroke to
    // the one before it.
    struct Strokes {
        int count;
        bool thin;
    };

    void drawDigits(HDC dc, int width, int height, HPEN litPen, HPEN unlitPen) const;
    static void drawCell(HDC dc, const Cell& cell, int pattern, bool lit, const Strokes& strokes,
                         HPEN litPen, HPEN unlitPen);

    COLORREF background_ = RGB(0, 0, 0);
    COLORREF lit_ = RGB(255, 0, 0);
    COLORREF unlit_ = RGB(60, 0, 0);
    int margin_ = 4;
    int gap_ = 3;
    int digitCount_ = 6;
    int value_ = 0;
};

} // namespace kestrum
