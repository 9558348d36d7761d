#pragma once

#include "shell/controls/OffscreenControl.h"

#include <mutex>
#include <vector>

namespace kestrum {

// A scrolling line graph of integer samples, scaled to the control's client area at every
// paint. The owner does the scrolling: it hands over the whole shifted history each time.
class CTrafficGraph : public COffscreenControl {
public:
    CTrafficGraph();

    void setRange(int lower, int upper);
    // Takes a copy of count values, oldest first; a null pointer or a count below 1 changes
    // nothing; repaint redraws afterwards, unless the samples were the same already. Throws
    // MemoryException when the copy cannot be stored.
    void setSamples(const int* values, int count, bool repaint);
    // Every sample becomes the integer whose four bytes all equal value.
    void fill(unsigned char value, bool repaint);
    // Plain stores; the caller redraws.
    void setLineColour(COLORREF colour) { lineColour_ = colour; }
    void setBackgroundColour(COLORREF colour) { backgroundColour_ = colour; }
    void setSunken(bool sunken) { sunken_ = sunken; }
    void setBorder(bool border) { border_ = border; }

protected:
    void draw(HDC dc, HDC target, const RECT& client) override;

private:
    void drawSamples(HDC dc, int width, int height);

    // Another thread may feed the samples while the user-interface thread paints them.
    std::mutex lock_;
    std::vector<int> samples_;
    COLORREF lineColour_ = RGB(40, 40, 200);
    COLORREF backgroundColour_ = RGB(255, 255, 255);
    int lower_ = 0;
    int upper_ = 100;
    bool sunken_ = true;
    bool border_ = false;
};

} // namespace kestrum
