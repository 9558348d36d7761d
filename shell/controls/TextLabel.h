#pragma once

#include "shell/controls/OffscreenControl.h"

#include <string>

namespace kestrum {

// A line of text in its own font, drawn over whatever the dialog shows under the control,
// left-aligned 2 pixels from the left edge and centred vertically. The text may be in any
// script. Its window text is the text it shows.
class CTextLabel : public COffscreenControl {
public:
    CTextLabel() = default;
    ~CTextLabel() override;

    // UTF-8; null is the empty text. Has the parent repaint the area under the label first,
    // so nothing of the previous text stays; the same text again repaints nothing.
    void setText(const char* utf8);

protected:
    // Takes over the text the window was created with.
    void onSubclassed() override;
    void draw(HDC dc, HDC target, const RECT& client) override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void setWideText(std::wstring text);
    // Repaints at once over a freshly painted parent; nothing before a window is attached.
    void refresh();

    // Made at the first paint and again when the window's DPI changes.
    HFONT font_ = nullptr;
    int fontDpi_ = 0;
    // The DPI the dialog last passed on; 0 until then (the window's own DPI holds).
    int dpi_ = 0;
    std::wstring text_;
};

} // namespace kestrum
