#include "app/grid_report.h"

#include <algorithm>
#include <cmath>

#include "core/arithmetic.h"

namespace vexo {

using nlohmann::ordered_json;

namespace {

double TwoDecimals(double v) { return std::round(v * 100) / 100; }

Point Rounded(const PointF& p) {
    const auto x = RoundToInt32(p.x), y = RoundToInt32(p.y);
    return {x ? *x : 0, y ? *y : 0};
}

}  // namespace

ordered_json GridJson(const FindGridRecord& record) {
    const Lattice& l = record.source;
    ordered_json grid;
    grid["found"] = l.found;
    grid["kind"] = l.found ? ordered_json(GridKindName(l.kind)) : ordered_json(nullptr);
    grid["columns"] = l.found ? l.columns : 0;
    grid["rows"] = l.found ? l.rows : 0;
    ordered_json crossings = ordered_json::array();
    if (l.found)
        for (int j = 0; j <= l.rows; ++j) {
            ordered_json row = ordered_json::array();
            for (int i = 0; i <= l.columns; ++i) row.push_back({TwoDecimals(l.at(i, j).x), TwoDecimals(l.at(i, j).y)});
            crossings.push_back(std::move(row));
        }
    grid["crossings"] = std::move(crossings);
    ordered_json homography = ordered_json::array();
    if (l.found)
        for (int r = 0; r < 3; ++r)
            homography.push_back({l.homography.h[std::size_t(r * 3)], l.homography.h[std::size_t(r * 3 + 1)],
                                  l.homography.h[std::size_t(r * 3 + 2)]});
    grid["homography"] = std::move(homography);
    grid["score"] = l.found ? TwoDecimals(l.score) : 0.0;
    grid["milliseconds"] = record.milliseconds;
    return grid;
}

std::vector<Cell> LatticeCells(const FindGridRecord& record) {
    std::vector<Cell> cells;
    const Lattice& w = record.lattice;
    const Lattice& s = record.source;
    if (!w.found || !s.found) return cells;
    for (int j = 0; j < w.rows; ++j)
        for (int i = 0; i < w.columns; ++i) {
            Cell cell;
            cell.label = CellName(i + 1, j + 1);
            cell.column = i + 1;
            cell.row = j + 1;
            const Point tl = Rounded(w.at(i, j)), tr = Rounded(w.at(i + 1, j));
            const Point bl = Rounded(w.at(i, j + 1)), br = Rounded(w.at(i + 1, j + 1));
            cell.tl = tl;
            cell.tr = tr;
            cell.bl = bl;
            cell.br = br;
            cell.box = CellBox{std::max(tl.x, bl.x), std::max(tl.y, tr.y), std::min(tr.x, br.x), std::min(bl.y, br.y)};
            cell.source = CellCorners{Rounded(s.at(i, j)), Rounded(s.at(i + 1, j)), Rounded(s.at(i, j + 1)),
                                      Rounded(s.at(i + 1, j + 1))};
            cells.push_back(std::move(cell));
        }
    return cells;
}

}  // namespace vexo
