// Grid spacing and regularization of the Hough line lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/plane.h"
#include "lines/line_list.h"

namespace vexo {

enum class LineEnd { A, B };

struct SpacingEstimate {
    int spacing = 0;
    std::vector<std::string> log;  // every distance, then "ideal:" + spacing
};

// Spacing (0..255) of successive lines from a tolerant histogram; flags the
// regular pairs. Spacing 0 and no log lines for an empty list.
SpacingEstimate EstimateSpacing(LineList& list, LineEnd end, int tolerance);

// What a regularizer estimated: the log lines of its two estimates (end A,
// then end B) and the two spacings, 0 where no spacing was found.
struct Regularized {
    std::vector<std::string> log;
    int spacingA = 0;
    int spacingB = 0;
};

// Both draw the kept and added lines into marks with code 200 and return
// their estimates. The picture's width and height are those of marks.
Regularized RegularizeVertical(LineLists& lines, MarkPlane& marks);
Regularized RegularizeHorizontal(LineLists& lines, MarkPlane& marks);

}  // namespace vexo
