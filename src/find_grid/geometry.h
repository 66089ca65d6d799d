// Plane geometry in homogeneous coordinates for Find Grid's stages: points
// and lines as three numbers, 3 x 3 maps, and the small solvers the stages
// share. Plain C++, no library types.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "find_grid/find_grid.h"

namespace vexo::grid {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Point(const PointF& p) { return {p.x, p.y, 1}; }
inline double Norm(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalized(const Vec3& a) {
    const double n = Norm(a);
    return n > 0 ? Vec3{a.x / n, a.y / n, a.z / n} : a;
}

// The line through two points, scaled so that (a, b) is a unit normal: then
// Dot(line, Point(p)) is the signed distance of p from it.
inline Vec3 LineThrough(const PointF& p, const PointF& q) {
    Vec3 l = Cross(Point(p), Point(q));
    const double n = std::hypot(l.x, l.y);
    if (n > 0) l = {l.x / n, l.y / n, l.z / n};
    return l;
}

// The meeting point of two lines; false when they are parallel.
inline bool Meet(const Vec3& l, const Vec3& m, PointF& p) {
    const Vec3 c = Cross(l, m);
    if (std::abs(c.z) < 1e-12 * (std::abs(c.x) + std::abs(c.y) + 1e-300)) return false;
    p = {c.x / c.z, c.y / c.z};
    return true;
}

inline PointF operator+(const PointF& a, const PointF& b) { return {a.x + b.x, a.y + b.y}; }
inline PointF operator-(const PointF& a, const PointF& b) { return {a.x - b.x, a.y - b.y}; }
inline PointF operator*(double k, const PointF& a) { return {k * a.x, k * a.y}; }
inline double Distance(const PointF& a, const PointF& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// 3 x 3 matrices, row-major, for homographies.
using Matrix3 = std::array<double, 9>;

Matrix3 Multiply(const Matrix3& a, const Matrix3& b);
// False when the matrix is singular.
bool Invert(const Matrix3& m, Matrix3& inverse);
inline Vec3 Apply(const Matrix3& m, const Vec3& v) {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}
inline PointF ApplyToPoint(const Matrix3& m, double x, double y) {
    const Vec3 v = Apply(m, {x, y, 1});
    return {v.x / v.z, v.y / v.z};
}

// The straight line that best fits weighted points (least squares across the
// line), as a line with a unit normal; false for fewer than two distinct points.
bool FitLine(const std::vector<PointF>& points, const std::vector<double>& weights, Vec3& line);

}  // namespace vexo::grid
