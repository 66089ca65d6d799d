#include "core/image_state.h"

#include <algorithm>
#include <cstring>

namespace vexo {

int32_t StrideFor(int32_t width) { return width % 4 == 0 ? width : width + 4 - width % 4; }

void FreePlanes(ImageState& image) {
    image.planes[0] = Plane();
    image.planes[1] = Plane();
    image.marks = Plane();
}

void PlaneFromBitmap(const GrayPlane& decoded, GrayPlane& target) {
    const std::size_t n = std::min(target.size(), decoded.size());
    if (n != 0) std::memcpy(target.begin(), decoded.begin(), n);
}

int64_t SourceCoordinate(int32_t c, int scale) {
    if (scale <= 0 || scale == 8) return c;
    // (c + 0.5) * 8 / M - 0.5 = (16c + 8 - M) / 2M, rounded exactly.
    const int64_t numerator = 16 * int64_t(c) + 8 - scale;
    const int64_t denominator = 2 * int64_t(scale);
    int64_t quotient = numerator / denominator;
    int64_t remainder = numerator % denominator;
    if (remainder < 0) {
        remainder += denominator;
        --quotient;
    }
    if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0)) ++quotient;
    return quotient;
}

std::string WorkingSizeText(const ImageState& image) {
    std::string text = std::to_string(image.source.width) + " x " + std::to_string(image.source.height);
    if (image.source.scale != 8)
        text += " shown at " + std::to_string(image.source.scale) + "/8 (" + std::to_string(image.width) + " x " +
                std::to_string(image.height) + ")";
    return text;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vexo
