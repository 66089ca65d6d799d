// Sobel convolutions: fixed 3x3 integer kernels over a gray plane.
//
// Kernel weights are stored column by column: weight (dx, dy) is element
// (dx + 1) * 3 + (dy + 1). A response is the plain (unmirrored) weighted sum,
// capped at 255 with no lower clamp, so a negative response always ends as 0.
// The outermost rows and columns of the destination are never written. Both
// primitives call the event pump once per inner column (width - 2 times).
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/work_hooks.h"

namespace vexo {

struct Kernel3x3 {
    int8_t weights[9];
    int weight(int dx, int dy) const { return weights[(dx + 1) * 3 + (dy + 1)]; }
};

// Positive where the row below is brighter than the row above.
extern const Kernel3x3 horizontalSobelKernel;
// Positive where the left column is brighter than the right column.
extern const Kernel3x3 verticalSobelKernel;

// destination(x, y) = s when s >= threshold, else 0.
void ConvolveThreshold(const GrayPlane& source, GrayPlane& destination, const Kernel3x3& kernel,
                       uint8_t threshold, const EventPump& pump);

// destination(x, y) = (sA + sB) / 2 when both capped responses reach the
// threshold, else 0.
void SobelEdgeSearch(const GrayPlane& source, MarkPlane& destination, const Kernel3x3& kernelA,
                     const Kernel3x3& kernelB, int32_t threshold, const EventPump& pump);

}  // namespace vexo
