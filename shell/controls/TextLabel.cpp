#include "shell/controls/TextLabel.h"

#include "shell/framework/DialogDpi.h"
#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

namespace {

constexpr int leftOffset = 2;

// Arial with a 12-pixel cell at 96 DPI, scaled to the window's DPI; the default character set
// lets gateway names in any script show.
HFONT createLabelFont(int dpi) {
    LOGFONTW font{};
    font.lfHeight = MulDiv(12, dpi, USER_DEFAULT_SCREEN_DPI);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_ROMAN;
    std::wcscpy(font.lfFaceName, L"Arial");
    return CreateFontIndirectW(&font);
}

} // namespace

CTextLabel::~CTextLabel() {
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

void CTextLabel::setText(const char* utf8) {
    setWideText(utf8ToWide(utf8));
}

void CTextLabel::onSubclassed() {
    if (text_.empty()) {
        const auto length = static_cast<std::size_t>(defaultProc(WM_GETTEXTLENGTH, 0, 0));
        std::wstring text(length + 1, L'\0');
        const auto copied = static_cast<std::size_t>(
            defaultProc(WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
        text.resize(std::min(copied, length));
        text_ = std::move(text);
    }
    // Whatever the static control drew before is not ours to copy.
    refresh();
}

void CTextLabel::setWideText(std::wstring text) {
    // The same text again would only repaint what is already there.
    if (text == text_) {
        return;
    }
    text_ = std::move(text);
    refresh();
}

void CTextLabel::refresh() {
    if (hwnd() == nullptr) {
        return;
    }
    // The label copies what is under it, so the parent first paints that area afresh.
    if (HWND parent = GetParent(hwnd()); parent != nullptr) {
        RECT area{};
        GetWindowRect(hwnd(), &area);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
        RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    redraw();
}

LRESULT CTextLabel::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_SETTEXT: {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        setWideText(text != nullptr ? text : L"");
        return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return answerWindowText(text_, message, wParam, lParam);
    case WM_DPICHANGED:
        // The dialog passes its new DPI on; the font follows at the next paint.
        dpi_ = HIWORD(wParam);
        refresh();
        return 0;
    case WM_SYSCOLORCHANGE:
        refresh();
        return 0;
    default:
        return COffscreenControl::windowProc(message, wParam, lParam);
    }
}

void CTextLabel::draw(HDC dc, HDC target, const RECT& client) {
    // Transparent: start from what is on the screen under the control.
    BitBlt(dc, 0, 0, client.right, client.bottom, target, 0, 0, SRCCOPY);
    const int dpi = dpi_ != 0 ? dpi_ : windowDpi(hwnd());
    if (font_ == nullptr || dpi != fontDpi_) {
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        font_ = createLabelFont(dpi);
        fontDpi_ = dpi;
    }
    HGDIOBJ previousFont = SelectObject(dc, font_);
    const auto length = static_cast<int>(text_.size());
    SIZE extent{};
    GetTextExtentPoint32W(dc, text_.c_str(), length, &extent);
    SetBkMode(dc, TRANSPARENT);
    // Read at every paint, so that a change of colours or high contrast shows at once.
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    TextOutW(dc, leftOffset, client.bottom / 2 - extent.cy / 2, text_.c_str(), length);
    SelectObject(dc, previousFont);
}

} // namespace kestrum
