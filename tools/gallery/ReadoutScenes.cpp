#include "tools/gallery/GalleryScene.h"

namespace kestrum {

std::span<const Scene> readoutScenes() {
    return {};
}

} // namespace kestrum
