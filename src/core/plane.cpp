#include "core/plane.h"

#include <cstring>
#include <new>
#include <string>

#include "core/errors.h"

namespace vexo {

void CheckPictureSize(int64_t width, int64_t height) {
    if (width <= kMaxPictureSide && height <= kMaxPictureSide) return;
    const std::string limit = std::to_string(kMaxPictureSide);
    throw VexoError("Picture too large: " + std::to_string(width) + " x " + std::to_string(height) + " (at most " +
                    limit + " x " + limit + ")");
}

Plane Plane::Allocate(int width, int height) {
    Plane plane;
    const std::size_t n = std::size_t(width) * std::size_t(height);
    plane.data.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
    if (plane.data) {
        std::memset(plane.data.get(), 0, n);
        plane.width = width;
        plane.height = height;
    }
    return plane;
}

void CheckAllocation(const void* block) {
    if (block == nullptr) throw Terminate(kNotEnoughMemory);
}

void CheckAllocation(const Plane& block) { CheckAllocation(static_cast<const void*>(block.data.get())); }

}  // namespace vexo
