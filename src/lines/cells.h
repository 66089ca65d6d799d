// Crossings of the two line families and the cell labels of the grid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/label_text.h"
#include "core/screen.h"
#include "lines/cell.h"
#include "lines/line_list.h"

namespace vexo {

// Marks every crossing inside the picture with a dot of 200 and returns the
// number of crossings outside it (0 without drawing). width/height from marks.
int64_t CrossMarks(bool draw, const LineLists& lines, MarkPlane& marks);

// The crossing of a horizontal and a vertical line, with the references
// (0, a)-(W, b) and (a, 0)-(b, H).
std::optional<Point> IntersectLines(const Line& h, const Line& v, int32_t width, int32_t height);

void DrawCellLabel(Point tl, Point tr, Point bl, Point br, int column, int row, Screen& screen);

// Labels every cell of successive line pairs; returns the cells in drawing order.
std::vector<Cell> LabelCells(bool draw, const LineLists& lines, int32_t width, int32_t height, Screen& screen);

}  // namespace vexo
