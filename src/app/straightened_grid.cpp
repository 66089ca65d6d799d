#include "app/straightened_grid.h"

#include <algorithm>
#include <vector>

namespace vexo {

void ForEachStraightenedCell(const FindGridRecord& record, const GrayPlane& file,
                             const std::function<bool(const std::string& name, const GrayPlane& cell)>& cell) {
    const Lattice& l = record.source;
    if (!l.found || !file) return;
    for (int row = 1; row <= l.rows; ++row)
        for (int column = 1; column <= l.columns; ++column) {
            const int side = std::min(StraightenedCellSide(l, column, row), kMaxPictureSide);
            if (!cell(CellName(column, row), StraightenCell(file, l, column, row, side))) return;
        }
}

int StraightenedGridSide(const FindGridRecord& record) {
    const Lattice& l = record.source;
    if (!l.found) return 0;
    std::vector<int> sides;
    for (int row = 1; row <= l.rows; ++row)
        for (int column = 1; column <= l.columns; ++column) sides.push_back(StraightenedCellSide(l, column, row));
    std::nth_element(sides.begin(), sides.begin() + std::ptrdiff_t(sides.size() / 2), sides.end());
    const int most = kMaxPictureSide / std::max(l.columns, l.rows);
    return std::max(1, std::min(sides[sides.size() / 2], most));
}

GrayPlane StraightenedGridPicture(const FindGridRecord& record, const GrayPlane& file) {
    if (!record.source.found || !file) return {};
    return StraightenGrid(file, record.source, StraightenedGridSide(record));
}

}  // namespace vexo
