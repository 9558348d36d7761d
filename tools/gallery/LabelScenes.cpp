#include "tools/gallery/GalleryScene.h"

namespace kestrum {

std::span<const Scene> labelScenes() {
    return {};
}

} // namespace kestrum
