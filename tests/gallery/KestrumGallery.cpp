// kestrum-gallery: draws every custom control in every state and writes one BMP per state into
// the given directory, for a person to look at.
#include "tests/gallery/GalleryScene.h"
#include "tests/shell/ShellTestHost.h"

#include <cstdio>
#include <string>

using namespace kestrum;

namespace {

using SceneTable = std::span<const Scene> (*)();

constexpr SceneTable sceneTables[] = {graphScenes,  readoutScenes, labelScenes,
                                      buttonScenes, linkScenes,    iconScenes};

std::wstring widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    }
    return wide;
}

bool takePicture(test::ShellTestHost& host, const Scene& scene, const std::wstring& directory) {
    HWND window = host.createControl(scene.width, scene.height, scene.windowClass, scene.style);
    if (window == nullptr) {
        return false;
    }
    bool saved = false;
    {
        std::unique_ptr<CSubclassedWindow> control = scene.show(window);
        host.capture(window);
        saved = host.saveBitmap(directory + L"\\" + widen(scene.name) + L".bmp");
    }
    DestroyWindow(window);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: kestrum-gallery OUTPUT_DIRECTORY\n", stderr);
        return 2;
    }
    if (!test::ShellTestHost::displayAvailable()) {
        std::fputs("kestrum-gallery: no display\n", stderr);
        return 1;
    }
    const std::wstring directory = widen(argv[1]);
    test::ShellTestHost host;
    int failed = 0;
    int written = 0;
    for (SceneTable table : sceneTables) {
        for (const Scene& scene : table()) {
            if (takePicture(host, scene, directory)) {
                ++written;
            } else {
                std::fprintf(stderr, "kestrum-gallery: %s failed\n", scene.name);
                ++failed;
            }
        }
    }
    std::printf("kestrum-gallery: %d pictures written, %d failed\n", written, failed);
    return failed == 0 ? 0 : 1;
}
