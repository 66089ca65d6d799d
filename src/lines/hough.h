// Hough line transforms over an edge plane: lines from edge to edge.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/work_hooks.h"
#include "lines/line_list.h"

namespace vexo {

// Both read the source (nonzero = edge), draw found lines with mark 100,
// append them to the line list, and call hooks.Step() three times: after the
// voting and twice after the peak search. They do not call hooks.Pump(); the
// voting runs on helper threads block by block, and a pump between blocks
// would have to come from the calling thread.
void HoughHorizontal(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                     const WorkHooks& hooks);
void HoughVertical(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                   const WorkHooks& hooks);

// How many threads the voting of the transforms that the calling thread runs
// may share (0: chosen by the amount of work, the default). Work that already
// runs one picture per processor sets 1. The lines found never depend on it.
void SetHoughVotingThreads(int threads);

}  // namespace vexo
