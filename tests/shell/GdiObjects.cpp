#include "tests/shell/GdiObjects.h"

#include <vector>

namespace kestrum {

long gdiObjectCount() {
    if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); counted != 0) {
        return static_cast<long>(counted);
    }
    constexpr std::size_t probeLimit = 1 << 20;
    std::vector<HGDIOBJ> probes;
    while (probes.size() < probeLimit) {
        HGDIOBJ probe = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
        if (probe == nullptr) {
            break;
        }
        probes.push_back(probe);
    }
    for (HGDIOBJ probe : probes) {
        DeleteObject(probe);
    }
    return static_cast<long>(probeLimit - probes.size());
}

void repaint(HWND window, int times) {
    for (int i = 0; i < times; ++i) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
}

} // namespace kestrum
