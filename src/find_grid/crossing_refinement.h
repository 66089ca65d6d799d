// Refinement: the crossings of a found lattice to a fraction of a pixel, and
// the kind of grid.
//
// Every cell edge is measured across at points along its middle part: the
// picture's profile across the edge, sampled bilinearly every half pixel,
// gives a ruled line's centre (halfway between its falling and its rising
// side, whatever its width) or a chessboard edge's step (the steepest
// point). What the picture must show there is known beforehand — dark lines
// or light ones; on a chessboard which side is dark, and no edge at all
// between a light square and the board's margin — and a profile that shows
// something else is no measurement. Each crossing is then where the straight
// line fitted to the points of its row line meets the one fitted to the
// points of its column line, both taken from the edges next to it, so that a
// gently bent page keeps its crossings on its lines. Crossings that disagree
// with the homography of the others, and those without enough points
// (covered, or at a corner no edge reaches), take the homography's place
// moved as their measured neighbours are moved.
#pragma once

#include <vector>

#include "core/plane.h"
#include "find_grid/find_grid.h"
#include "find_grid/geometry.h"

namespace vexo::grid {

// The look of a lattice's cells and lines.
struct Tones {
    GridKind kind = GridKind::Ruled;
    bool darkLines = true;  // ruled: lines darker than the paper
    int darkParity = 0;     // chessboard: cells (i, j) with (i + j) % 2 == darkParity are dark
};

// The look of the lattice i0..i1 x j0..j1 of `gridToPicture`: a chessboard
// when a rectangle of its cells alternates dark and light (the extent then
// becomes that rectangle), else ruled with dark or light lines.
Tones ReadTones(const GrayPlane& picture, const Matrix3& gridToPicture, int& i0, int& j0, int& i1, int& j1);

// A chessboard's extent, crossings i0..i1 x j0..j1, grown by every row or
// column of squares beyond it that keeps the alternation of dark and light,
// and shrunk by every one of its own that does not.
void FitChessboardExtent(const GrayPlane& picture, const Matrix3& gridToPicture, const Tones& tones, int& i0, int& j0,
                         int& i1, int& j1);

struct MeasuredCrossings {
    int columns = 0, rows = 0;       // cells
    std::vector<PointF> crossings;   // (rows + 1) x (columns + 1), row by row
    std::vector<uint8_t> measured;   // 1 where the picture gave the crossing
    Matrix3 homography{};            // (i, j) from 0 -> picture, fitted to the measured crossings
    // How much of each edge shows the line (or step) expected there: the
    // share of the points measured across it that found it and lie on one
    // straight line; NaN where nothing is to be seen (a light square at a
    // chessboard's border). Horizontal edge (i, j)-(i + 1, j) at
    // [j * (columns + 1) + i], vertical edge (i, j)-(i, j + 1) likewise.
    std::vector<double> horizontalShown, verticalShown;
    // The share of each edge's points that lie on the line as the edges
    // beside it show it (indexed as the shares shown).
    std::vector<double> horizontalAligned, verticalAligned;
    // Per cell, row by row: 1 when a line parallel to its sides crosses most
    // of it (a cell of a ruled grid holds none).
    std::vector<uint8_t> lined;
    // The typical strength (change per half pixel) of the lines or steps
    // found on the inner edges of the rows, of the columns; 0 where none.
    double strength[2] = {0, 0};
    // The same for each inner line: rows (0 .. rows), columns (0 .. columns);
    // NaN for the border lines and lines nothing was found on.
    std::vector<double> lineStrength[2];
    // The first look showed so little of the lattice that it was not
    // measured further (it is no grid).
    bool hopeless = false;
};

// Crossings of the lattice i0..i1 x j0..j1 measured on `picture`; their
// indices start from 0. The search starts from `start` when given (the
// lattice's crossings, row by row), else from the homography's places.
MeasuredCrossings RefineCrossings(const GrayPlane& picture, const Tones& tones, const Matrix3& gridToPicture, int i0,
                                  int j0, int i1, int j1, const std::vector<PointF>* start = nullptr);

// How unevenly the lines of one family (0: rows, 1: columns) of a ruled
// lattice run, over its part i0..i1 x j0..j1: along the middle of each
// edge, the typical change of gray from one point to the next (two pixels
// apart) over the edge's contrast with the paper beside it; the median over
// the edges. A printed line is even along its length; a line of text, its
// letters and the gaps between them, is not.
double LineUnevenness(const GrayPlane& picture, const MeasuredCrossings& m, bool darkLines, int family, int i0,
                      int j0, int i1, int j1);

}  // namespace vexo::grid
