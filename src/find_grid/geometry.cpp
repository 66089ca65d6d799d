#include "find_grid/geometry.h"

namespace vexo::grid {

Matrix3 Multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 c{};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            for (int s = 0; s < 3; ++s) c[r * 3 + k] += a[r * 3 + s] * b[s * 3 + k];
    return c;
}

bool Invert(const Matrix3& m, Matrix3& inverse) {
    const double c0 = m[4] * m[8] - m[5] * m[7];
    const double c1 = m[5] * m[6] - m[3] * m[8];
    const double c2 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (!std::isfinite(det) || det == 0) return false;
    const double k = 1 / det;
    inverse = {c0 * k,
               (m[2] * m[7] - m[1] * m[8]) * k,
               (m[1] * m[5] - m[2] * m[4]) * k,
               c1 * k,
               (m[0] * m[8] - m[2] * m[6]) * k,
               (m[2] * m[3] - m[0] * m[5]) * k,
               c2 * k,
               (m[1] * m[6] - m[0] * m[7]) * k,
               (m[0] * m[4] - m[1] * m[3]) * k};
    return true;
}

bool FitLine(const std::vector<PointF>& points, const std::vector<double>& weights, Vec3& line) {
    double sw = 0, sx = 0, sy = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double w = weights.empty() ? 1 : weights[k];
        sw += w;
        sx += w * points[k].x;
        sy += w * points[k].y;
    }
    if (points.size() < 2 || sw <= 0) return false;
    const double mx = sx / sw, my = sy / sw;
    double xx = 0, xy = 0, yy = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double w = weights.empty() ? 1 : weights[k];
        const double dx = points[k].x - mx, dy = points[k].y - my;
        xx += w * dx * dx;
        xy += w * dx * dy;
        yy += w * dy * dy;
    }
    if (xx + yy <= 0) return false;
    // The direction of least spread is the normal.
    const double angle = 0.5 * std::atan2(2 * xy, xx - yy);  // direction of most spread
    const double nx = -std::sin(angle), ny = std::cos(angle);
    line = {nx, ny, -(nx * mx + ny * my)};
    return true;
}

}  // namespace vexo::grid
