// Growing: the lattice as a homography from grid coordinates to the picture,
// fitted to the picture's lines, and the part of it the picture supports.
//
// Each segment that lies along a lattice line (within a small fraction of a
// cell, in grid coordinates) belongs to that line; every line is then fitted
// to its segments, and the homography to the crossings of those lines. The
// support of a cell edge is the share of points along its middle where the
// gradient across it is strong; the grid is the rectangle of crossings whose
// edges, counted at their support less a bias, add up to the most. Edges
// outside the picture count as unsupported, so the grid stops at the picture's
// border as at its own.
#pragma once

#include <vector>

#include "find_grid/edge_segments.h"
#include "find_grid/geometry.h"

namespace vexo::grid {

struct IndexedLine {
    int index = 0;
    Vec3 line;  // unit normal
    double weight = 0;
};

// The homography (i, j) -> picture that best maps the crossings of the
// column lines (constant i) with the row lines (constant j). False with
// fewer than two lines of either family or when no homography fits.
bool FitLatticeHomography(const std::vector<IndexedLine>& columns, const std::vector<IndexedLine>& rows,
                          double tolerance, Matrix3& gridToPicture);

// A segment's place in the lattice: on row line `index` (family 0, constant
// j) or column line `index` (family 1, constant i); family -1 for none.
struct SegmentPlace {
    int family = -1;
    int index = 0;
};

// The homography (i, j) -> picture whose lines pass nearest the ends of the
// placed segments (each end weighted by its segment's length): the direct
// linear fit of the picture -> grid map, in coordinates normalised for
// conditioning. False with fewer than two lines of either family placed, or
// when the fit is degenerate.
bool FitLatticeToSegments(const std::vector<EdgeSegment>& segments, const std::vector<SegmentPlace>& places,
                          Matrix3& gridToPicture);

// Places every segment of the two families on the lattice line whose index
// both its ends lie within `tolerance` (grid units) of.
std::vector<SegmentPlace> PlaceSegments(const std::vector<EdgeSegment>& segments, const std::vector<int8_t>& family,
                                        const Matrix3& pictureToGrid, double tolerance);

// The lines of `family` (0: rows, constant j; 1: columns, constant i) that
// the segments of that family support through `gridToPicture`: a segment
// whose ends both lie within `tolerance` (grid units) of the same index.
std::vector<IndexedLine> AssignSegments(const std::vector<EdgeSegment>& segments, const std::vector<int8_t>& family,
                                        int which, const Matrix3& pictureToGrid, double tolerance);

// Support of every cell edge in an index range of the lattice.
struct SupportMap {
    int i0 = 0, j0 = 0;        // the first crossing's indices
    int columns = 0, rows = 0; // cells in the range
    std::vector<double> horizontal;  // (rows + 1) x columns: edge (i, j)-(i + 1, j)
    std::vector<double> vertical;    // rows x (columns + 1): edge (i, j)-(i, j + 1)

    double& h(int i, int j) { return horizontal[std::size_t(j - j0) * std::size_t(columns) + std::size_t(i - i0)]; }
    double& v(int i, int j) { return vertical[std::size_t(j - j0) * std::size_t(columns + 1) + std::size_t(i - i0)]; }
    double h(int i, int j) const { return horizontal[std::size_t(j - j0) * std::size_t(columns) + std::size_t(i - i0)]; }
    double v(int i, int j) const { return vertical[std::size_t(j - j0) * std::size_t(columns + 1) + std::size_t(i - i0)]; }
};

// The share (0..1) of points along the middle of the edge p-q where the
// gradient across it reaches `threshold` near it, at offsets that line up
// along the edge (the sides of a line, or a step). `spacing` is the distance
// to the neighbouring parallel lines, which bounds how far across the edge
// to look. Edges shorter than a few pixels or reaching outside the picture
// have none.
double EdgeSupport(const GradientField& gradients, const PointF& p, const PointF& q, double threshold, double spacing);

SupportMap MeasureSupport(const GradientField& gradients, const Matrix3& gridToPicture, int i0, int j0, int columns,
                          int rows, double threshold);

struct IndexRect {
    int i0 = 0, j0 = 0, i1 = 0, j1 = 0;  // crossings i0..i1, j0..j1
    double sum = 0;                      // sum of (support - bias) over its edges
    double meanSupport = 0;
    int columns() const { return i1 - i0; }
    int rows() const { return j1 - j0; }
};

// The rectangle of at least one cell with the largest sum of
// (support - bias) over its edges, borders included.
IndexRect BestRectangle(const SupportMap& map, double bias);

}  // namespace vexo::grid
