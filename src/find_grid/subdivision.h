// Finer lines inside a ruled lattice's cells: graph paper's thin lines between
// its thick ones, a sudoku's cell lines inside its boxes. The lines first seen
// are often the strong ones only; the grid a user means is the finest one.
#pragma once

#include <vector>

#include "core/plane.h"
#include "find_grid/find_grid.h"

namespace vexo::grid {

struct Subdivision {
    int columns = 1;  // equal parts each cell is cut into across (1: none)
    int rows = 1;     // and down
};

// Into how many equal parts (2 to 10) finer lines of the lattice's own
// polarity cut most of its cells, across and down: the largest count whose
// every cut shows as a line in at least kSubdividedShare of the cells, each
// finer cell at least four pixels wide. `crossings` are the lattice's
// (rows + 1) x (columns + 1) crossings, row by row, on `picture`.
Subdivision FindSubdivision(const GrayPlane& picture, const std::vector<PointF>& crossings, int columns, int rows,
                            bool darkLines);

// The crossings of the finer lattice: each cell's own perspective places the
// cuts in it; a crossing on the side two cells share is their mean.
std::vector<PointF> SubdividedCrossings(const std::vector<PointF>& crossings, int columns, int rows,
                                        const Subdivision& parts);

}  // namespace vexo::grid
