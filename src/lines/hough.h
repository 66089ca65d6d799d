// Hough line transforms over an edge plane: lines from edge to edge.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/work_hooks.h"
#include "lines/line_list.h"

namespace vexo {

// Both read the source (nonzero = edge), draw found lines with mark 100,
// append them to the line list, and call hooks.Step() three times: after the
// voting and twice after the peak search. hooks.Pump() is offered on the
// calling thread between pieces of every stage (the voting runs on helper
// threads too, which never call it); when it throws, the helpers are joined,
// the table is freed and the lines found so far stay in the list.
void HoughHorizontal(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                     const WorkHooks& hooks);
void HoughVertical(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                   const WorkHooks& hooks);

}  // namespace vexo
