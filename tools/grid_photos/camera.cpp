// The camera: a pinhole with radial lens distortion, looking at the desk
// plane z = 0 from negative z, and the page on it, flat or bent along one
// of its axes. Picture coordinates have pixel centres at integers.
#include <algorithm>
#include <cmath>

#include "photo_parts.h"

namespace vexo::gridphotos {

namespace {

// The page's height above the desk, at `s` (-1..1 across the bend).
double Lift(const Camera& c, double s) { return c.bendHump ? c.bendDepth * (1 - s * s) : c.bendDepth * s * s; }

}  // namespace

cv::Vec3d Camera::Surface(double x, double y) const {
    if (!bent || !pageRect.contains(x, y)) return {x, y, 0};
    const double s = bendAlongX ? (x - (pageRect.x0 + pageRect.x1) / 2) / (pageRect.width() / 2)
                                : (y - (pageRect.y0 + pageRect.y1) / 2) / (pageRect.height() / 2);
    return {x, y, -Lift(*this, s)};
}

bool Camera::ProjectIdeal(const cv::Vec3d& world, Point& ideal) const {
    const cv::Vec3d p = rotation * (world - centre);
    if (p[2] <= 1e-9) return false;
    ideal = {focal * p[0] / p[2] + cx, focal * p[1] / p[2] + cy};
    return true;
}

Point Camera::Undistort(const Point& d) const {
    if (k1 == 0) return d;
    const double dx = d.x - midX, dy = d.y - midY;
    const double k = 1 + k1 * (dx * dx + dy * dy) / (r0 * r0);
    return {midX + dx * k, midY + dy * k};
}

Point Camera::Distort(const Point& ideal) const {
    if (k1 == 0) return ideal;
    const double dx = ideal.x - midX, dy = ideal.y - midY;
    const double rp = std::hypot(dx, dy) / r0;
    if (rp < 1e-12) return ideal;
    // Solve r (1 + k1 r^2) = rp by Newton's method from r = rp.
    double r = rp;
    for (int k = 0; k < 30; ++k) {
        const double f = r * (1 + k1 * r * r) - rp, df = 1 + 3 * k1 * r * r;
        const double step = f / df;
        r -= step;
        if (std::fabs(step) < 1e-14) break;
    }
    const double ratio = r / rp;
    return {midX + dx * ratio, midY + dy * ratio};
}

Point Camera::Project3d(const cv::Vec3d& world) const {
    Point ideal;
    if (!ProjectIdeal(world, ideal)) return {-1e9, -1e9};
    return Distort(ideal);
}

Point Camera::Project(double x, double y) const { return Project3d(Surface(x, y)); }

bool Camera::BackProject(double px, double py, const RectMm& limit, double& wx, double& wy, bool* underPage) const {
    if (underPage) *underPage = false;
    const Point ideal = Undistort({px, py});
    const cv::Vec3d ray((ideal.x - cx) / focal, (ideal.y - cy) / focal, 1.0);
    const cv::Vec3d d = rotation.t() * ray;
    if (bent) {
        const int axis = bendAlongX ? 0 : 1;
        const double mid = bendAlongX ? (pageRect.x0 + pageRect.x1) / 2 : (pageRect.y0 + pageRect.y1) / 2;
        const double half = bendAlongX ? pageRect.width() / 2 : pageRect.height() / 2;
        const double a = bendHump ? bendDepth : 0.0, b = bendHump ? -bendDepth : bendDepth;
        // s(t) = p0 + p1 t; the page at z = -(a + b s^2).
        const double p0 = (centre[axis] - mid) / half, p1 = d[axis] / half;
        const double qa = b * p1 * p1, qb = 2 * b * p0 * p1 + d[2], qc = b * p0 * p0 + centre[2] + a;
        double roots[2];
        int n = 0;
        if (std::fabs(qa) < 1e-15) {
            if (std::fabs(qb) > 1e-15) roots[n++] = -qc / qb;
        } else {
            const double disc = qb * qb - 4 * qa * qc;
            if (disc >= 0) {
                const double sq = std::sqrt(disc);
                const double q = -0.5 * (qb + (qb >= 0 ? sq : -sq));
                roots[n++] = q / qa;
                if (q != 0) roots[n++] = qc / q;
            }
        }
        if (n == 2 && roots[1] < roots[0]) std::swap(roots[0], roots[1]);
        for (int k = 0; k < n; ++k) {
            const double t = roots[k];
            if (t <= 0) continue;
            const double x = centre[0] + t * d[0], y = centre[1] + t * d[1];
            if (pageRect.contains(x, y)) {
                wx = x;
                wy = y;
                return true;
            }
        }
    }
    if (d[2] <= 1e-12) return false;
    const double t = -centre[2] / d[2];
    if (t <= 0) return false;
    wx = centre[0] + t * d[0];
    wy = centre[1] + t * d[1];
    if (bent && underPage && pageRect.contains(wx, wy)) *underPage = true;
    return limit.contains(wx, wy);
}

}  // namespace vexo::gridphotos
