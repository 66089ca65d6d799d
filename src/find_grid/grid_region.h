// Where the grid lies on the straightened picture: the region where segments
// of both families meet, so that a family's lines elsewhere (the stripes of a
// desk, a paper's edge, the lines of a page of text) do not decide the grid's
// spacing.
//
// The straightened segments are laid on a coarse raster (48 cells across the
// span of all but the farthest percent of them); a raster cell counts by the
// shorter of the lengths of the two families' segments in it, and the region
// is the span of those cells without the few percent of that weight at either
// end, grown by two raster cells on every side.
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
