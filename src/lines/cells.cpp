// Crossings of the horizontal and vertical lines, and the cell labels.
//
// A crossing is found as the parameter t along the vertical line: t = num / den
// with num and den signed 32-bit expressions that wrap modulo 2^32, divided in
// double precision; then y = ref * t and x = v.a - (v.a - v.b) * t, each
// rounded to the nearest integer with halves to even. CrossMarks takes both
// references as lineSide - 1; IntersectLines takes the picture's width for
// horizontal lines and its height for vertical lines. A pair with a zero
// denominator has no single crossing.
//
// LabelCells walks rows (successive horizontal lines) from the top and, within
// a row, columns (successive vertical lines) from the left; each cell reuses
// the right-hand corners of the cell before it as its left-hand corners.
#include "lines/cells.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/arithmetic.h"

namespace vexo {

namespace {

constexpr uint8_t kCrossMark = kMarkBlue;  // 200

struct Crossing {
    bool exists = false;  // false when the denominator is 0
    std::optional<int32_t> x, y;
};

// The crossing of h through (0, h.a)-(hRef, h.b) and v through
// (v.a, 0)-(v.b, vRef).
Crossing Cross(const Line& h, const Line& v, int32_t hRef, int32_t vRef) {
    const int32_t dh = Sub32(h.a, h.b);
    const int32_t num = Sub32(Mul32(dh, v.a), Mul32(hRef, h.a));
    const int32_t den = Sub32(Mul32(dh, Sub32(v.a, v.b)), Mul32(hRef, vRef));
    if (den == 0) return {};
    const double t = static_cast<double>(num) / static_cast<double>(den);
    // v.a - v.b is exact in double, whatever the ends.
    const double dv = static_cast<double>(v.a) - static_cast<double>(v.b);
    const double y = static_cast<double>(vRef) * t;
    const double x = static_cast<double>(v.a) - dv * t;
    return {true, RoundToInt32(x), RoundToInt32(y)};
}

bool FitsInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

int64_t CrossMarks(bool draw, const LineLists& lines, MarkPlane& marks) {
    int64_t count = 0;
    if (draw) {
        const int32_t r = std::max(marks.width, marks.height) - 1;
        for (const Line& h : lines.horizontalLines) {
            for (const Line& v : lines.verticalLines) {
                const Crossing c = Cross(h, v, r, r);
                if (!c.exists) continue;
                if (c.x && c.y && *c.y >= 0 && *c.y < marks.height && *c.x >= 0 && *c.x < marks.width) {
                    MarkDot(*c.x, *c.y, marks, kCrossMark);
                } else {
                    ++count;
                }
            }
        }
    }
    return count;
}

std::optional<Point> IntersectLines(const Line& h, const Line& v, int32_t width, int32_t height) {
    const Crossing c = Cross(h, v, width, height);
    if (!c.exists || !c.x || !c.y) return std::nullopt;
    return Point{*c.x, *c.y};
}

void DrawCellLabel(Point tl, Point tr, Point bl, Point br, int column, int row, Screen& screen) {
    const int32_t left = std::max(tl.x, bl.x);
    const int32_t top = std::max(tl.y, tr.y);
    const int32_t right = std::min(tr.x, br.x);
    const int32_t bottom = std::min(bl.y, br.y);
    const int64_t bw = int64_t(right) - left;
    const int64_t bh = int64_t(bottom) - top;

    screen.SetFontBold(true);
    screen.SetBrushClear();
    const std::string text = CellLabelText(column, row);
    const TextExtent extent = screen.MeasureText(text);
    const int64_t tw = extent.width;
    const int64_t th = extent.height;

    // Quotients truncate toward zero. A label less than half as high as the
    // box has its middle a quarter of the box height below the top.
    int64_t dy = 0;
    if (bh / 2 > th) dy = bh / 4 - th / 2;
    const int64_t x = left + (bw - tw) / 2;
    const int64_t y = top + dy;

    const ClipRect clip{left, top, right, bottom};
    // A position beyond 32 bits lies far outside any picture: nothing shows.
    const bool placeable = FitsInt(x) && FitsInt(x + 1) && FitsInt(y) && FitsInt(y + 1);
    screen.SetFontColour(Rgb{0, 0, 0});
    if (placeable) screen.DrawTextClipped(static_cast<int>(x + 1), static_cast<int>(y + 1), clip, text);
    screen.SetFontColour(Rgb{255, 255, 0});
    if (placeable) screen.DrawTextClipped(static_cast<int>(x), static_cast<int>(y), clip, text);
}

std::vector<Cell> LabelCells(bool draw, const LineLists& lines, int32_t width, int32_t height, Screen& screen) {
    std::vector<Cell> cells;
    const LineList& horizontal = lines.horizontalLines;
    const LineList& vertical = lines.verticalLines;
    if (horizontal.empty() || vertical.empty()) return cells;

    int row = 0;
    for (auto top = horizontal.begin(), bottom = std::next(top); bottom != horizontal.end(); top = bottom++) {
        ++row;
        int column = 0;
        std::optional<Point> tl, bl;
        for (auto left = vertical.begin(), right = std::next(left); right != vertical.end(); left = right++) {
            ++column;
            if (left == vertical.begin()) {
                tl = IntersectLines(*top, *left, width, height);
                bl = IntersectLines(*bottom, *left, width, height);
            }
            Cell cell;
            cell.label = CellLabelText(column, row);
            cell.column = column;
            cell.row = row;
            cell.tl = tl;
            cell.bl = bl;
            cell.tr = IntersectLines(*top, *right, width, height);
            cell.br = IntersectLines(*bottom, *right, width, height);
            if (cell.tl && cell.tr && cell.bl && cell.br) {
                cell.box = CellBox{std::max(cell.tl->x, cell.bl->x), std::max(cell.tl->y, cell.tr->y),
                                   std::min(cell.tr->x, cell.br->x), std::min(cell.bl->y, cell.br->y)};
                if (draw) DrawCellLabel(*cell.tl, *cell.tr, *cell.bl, *cell.br, column, row, screen);
            }
            // The next cell of the row starts from this cell's right-hand corners.
            tl = cell.tr;
            bl = cell.br;
            cells.push_back(std::move(cell));
        }
    }
    return cells;
}

}  // namespace vexo
