#include "shell/TextLabel.h"

#include "shell/OffscreenDC.h"
#include "shell/WindowText.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

namespace {

constexpr int leftOffset = 2;

// Arial with a 12-pixel cell; the default character set lets gateway names in any script show.
HFONT createLabelFont() {
    LOGFONTW font{};
    font.lfHeight = 12;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_ROMAN;
    std::wcscpy(font.lfFaceName, L"Arial");
    return CreateFontIndirectW(&font);
}

std::wstring fromUtf8(const char* utf8) {
    if (utf8 == nullptr || *utf8 == '\0') {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

} // namespace

CTextLabel::CTextLabel() : font_(createLabelFont()), textColour_(GetSysColor(COLOR_BTNTEXT)) {}

CTextLabel::~CTextLabel() {
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

void CTextLabel::setText(const char* utf8) {
    setWideText(fromUtf8(utf8));
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
    InvalidateRect(hwnd(), nullptr, TRUE);
    UpdateWindow(hwnd());
}

LRESULT CTextLabel::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
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
    default:
        return defaultProc(message, wParam, lParam);
    }
}

void CTextLabel::paint() {
    PAINTSTRUCT paint{};
    HDC target = BeginPaint(hwnd(), &paint);
    RECT client{};
    GetClientRect(hwnd(), &client);
    {
        COffscreenDC offscreen(target, &client, true);
        HDC dc = offscreen.dc();
        // Transparent: start from what is on the screen under the control.
        BitBlt(dc, 0, 0, client.right, client.bottom, target, 0, 0, SRCCOPY);
        HGDIOBJ previousFont = SelectObject(dc, font_);
        const auto length = static_cast<int>(text_.size());
        SIZE extent{};
        GetTextExtentPoint32W(dc, text_.c_str(), length, &extent);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, textColour_);
        TextOutW(dc, leftOffset, client.bottom / 2 - extent.cy / 2, text_.c_str(), length);
        SelectObject(dc, previousFont);
    }
    EndPaint(hwnd(), &paint);
}

} // namespace kestrum
