// Gap line tracing: follow 255 chains, bridge gaps, fit straight lines.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "lines/line_list.h"

namespace vexo {

void GapLinesHorizontal(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines);
void GapLinesVertical(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines);

}  // namespace vexo
