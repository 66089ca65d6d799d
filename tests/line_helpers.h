// Small helpers for tests of the filters and line finders: a list as (a, b)
// pairs, a zero-filled plane, a transposed plane.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/plane.h"
#include "lines/line_list.h"

namespace vexo::testing {

using Lines = std::vector<std::pair<int32_t, int32_t>>;

inline Lines Collect(const LineList& list) {
    Lines out;
    for (const Line& line : list) out.emplace_back(line.a, line.b);
    return out;
}

inline Plane MakePlane(int width, int height) { return Plane::Allocate(width, height); }

// The plane mirrored about its main diagonal: sample (x, y) moves to (y, x).
inline Plane Transposed(const Plane& plane) {
    Plane result = Plane::Allocate(plane.height, plane.width);
    for (int y = 0; y < plane.height; ++y)
        for (int x = 0; x < plane.width; ++x) result.at(y, x) = plane.at(x, y);
    return result;
}

}  // namespace vexo::testing
