#include "shell/app/Icons.h"
#include "shell/app/ResourceIds.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

// The sizes that 175 %, 225 % and 350 % display scaling ask for (small icons; 56 is also the
// large icon at 175 %), which the system would otherwise shrink from the next size up.
constexpr int scaledSizes[] = {28, 36, 56};

// The width of the image that an icon resource holds for a size, as the system chooses it.
int chosenWidth(int resourceId, int size) {
    HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(14));
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(nullptr, group)));
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));
    if (image == nullptr) {
        return 0;
    }
    return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, image)))
        ->biWidth;
}

TEST(IconArt, EveryIconHasAnImageAtEveryScaledSize) {
    const int icons[] = {IDI_APPLICATION_ICON, IDI_LEVEL_0, IDI_LEVEL_1, IDI_LEVEL_2,
                         IDI_LEVEL_3,          IDI_LEVEL_4, IDI_LEVEL_5, IDI_LEVEL_6,
                         IDI_LEVEL_7,          IDI_LEVEL_8, IDI_LEVEL_9};
    for (const int icon : icons) {
        for (const int size : scaledSizes) {
            EXPECT_EQ(chosenWidth(icon, size), size) << "icon " << icon << ", " << size << " px";
        }
    }
}

// The lit segments of a level icon's meter, counted up its middle column.
int litSegments(HICON icon, int size) {
    const std::set<COLORREF> ramp = {0x28C83C, 0x5AD232, 0x96D728, 0xD2D21E,
                                     0xF0B41E, 0xF58C1E, 0xF05A1E, 0xE12823};
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return -1;
    }
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(static_cast<std::size_t>(size * size));
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size), pixels.data(), &format,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    int segments = 0;
    bool lit = false;
    for (int y = 0; y < size; ++y) {
        const bool litHere =
            ramp.count(pixels[static_cast<std::size_t>(y * size + size / 2)] & 0xFFFFFF) != 0;
        segments += litHere && !lit ? 1 : 0;
        lit = litHere;
    }
    return segments;
}

// A full meter keeps its nine segments apart at those sizes: none merges or drops out.
TEST(IconArt, TheFullMetersNineSegmentsSurviveEveryScaledSize) {
    for (const int size : scaledSizes) {
        HICON icon = loadIcon(IDI_LEVEL_9, size);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(litSegments(icon, size), 9) << size << " px";
        DestroyIcon(icon);
    }
}

} // namespace
} // namespace kestrum::test
