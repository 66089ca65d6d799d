// Hough line transforms over an edge plane: lines from edge to edge.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/progress.h"
#include "lines/line_list.h"

namespace vexo {

// Both read the source (nonzero = edge), draw found lines with mark 100,
// append them to the line list, and step the progress bar three times.
void HoughHorizontal(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                     ProgressBar& progress);
void HoughVertical(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                   ProgressBar& progress);

}  // namespace vexo
