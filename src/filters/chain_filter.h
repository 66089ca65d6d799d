// Chain filters: keep long left-to-right (top-to-bottom) chains of nonzero
// samples, thinned to one path of 255, and erase the rest to 0.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/work_hooks.h"

namespace vexo {

// `pump` is offered between pieces of the work, a fraction of a millisecond
// of it apart on any picture; it may throw to stop the filter, which then
// leaves the plane as far as it got.
void ChainFilterHorizontal(GrayPlane& plane, int32_t minimumLength, const EventPump& pump = {});
void ChainFilterVertical(GrayPlane& plane, int32_t minimumLength, const EventPump& pump = {});

}  // namespace vexo
