// Evidence: the straight edge segments of a gray picture, of either polarity.
//
// Edges are the thin ridges of the gradient's magnitude (Sobel gradients of
// the lightly smoothed picture, Canny's hysteresis with thresholds set from
// the picture's own noise). Neighbouring edge pixels whose gradient points the
// same way (within 22.5 degrees) are grown into one region, and a region that
// is straight (at most about a pixel wide across) becomes a segment. The two
// sides of a thin line are two segments with opposite gradients; the sides of
// a chessboard's squares are segments that end at every corner.
#pragma once

#include <cstdint>
#include <vector>

#include "core/plane.h"
#include "find_grid/geometry.h"

namespace vexo::grid {

struct EdgeSegment {
    PointF a, b;          // its ends
    PointF gradient;      // the unit gradient across it, from dark to light
    double length = 0;    // from a to b
    double strength = 0;  // mean gradient magnitude (Sobel units: 4 per gray level of a sharp step)
    Vec3 line;            // the line through it, unit normal

    PointF middle() const { return 0.5 * (a + b); }
};

// The picture's gradients (Sobel of the smoothed picture), kept for the
// stages that measure how well the picture supports a lattice.
struct GradientField {
    int width = 0;
    int height = 0;
    std::vector<int16_t> gx, gy;
    double noise = 0;  // a typical gradient magnitude of the picture's flat parts

    bool contains(double x, double y) const { return x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1; }
    // Bilinear gradient at (x, y), which must lie inside.
    PointF At(double x, double y) const;
};

GradientField ComputeGradients(const GrayPlane& picture);

// Segments at least `minLength` pixels long.
std::vector<EdgeSegment> FindEdgeSegments(const GradientField& gradients, double minLength);

}  // namespace vexo::grid
