// Crossings of the two line families and the cell labels of the grid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/screen.h"
#include "lines/line_list.h"

namespace vexo {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct CellBox {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct Cell {
    std::string label;
    int column = 0;
    int row = 0;
    std::optional<Point> tl, tr, bl, br;  // none when the crossing cannot be represented
    std::optional<CellBox> box;           // none when a corner is missing
};

// Marks every crossing inside the picture with a dot of 200 and returns the
// number of crossings outside it (0 without drawing). width/height from marks.
int64_t CrossMarks(bool draw, const LineLists& lines, MarkPlane& marks);

// The crossing of a horizontal and a vertical line, with the references
// (0, a)-(W, b) and (a, 0)-(b, H).
std::optional<Point> IntersectLines(const Line& h, const Line& v, int32_t width, int32_t height);

// "A1", "B1", ...: the character 64 + column, then the row in decimal (UTF-8).
std::string CellLabelText(int column, int row);

void DrawCellLabel(Point tl, Point tr, Point bl, Point br, int column, int row, Screen& screen);

// Labels every cell of successive line pairs; returns the cells in drawing order.
std::vector<Cell> LabelCells(bool draw, const LineLists& lines, int32_t width, int32_t height, Screen& screen);

}  // namespace vexo
