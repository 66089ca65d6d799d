// Find Grid: the regular grid of a photograph, found without being told its
// size. A ruled grid (sudoku, graph paper, a form, a table, tiles) or a
// chessboard, dark on light or light on dark, turned by any angle, seen in
// perspective, sharp or soft, 2 x 2 to 40 x 40 cells, partly covered, on a
// cluttered background.
//
// The result is a lattice of C columns x R rows of cells: the (C + 1) x
// (R + 1) crossings with sub-pixel precision in the pixels of the picture
// given, and the homography from grid coordinates (column i = 0..C, row
// j = 0..R) to those pixels. Names: the grid is turned by the multiple of 90
// degrees that brings it nearest to upright on the picture; then crossing
// [0][0] is the top-left one, rows run downwards, columns to the right, and
// cell A1 is the top-left cell.
//
// A picture without a grid (a page of text, a street) gives no lattice: a
// false grid is worse than none.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/work_hooks.h"

namespace vexo {

struct PointF {
    double x = 0;
    double y = 0;
};

enum class GridKind { Ruled, Chessboard };

// "ruled" or "chessboard".
const char* GridKindName(GridKind kind);

// A 3 x 3 projective map, row-major: (x w, y w, w) = H (u, v, 1).
struct Homography {
    std::array<double, 9> h{1, 0, 0, 0, 1, 0, 0, 0, 1};

    PointF Map(double u, double v) const;
};

struct Lattice {
    bool found = false;
    GridKind kind = GridKind::Ruled;
    int columns = 0;  // C
    int rows = 0;     // R
    // (R + 1) rows of (C + 1) crossings: crossings[j * (C + 1) + i] is the
    // crossing of row line j and column line i.
    std::vector<PointF> crossings;
    // Grid coordinates (i, j) to picture pixels; the last element is 1.
    Homography homography;
    // How much of the lattice the picture supports, 0..1.
    double score = 0;

    const PointF& at(int i, int j) const { return crossings[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; }
};

// Finds the grid of a gray picture (its own gray levels, 8 bits a pixel).
// `hooks.pump` is offered at the pause points (it may throw to stop the
// search); `hooks.step` after each stage. Pictures too small to hold a grid
// give no lattice. Throws only what the pump throws, or std::bad_alloc.
Lattice FindGrid(const GrayPlane& picture, const WorkHooks& hooks = {});

// The number of stages FindGrid reports through hooks.step.
inline constexpr int kFindGridStages = 5;

// The name of a cell: column letter(s) as the cell labels have them (the
// character 64 + column, column from 1) and the row number from 1: "A1".
std::string CellName(int column, int row);

// The cell (column, row, both from 1) that holds picture point (x, y), or
// false when the point lies outside the lattice.
bool CellAt(const Lattice& lattice, double x, double y, int& column, int& row);

// The lattice on the same picture at `k` times its size, pixel centres at
// integers in both: each coordinate c becomes (c + 0.5) * k - 0.5, and the
// homography follows, its last element 1.
Lattice ScaledLattice(const Lattice& lattice, double k);

// A lattice found on a picture decoded at M/8 (`scale` = M), in the file's own
// pixels: each coordinate c becomes (c + 0.5) * 8 / M - 0.5, and the
// homography follows.
Lattice ToSourcePixels(const Lattice& lattice, int scale);

// Cell (column, row, from 1) straightened to a `side` x `side` gray picture,
// sampled bilinearly from `picture` through the lattice (pixels outside the
// picture are black).
GrayPlane StraightenCell(const GrayPlane& picture, const Lattice& lattice, int column, int row, int side);

// The whole grid straightened, each cell `side` x `side` pixels.
GrayPlane StraightenGrid(const GrayPlane& picture, const Lattice& lattice, int side);

// The side a straightened cell gets: the mean length of the cell's four
// sides, rounded, and at least 16.
int StraightenedCellSide(const Lattice& lattice, int column, int row);

}  // namespace vexo
