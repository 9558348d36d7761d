#include "shell/controls/HyperLink.h"

#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

#include <windowsx.h>

namespace kestrum {

namespace {

constexpr int lastFailureCode = 32;
constexpr WORD helpHandCursor = 106;

HCURSOR cursorOfHelpProgram() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(directory, length) + L"\\winhlp32.exe";
    // As data only: nothing of the program runs in this process.
    HMODULE help = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (help == nullptr) {
        return nullptr;
    }
    HCURSOR cursor = LoadCursorW(help, MAKEINTRESOURCEW(helpHandCursor));
    HCURSOR copy = cursor != nullptr ? CopyCursor(cursor) : nullptr;
    FreeLibrary(help);
    return copy;
}

} // namespace

CHyperLink::~CHyperLink() {
    if (hwnd() != nullptr && font_ != nullptr) {
        defaultProc(WM_SETFONT, reinterpret_cast<WPARAM>(templateFont_), FALSE);
    }
    releaseFont();
}

void CHyperLink::setAddress(const char* address) {
    address_ = address != nullptr ? address : "";
    if (hwnd() != nullptr) {
        // Hidden while it changes size, so that no part of the old size stays on screen.
        const bool visible = (GetWindowLongW(hwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
        ShowWindow(hwnd(), SW_HIDE);
        autoSize();
        tooltip_.setText(address_.c_str());
        ShowWindow(hwnd(), visible ? SW_SHOW : SW_HIDE);
    }
}

void CHyperLink::openLink() {
    const std::intptr_t result = launchAddress(*opener_, address_.c_str(), SW_SHOW);
    if (result <= lastFailureCode) {
        opener_->reportFailure(GetAncestor(hwnd(), GA_ROOT), openFailureText(result));
    } else {
        visited_ = true;
        invalidate();
    }
}

void CHyperLink::onSubclassed() {
    const std::wstring text = windowText(hwnd());
    if (address_.empty()) {
        address_ = wideToUtf8(text);
    }
    if (text.empty()) {
        SetWindowTextW(hwnd(), utf8ToWide(address_.c_str()).c_str());
    }
    if (!takeFont(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), TRUE)) {
        // Without a font the text cannot be measured; the template's size stays.
        style_ &= ~autoSizeStyle;
    }
    if (!hasStyle(defaultCursorStyle)) {
        handCursor();
    }
    tooltip_.create(hwnd(), 0, address_.c_str(), true);
}

bool CHyperLink::preTranslateMessage(MSG& message) {
    tooltip_.relay(message);
    return false;
}

LRESULT CHyperLink::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCHITTEST:
        // The template has no notify style; the link still wants the mouse.
        return HTCLIENT;
    case WM_SETCURSOR:
        if (!hasStyle(defaultCursorStyle) && handCursor() != nullptr) {
            SetCursor(handCursor());
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (!over_) {
            over_ = true;
            invalidate();
            SetCapture(hwnd());
        } else {
            RECT client{};
            GetClientRect(hwnd(), &client);
            if (!PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
                ReleaseCapture();
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        // However the capture goes, the pointer no longer counts as over the link.
        if (over_ && reinterpret_cast<HWND>(lParam) != hwnd()) {
            over_ = false;
            invalidate();
        }
        break;
    case WM_LBUTTONDOWN:
        if (hasStyle(focusOnClickStyle)) {
            SetFocus(hwnd());
        }
        if (hasStyle(openOnPressStyle)) {
            openLink();
        }
        pressed_ = true;
        return 0;
    case WM_LBUTTONUP:
        if (pressed_ && !hasStyle(openOnPressStyle)) {
            openLink();
        }
        return 0;
    case WM_SETFOCUS:
        pressed_ = true;
        invalidate();
        break;
    case WM_KILLFOCUS:
        pressed_ = false;
        if (GetCapture() == hwnd()) {
            ReleaseCapture();
        }
        over_ = false;
        invalidate();
        break;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            openLink();
            return 0;
        }
        break;
    case WM_SETFONT:
        // A new dialog font (a change of DPI): underline it and fit the text again.
        takeFont(reinterpret_cast<HFONT>(wParam), lParam);
        return 0;
    case WM_SIZE:
        tooltip_.fitTool();
        break;
    case WM_SYSCOLORCHANGE:
        // High contrast switched on or off, or new colours.
        invalidate();
        break;
    case WM_DESTROY: {
        tooltip_.destroy();
        const LRESULT result = defaultProc(message, wParam, lParam);
        releaseFont();
        return result;
    }
    default:
        break;
    }
    return defaultProc(message, wParam, lParam);
}

bool CHyperLink::onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_CTLCOLORSTATIC) {
        return false;
    }
    // The parent's own background brush: every repaint covers the last one whole, where text
    // drawn over old text would thicken its smoothed edges and keep an old colour's fringe.
    result = DefWindowProcW(GetParent(hwnd()), message, wParam, lParam);
    SetTextColor(reinterpret_cast<HDC>(wParam),
                 colourFor(over_, pressed_, visited_, style_, highContrast()));
    return true;
}

COLORREF CHyperLink::colourFor(bool over, bool pressed, bool visited, unsigned style,
                               bool highContrast) {
    // The contrast theme's own link colour reads on its background; fixed blue does not.
    if (highContrast) {
        return GetSysColor(COLOR_HOTLIGHT);
    }
    if (over && (style & hoverColourStyle) != 0) {
        return hoverColour;
    }
    if (pressed && (style & noFocusColourStyle) == 0) {
        return focusedColour;
    }
    return visited ? visitedColour : unvisitedColour;
}

bool CHyperLink::highContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void CHyperLink::autoSize() {
    if (!hasStyle(autoSizeStyle)) {
        return;
    }
    HWND window = hwnd();
    RECT frame{};
    RECT client{};
    GetWindowRect(window, &frame);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&frame), 2);
    GetClientRect(window, &client);
    const std::wstring text = windowText(window);
    SIZE extent{};
    HDC dc = GetDC(window);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    RECT fitted = frame;
    if ((style & SS_CENTERIMAGE) != 0) {
        const LONG shrink = (frame.bottom - frame.top - extent.cy) / 2;
        fitted.top += shrink;
        fitted.bottom -= shrink;
    } else {
        fitted.bottom = fitted.top + extent.cy;
    }
    if ((style & SS_TYPEMASK) == SS_CENTER) {
        const LONG shrink = (frame.right - frame.left - extent.cx) / 2;
        fitted.left += shrink;
        fitted.right -= shrink;
    } else if ((style & SS_TYPEMASK) == SS_RIGHT) {
        fitted.left = fitted.right - extent.cx;
    } else {
        fitted.right = fitted.left + extent.cx;
    }
    // The borders keep their size.
    const LONG borderWidth = frame.right - frame.left - client.right;
    const LONG borderHeight = frame.bottom - frame.top - client.bottom;
    MoveWindow(window, fitted.left, fitted.top, fitted.right - fitted.left + borderWidth,
               fitted.bottom - fitted.top + borderHeight, TRUE);
}

bool CHyperLink::takeFont(HFONT templateFont, LPARAM redraw) {
    templateFont_ = templateFont;
    LOGFONTW font{};
    if (templateFont == nullptr || GetObjectW(templateFont, sizeof font, &font) == 0) {
        defaultProc(WM_SETFONT, reinterpret_cast<WPARAM>(templateFont), redraw);
        releaseFont();
        return false;
    }
    font.lfUnderline = hasStyle(underlineStyle) ? TRUE : FALSE;
    HFONT previous = font_;
    font_ = CreateFontIndirectW(&font);
    defaultProc(WM_SETFONT, reinterpret_cast<WPARAM>(font_ != nullptr ? font_ : templateFont),
                redraw);
    // Only now that the control no longer uses it.
    if (previous != nullptr) {
        DeleteObject(previous);
    }
    autoSize();
    return true;
}

void CHyperLink::invalidate() {
    if (hwnd() != nullptr) {
        InvalidateRect(hwnd(), nullptr, TRUE);
    }
}

void CHyperLink::releaseFont() {
    if (font_ != nullptr) {
        DeleteObject(font_);
        font_ = nullptr;
    }
}

HCURSOR CHyperLink::handCursor() {
    // Loaded once for every link of the process and never freed.
    static const HCURSOR cursor = [] {
        HCURSOR help = cursorOfHelpProgram();
        // A predefined cursor's name is a number, the same for both character sets.
        return help != nullptr ? help : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    }();
    return cursor;
}

} // namespace kestrum
