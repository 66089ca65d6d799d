// Grid spacing and regularization of the Hough line lists.
#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/screen.h"
#include "lines/line_list.h"

namespace vexo {

enum class LineEnd { A, B };

// Spacing (0..255) of successive lines from a tolerant histogram; flags the
// regular pairs and logs every distance and "ideal:" + spacing into the log.
// Returns 0 and logs nothing for an empty list.
int EstimateSpacing(LineList& list, LineEnd end, int tolerance, Screen& log);

// Both draw the kept and added lines into marks with code 200. The picture's
// width and height are those of marks.
void RegularizeVertical(LineLists& lines, MarkPlane& marks, Screen& log);
void RegularizeHorizontal(LineLists& lines, MarkPlane& marks, Screen& log);

}  // namespace vexo
