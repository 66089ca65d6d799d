#include "core/image_state.h"

#include <algorithm>

namespace vexo {

int32_t StrideFor(int32_t width) { return width % 4 == 0 ? width : width + 4 - width % 4; }

void FreePlanes(ImageState& image) {
    image.planes[0] = Plane();
    image.planes[1] = Plane();
    image.marks = Plane();
}

void PlaneFromBitmap(const DecodedBitmap& bitmap, GrayPlane& target) {
    uint8_t level[256];
    for (int i = 0; i < 256; ++i) level[i] = bitmap.palette[std::size_t(i)].red;
    const std::size_t n = std::min(target.size(), bitmap.indices.size());
    const uint8_t* in = bitmap.indices.data();
    uint8_t* out = target.begin();
    for (std::size_t i = 0; i < n; ++i) out[i] = level[in[i]];
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vexo
