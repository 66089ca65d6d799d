// Intensity operations: each sample rewritten by its own value, row by row.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/screen.h"

namespace vexo {

// destination = (v div step) * step + offset, 255 when that is 256 or more
// (computed without wrapping). step must not be 0.
void Segment(const GrayPlane& source, GrayPlane& destination, uint8_t step, int32_t offset);

// destination = source when source < limit, else 0.
void EraseHighIntensity(const GrayPlane& source, GrayPlane& destination, int32_t limit);

// Finds the most frequent value within 100..200 (ties to the lowest, 0 when
// none), shows "Pst je " + mode in a plain box, then rewrites every sample v:
// mode when v > mode - band or v < 10, else 0. Returns the mode.
int HistogramBand(GrayPlane& plane, int32_t band, Screen& screen);

}  // namespace vexo
