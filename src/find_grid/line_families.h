// Directions: the two families of a grid's lines and their vanishing points,
// and the map that straightens them.
//
// The lines of one family of a grid meet, in a photograph, at one vanishing
// point (at infinity when the family is seen square-on). The length-weighted
// histogram of the segments' directions proposes the families; each family's
// vanishing point is the one most of its segments point at (random pairs of
// segments propose it, the length of the segments that pass within a pixel
// of it decides, least squares refines it), and every segment then belongs to
// the family it points along, or to neither.
#pragma once

#include <cstdint>
#include <vector>

#include "find_grid/edge_segments.h"
#include "find_grid/geometry.h"

namespace vexo::grid {

struct LineFamilies {
    Vec3 vanishing[2];            // homogeneous, unit length
    std::vector<int8_t> family;   // per segment: 0, 1, or -1 for neither
    double length[2] = {0, 0};    // total length of each family's segments
};

// How far (pixels) the ends of segment `s` lie from the line through its
// middle and the vanishing point `v`: the larger of the two.
double VanishingResidual(const EdgeSegment& s, const Vec3& v);

// The vanishing point most of `segments` point at (by length); false when
// no two of them propose one.
bool FitVanishingPoint(const std::vector<EdgeSegment>& segments, int width, int height, Vec3& vanishing);

// Pairs of families the segments propose, most likely first (at most
// `count`). Deterministic: the random proposals come from a fixed seed.
std::vector<LineFamilies> FindLineFamilies(const std::vector<EdgeSegment>& segments, int width, int height,
                                           int count);

// The map that straightens both families: lines through vanishing point A
// become lines of constant v, lines through vanishing point B lines of
// constant u. Near `centre` it keeps lengths across each family about as
// they are in the picture. It is the projective map
//   u = (uLine . x) / (horizon . x),  v = (vLine . x) / (horizon . x).
struct Straightener {
    Vec3 uLine, vLine, horizon;
    bool valid = false;

    PointF Map(const PointF& p) const {
        const Vec3 x = Point(p);
        const double w = Dot(horizon, x);
        return {Dot(uLine, x) / w, Dot(vLine, x) / w};
    }
    // The same map as a matrix.
    Matrix3 AsMatrix() const {
        return {uLine.x, uLine.y, uLine.z, vLine.x, vLine.y, vLine.z, horizon.x, horizon.y, horizon.z};
    }
};

Straightener MakeStraightener(const Vec3& vanishingA, const Vec3& vanishingB, const PointF& centre);

}  // namespace vexo::grid
