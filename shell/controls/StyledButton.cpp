#include "shell/controls/StyledButton.h"

#include "shell/framework/OffscreenDC.h"

#include <commctrl.h>
#include <cstdlib>
#include <windowsx.h>

namespace kestrum {

namespace {

// The style's button type; a dialog's default push button has type BS_DEFPUSHBUTTON.
constexpr LONG_PTR buttonTypeMask = 0x1F;
constexpr WPARAM setStyleClearedBits = 0x14;

int platformRandom() {
    return std::rand();
}

// Top row and left column without their last pixel in one colour, then the right column and
// the bottom row in full in the other.
void drawFrame(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    fillSolid(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    fillSolid(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    fillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    fillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

} // namespace

bool CStyledButton::makeTexture(int type, int granularity, int highlightPercent,
                                int colouringPercent, COLORREF colour) {
    if (type != shadedTexture) {
        return false;
    }
    settings_ = {granularity, highlightPercent, colouringPercent, colour};
    hasTexture_ = true;
    textures_ = {};
    RECT client{};
    if (hwnd() != nullptr && GetClientRect(hwnd(), &client)) {
        fitTextures(client.right, client.bottom);
    }
    invalidate();
    return true;
}

int CStyledButton::setBitmaps(HBITMAP hover, COLORREF hoverTransparent, HBITMAP idle,
                              COLORREF idleTransparent) {
    hoverBitmap_.clear();
    idleBitmap_.clear();
    const bool darker = idle == darkerCopy();
    if (darker) {
        // From the hover image as it is, before its mask changes it.
        idle = CMaskedBitmap::darkerCopy(hover, hoverTransparent);
        idleTransparent = hoverTransparent;
    }
    int result = bitmapsSet;
    if (hover != nullptr) {
        result = hoverBitmap_.assign(hover, hoverTransparent);
        if (result == bitmapsSet && darker && idle == nullptr) {
            result = bitmapMaskFailed;
        }
    }
    if (idle != nullptr) {
        if (result == bitmapsSet) {
            result = idleBitmap_.assign(idle, idleTransparent);
        } else {
            DeleteObject(idle);
        }
    }
    if (result != bitmapsSet) {
        hoverBitmap_.clear();
        idleBitmap_.clear();
    }
    invalidate();
    return result;
}

void CStyledButton::setTooltipStyleBalloon() {
    tooltipStyle_ |= TTS_BALLOON;
}

void CStyledButton::setTooltipText(const char* text, bool activate) {
    if (hwnd() == nullptr) {
        return;
    }
    if (!tooltip_.exists()) {
        tooltip_.create(hwnd(), tooltipStyle_, text, false);
    } else {
        tooltip_.setText(text);
    }
    tooltip_.activate(activate);
}

void CStyledButton::onSubclassed() {
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    default_ = (style & buttonTypeMask) == BS_DEFPUSHBUTTON;
    SetWindowLongPtrW(hwnd(), GWL_STYLE, (style & ~buttonTypeMask) | BS_OWNERDRAW);
    SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    invalidate();
}

bool CStyledButton::preTranslateMessage(MSG& message) {
    tooltip_.relay(message);
    return false;
}

LRESULT CStyledButton::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE: {
        const LRESULT result = defaultProc(message, wParam, lParam);
        trackHover(wParam, lParam);
        return result;
    }
    case WM_MOUSELEAVE:
        cancelHover();
        return 0;
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
        const LRESULT result = defaultProc(message, wParam, lParam);
        cancelHover();
        return result;
    }
    case WM_ENABLE: {
        const bool hadFocus = GetFocus() == hwnd();
        const LRESULT result = defaultProc(message, wParam, lParam);
        if (wParam == FALSE) {
            // A disabled button must not keep the keyboard focus.
            if (HWND parent = GetParent(hwnd()); hadFocus && parent != nullptr) {
                HWND next = GetNextDlgTabItem(parent, hwnd(), FALSE);
                SetFocus(next != nullptr ? next : parent);
            }
            cancelHover();
        }
        return result;
    }
    case WM_LBUTTONDBLCLK:
        // A quick second click is a click of its own.
        return defaultProc(WM_LBUTTONDOWN, wParam, lParam);
    case WM_GETDLGCODE: {
        const LRESULT result = defaultProc(message, wParam, lParam) &
                               ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
        return result | (default_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE:
        // The dialog moves the default look between buttons; this one stays owner-drawn.
        if ((wParam & buttonTypeMask) == BS_DEFPUSHBUTTON) {
            default_ = true;
        } else if ((wParam & buttonTypeMask) == BS_PUSHBUTTON) {
            default_ = false;
        }
        return defaultProc(message, (wParam & ~setStyleClearedBits) | BS_OWNERDRAW, lParam);
    case WM_SYSCOLORCHANGE: {
        const LRESULT result = defaultProc(message, wParam, lParam);
        invalidate();
        return result;
    }
    case WM_SIZE:
        tooltip_.fitTool();
        break;
    case WM_DESTROY:
        tooltip_.destroy();
        break;
    default:
        break;
    }
    return defaultProc(message, wParam, lParam);
}

bool CStyledButton::onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_DRAWITEM:
        paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_CTLCOLORBTN:
        result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    case WM_COMMAND:
        // The parent still gets the click, as from an ordinary button.
        if (HIWORD(wParam) == BN_CLICKED) {
            SetFocus(hwnd());
        }
        return false;
    default:
        return false;
    }
}

void CStyledButton::paint(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const int previousMode = SetBkMode(dc, TRANSPARENT);

    fitTextures(width, height);
    if (!hasTexture_) {
        fillSolid(dc, area, GetSysColor(COLOR_BTNFACE));
    } else if (!hover_) {
        textures_.normal.draw(dc, area.left, area.top);
    } else {
        const int shift = pressed ? 1 : 0;
        textures_.hover.draw(dc, area.left + shift, area.top + shift);
    }

    if (pressed) {
        drawFrame(dc, area, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
    } else if (hover_) {
        drawFrame(dc, area, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
    }

    const CMaskedBitmap& bitmap =
        hover_ || pressed || idleBitmap_.isEmpty() ? hoverBitmap_ : idleBitmap_;
    const int shift = pressed ? 1 : 0;
    bitmap.draw(dc, area.left + (width - bitmap.width()) / 2 + shift,
                area.top + (height - bitmap.height()) / 2 + shift);
    SetBkMode(dc, previousMode);
}

void CStyledButton::fitTextures(int width, int height) {
    if (!hasTexture_) {
        return;
    }
    // The system colours are read at every paint: a change of scheme or high contrast shows
    // at once, as does a new size (a change of DPI).
    const ShadeColours shades = ShadeColours::system();
    const COLORREF tint =
        settings_.colour == buttonFace ? GetSysColor(COLOR_BTNFACE) : settings_.colour;
    if (textures_.normal.width() == width && textures_.normal.height() == height &&
        shades == texturesShades_ && tint == texturesTint_) {
        return;
    }
    textures_ = makeButtonTextures(width, height, settings_.granularity, settings_.highlightPercent,
                                   settings_.colouringPercent, tint, shades, platformRandom);
    texturesShades_ = shades;
    texturesTint_ = tint;
}

void CStyledButton::trackHover(WPARAM keys, LPARAM point) {
    if ((keys & MK_LBUTTON) != 0 && !hover_) {
        return;
    }
    POINT screen{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    ClientToScreen(hwnd(), &screen);
    if (WindowFromPoint(screen) != hwnd() ||
        (!trackWhileInactive_ && GetActiveWindow() == nullptr)) {
        cancelHover();
        return;
    }
    if (!hover_) {
        hover_ = true;
        invalidate();
        TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, hwnd(), 0};
        TrackMouseEvent(&leave);
    }
}

void CStyledButton::cancelHover() {
    if (hover_) {
        hover_ = false;
        invalidate();
    }
}

void CStyledButton::invalidate() {
    if (hwnd() != nullptr) {
        InvalidateRect(hwnd(), nullptr, FALSE);
    }
}

} // namespace kestrum
