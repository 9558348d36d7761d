#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace kestrum::test {

// A visible top-level window on the display, for the pixel tests and the gallery. It creates
// child controls of an exact client size, lets them paint, and reads their pixels back from the
// window as they are on screen. Its procedure reflects notifications to subclassed children,
// as a dialog of the program does. The hosts of one process take turns on one window; a host
// destroys the controls it leaves behind.
class ShellTestHost {
public:
    static constexpr int clientWidth = 620;
    static constexpr int clientHeight = 320;
    // Exit code of a test program that cannot run without a display (CTest: skipped).
    static constexpr int noDisplayExitCode = 77;

    // Whether a window can be opened at all (under Wine: whether an X display is there).
    static bool displayAvailable();
    // The GDI objects this process holds. Wine's GetGuiResources always answers 0, so there the
    // used entries of the process's GDI handle table are counted instead.
    static int gdiObjectCount();

    ShellTestHost();
    ~ShellTestHost();
    ShellTestHost(const ShellTestHost&) = delete;
    ShellTestHost& operator=(const ShellTestHost&) = delete;

    HWND window() const { return window_; }

    // A visible child window of this class, style and text whose client area is exactly
    // clientWidth x clientHeight, placed beside the ones before it. Null when it cannot be made.
    HWND createControl(int width, int height, const wchar_t* className = L"STATIC", DWORD style = 0,
                       const wchar_t* text = L"", int id = 1000);
    // Handles every queued message, paints included.
    void pumpMessages();

    // Pumps, then copies the control's client area from the screen into a 32-bit bitmap.
    void capture(HWND control);
    int width() const { return width_; }
    int height() const { return height_; }
    // A pixel of the last capture, in the control's client coordinates.
    COLORREF pixel(int x, int y) const;
    // The last capture as a 24-bit BMP file.
    bool saveBitmap(const std::wstring& path) const;

private:
    static LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    int nextX_ = 0;
    int nextY_ = 0;
    int rowHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<COLORREF> pixels_;
};

} // namespace kestrum::test
