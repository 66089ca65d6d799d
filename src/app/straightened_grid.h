// The found grid straightened, from the file's own pixels: each cell as a
// square picture of its mean side, and the whole grid as one picture.
#pragma once

#include <functional>
#include <string>

#include "app/find_grid_record.h"
#include "core/plane.h"

namespace vexo {

// Calls `cell` with each found cell's name and its straightened picture, A1
// first, row by row; stops when `cell` returns false. `file` is the file's
// luminance at 1/1 (the lattice in the record's file pixels lies on it).
void ForEachStraightenedCell(const FindGridRecord& record, const GrayPlane& file,
                             const std::function<bool(const std::string& name, const GrayPlane& cell)>& cell);

// The side of each cell in the straightened grid: the median of the cells'
// mean sides, at least 16, and small enough that the whole picture fits
// within the picture size limit.
int StraightenedGridSide(const FindGridRecord& record);

// The whole grid straightened, every cell StraightenedGridSide pixels square.
GrayPlane StraightenedGridPicture(const FindGridRecord& record, const GrayPlane& file);

}  // namespace vexo
