// Gap line tracing: follow 255 chains, bridge gaps, fit straight lines.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/work_hooks.h"
#include "lines/line_list.h"

namespace vexo {

// `pump` is offered between pieces of the work, a fraction of a millisecond
// of it apart; it may throw to stop the tracing, which then leaves the
// plane, the marks and the lines as far as it got.
void GapLinesHorizontal(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines,
                        const EventPump& pump = {});
void GapLinesVertical(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines,
                      const EventPump& pump = {});

}  // namespace vexo
