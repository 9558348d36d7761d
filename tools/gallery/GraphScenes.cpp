#include "tools/gallery/GalleryScene.h"

namespace kestrum {

std::span<const Scene> graphScenes() {
    return {};
}

} // namespace kestrum
