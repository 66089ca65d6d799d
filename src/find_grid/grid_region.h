// Where the grid lies on the straightened picture: the one region where
// segments of both families meet, so that a family's lines elsewhere (the
// stripes of a desk, a paper's edge, the lines of a page of text) do not
// decide the grid's spacing.
//
// The straightened segments are laid on a coarse raster (about a hundred
// cells across); a cell counts for the grid by the shorter of the lengths of
// the two families' segments in it, and the grid's region is the connected
// set of such cells (each grown by one cell) that counts the most.
#pragma once

#include <vector>

#include "find_grid/geometry.h"

namespace vexo::grid {

struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool contains(const PointF& p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
};

// `a` and `b` are the straightened ends of the segments, `family` 0, 1 or -1
// for each. False when no cell holds both families.
bool FindGridRegion(const std::vector<PointF>& a, const std::vector<PointF>& b, const std::vector<int8_t>& family,
                    Box& region);

}  // namespace vexo::grid
