// Intensity operations: each sample rewritten by its own value, row by row.
#pragma once

#include <cstdint>

#include "core/plane.h"

namespace vexo {

// destination = (v div step) * step + offset, 255 when that is 256 or more
// (computed without wrapping). step must not be 0.
void Segment(const GrayPlane& source, GrayPlane& destination, uint8_t step, int32_t offset);

// destination = source when source < limit, else 0.
void EraseHighIntensity(const GrayPlane& source, GrayPlane& destination, int32_t limit);

// The most frequent value within 100..200 (ties to the lowest, 0 when none).
int HistogramMode(const GrayPlane& plane);

// Rewrites every sample v: mode when v > mode - band or v < 10, else 0.
void HistogramBand(GrayPlane& plane, int mode, int32_t band);

}  // namespace vexo
