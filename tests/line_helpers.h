// Small helpers for tests of the line finders: a list as (a, b) pairs, and a
// zero-filled plane.
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
    for (const LineNode* n = list.head; n != nullptr; n = n->next) out.emplace_back(n->a, n->b);
    return out;
}

inline Plane MakePlane(int width, int height) { return Plane::Allocate(width, height); }

}  // namespace vexo::testing
