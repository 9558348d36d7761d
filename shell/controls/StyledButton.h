#pragma once

#include "shell/controls/ButtonTexture.h"
#include "shell/controls/MaskedBitmap.h"
#include "shell/controls/Tooltip.h"
#include "shell/framework/SubclassedWindow.h"

namespace kestrum {

// An owner-drawn push button over a dialog's button: a shaded texture background, a bitmap with
// a transparent colour, a flat look that shows a frame and a brighter face while the pointer is
// over it, and a tooltip. It paints on the WM_DRAWITEM its parent reflects to it.
class CStyledButton : public CSubclassedWindow {
public:
    enum BitmapResult { bitmapsSet = 0, bitmapSizeUnreadable = 1, bitmapMaskFailed = 2 };
    static constexpr int shadedTexture = 7;

    // The idle image that asks setBitmaps for a darker copy of the hover image.
    static HBITMAP darkerCopy() { return reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(-3)); }

    CStyledButton() = default;

    // The tint colour that stands for the system's button face as it is at each paint (no RGB
    // value has a high byte).
    static constexpr COLORREF buttonFace = 0xFF000000;

    // Builds the normal and hover background for the button's size; only the shaded texture
    // type exists. The textures follow later changes of size and of the system colours with the
    // same settings.
    bool makeTexture(int type, int granularity, int highlightPercent, int colouringPercent,
                     COLORREF colour);
    // The button takes ownership of both images (a null idle image uses the hover image). On
    // failure it frees them and paints without bitmaps.
    int setBitmaps(HBITMAP hover, COLORREF hoverTransparent, HBITMAP idle,
                   COLORREF idleTransparent);
    // Hover feedback also while another application is active.
    void setTrackWhileInactive(bool track) { trackWhileInactive_ = track; }
    void setTooltipStyleBalloon();
    void setTooltipText(const char* text, bool activate);

protected:
    void onSubclassed() override;
    bool preTranslateMessage(MSG& message) override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    struct TextureSettings {
        int granularity = 0;
        int highlightPercent = 0;
        int colouringPercent = 0;
        COLORREF colour = 0;
    };

    void paint(const DRAWITEMSTRUCT& item);
    void fitTextures(int width, int height);
    void trackHover(WPARAM keys, LPARAM point);
    void cancelHover();
    void invalidate();

    bool hover_ = false;
    bool default_ = false;
    bool trackWhileInactive_ = false;
    bool hasTexture_ = false;
    TextureSettings settings_;
    ButtonTextures textures_;
    ShadeColours texturesShades_{};
    COLORREF texturesTint_ = 0;
    CMaskedBitmap hoverBitmap_;
    CMaskedBitmap idleBitmap_;
    CTooltip tooltip_;
    DWORD tooltipStyle_ = 0;
};

} // namespace kestrum
