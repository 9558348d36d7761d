#pragma once

#include "shell/controls/LinkOpener.h"
#include "shell/controls/Tooltip.h"
#include "shell/framework/SubclassedWindow.h"

#include <string>

namespace kestrum {

// Turns a dialog's static text into a web link: underlined text in link colours, a hand
// pointer, a tooltip with the address, and a click (or the space bar) that opens the address.
class CHyperLink : public CSubclassedWindow {
public:
    static constexpr unsigned underlineStyle = 0x01;
    static constexpr unsigned hoverColourStyle = 0x02;
    static constexpr unsigned autoSizeStyle = 0x04;
    static constexpr unsigned openOnPressStyle = 0x08;
    static constexpr unsigned focusOnClickStyle = 0x10;
    static constexpr unsigned defaultCursorStyle = 0x20;
    static constexpr unsigned noFocusColourStyle = 0x40;
    static constexpr unsigned defaultStyle = underlineStyle | autoSizeStyle | focusOnClickStyle;

    static constexpr COLORREF unvisitedColour = RGB(0, 0, 255);
    static constexpr COLORREF visitedColour = RGB(128, 0, 128);
    static constexpr COLORREF focusedColour = RGB(0, 128, 128);
    static constexpr COLORREF hoverColour = RGB(255, 0, 0);

    CHyperLink() = default;
    ~CHyperLink() override;

    void setAddress(const char* address);
    const std::string& address() const { return address_; }
    // Underline, auto-size and cursor take effect when the control is attached.
    void setStyle(unsigned style) { style_ = style; }
    // Replaces the platform's way of opening (tests); the opener must outlive the link.
    void setOpener(LinkOpener& opener) { opener_ = &opener; }
    void openLink();

    // The text's colour in a state: high contrast uses the system's link colour for every state.
    static COLORREF colourFor(bool over, bool pressed, bool visited, unsigned style,
                              bool highContrast);

protected:
    void onSubclassed() override;
    bool preTranslateMessage(MSG& message) override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static bool highContrast();
    // Shows the text in an underlined copy of templateFont and fits the control to it; false
    // when the font cannot be read.
    bool takeFont(HFONT templateFont, LPARAM redraw);
    void autoSize();
    void invalidate();
    void releaseFont();
    bool hasStyle(unsigned style) const { return (style_ & style) != 0; }
    static HCURSOR handCursor();

    bool pressed_ = false;
    bool over_ = false;
    bool visited_ = false;
    unsigned style_ = defaultStyle;
    std::string address_;
    HFONT font_ = nullptr;
    HFONT templateFont_ = nullptr;
    CTooltip tooltip_;
    LinkOpener* opener_ = &systemLinkOpener();
};

} // namespace kestrum
