#pragma once

#include "shell/framework/SubclassedWindow.h"

#include <memory>
#include <span>

namespace kestrum {

// One picture of the gallery: a control of an exact client size in one state.
struct Scene {
    const char* name; // the picture's file name without extension
    const wchar_t* windowClass;
    DWORD style;
    int width;
    int height;
    // Attaches the control to `window` (fresh, of the class, style and size above) and puts it
    // into the scene's state; the object lives until the picture is taken.
    std::unique_ptr<CSubclassedWindow> (*show)(HWND window);
};

// The scene tables, one per control, each in a file of its own.
std::span<const Scene> graphScenes();
std::span<const Scene> readoutScenes();
std::span<const Scene> labelScenes();
std::span<const Scene> buttonScenes();
std::span<const Scene> linkScenes();
std::span<const Scene> iconScenes();

} // namespace kestrum
