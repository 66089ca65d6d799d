// Chain filters: keep long left-to-right (top-to-bottom) chains of nonzero
// samples, thinned to one path of 255, and erase the rest to 0.
#pragma once

#include <cstdint>

#include "core/plane.h"

namespace vexo {

void ChainFilterHorizontal(GrayPlane& plane, int32_t minimumLength);
void ChainFilterVertical(GrayPlane& plane, int32_t minimumLength);

}  // namespace vexo
