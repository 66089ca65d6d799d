#include "find_grid/grid_region.h"

#include <algorithm>
#include <cmath>

namespace vexo::grid {

namespace {

constexpr int kCellsAcross = 48;
constexpr double kLeftOut = 0.03;

// The parameters t0 <= t1 in [0, 1] between which a + t (b - a) lies in the
// box [left, right] x [top, bottom]; false when no part of it does.
bool ClipToRaster(PointF a, PointF b, double left, double top, double right, double bottom, double& t0,
                  double& t1) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - left, right - a.x, a.y - top, bottom - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    return t0 <= t1;
}

}  // namespace

bool FindGridRegion(const std::vector<PointF>& a, const std::vector<PointF>& b, const std::vector<int8_t>& family,
                    Box& region) {
    // The straightened span of the segments, without the farthest few
    // (segments near the horizon straighten to far away).
    std::vector<double> xs, ys;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (family[k] < 0 || !std::isfinite(a[k].x) || !std::isfinite(b[k].x)) continue;
        xs.push_back((a[k].x + b[k].x) / 2);
        ys.push_back((a[k].y + b[k].y) / 2);
    }
    if (xs.size() < 4) return false;
    auto quantile = [](std::vector<double> v, double q) {
        auto it = v.begin() + std::ptrdiff_t(q * double(v.size() - 1));
        std::nth_element(v.begin(), it, v.end());
        return *it;
    };
    const double x0 = quantile(xs, 0.01), x1 = quantile(xs, 0.99);
    const double y0 = quantile(ys, 0.01), y1 = quantile(ys, 0.99);
    const double cell = std::max(x1 - x0, y1 - y0) / kCellsAcross;
    if (!(cell > 0)) return false;
    const int nx = static_cast<int>((x1 - x0) / cell) + 1, ny = static_cast<int>((y1 - y0) / cell) + 1;
    std::vector<double> length[2] = {std::vector<double>(std::size_t(nx) * std::size_t(ny), 0.0),
                                     std::vector<double>(std::size_t(nx) * std::size_t(ny), 0.0)};
    for (std::size_t k = 0; k < a.size(); ++k) {
        const int f = family[k];
        if (f < 0 || !std::isfinite(a[k].x) || !std::isfinite(b[k].x)) continue;
        const double d = Distance(a[k], b[k]);
        // Only the part on the raster is walked: a segment near the horizon
        // straightens to one far longer than the raster.
        double t0 = 0, t1 = 1;
        if (!ClipToRaster(a[k], b[k], x0, y0, x0 + nx * cell, y0 + ny * cell, t0, t1)) continue;
        const int steps = std::max(1, static_cast<int>(2 * d * (t1 - t0) / cell));
        const double share = d * (t1 - t0) / (steps + 1);
        for (int s = 0; s <= steps; ++s) {
            const PointF p = a[k] + (t0 + (t1 - t0) * double(s) / steps) * (b[k] - a[k]);
            const int cx = static_cast<int>(std::floor((p.x - x0) / cell));
            const int cy = static_cast<int>(std::floor((p.y - y0) / cell));
            if (cx < 0 || cy < 0 || cx >= nx || cy >= ny) continue;
            length[f][std::size_t(cy) * std::size_t(nx) + std::size_t(cx)] += share;
        }
    }
    // The middle of the cells where both families meet, weighted by how much
    // they meet there: the few percent at either end are left out.
    struct Weighted {
        double at, weight;
    };
    std::vector<Weighted> across, down;
    double total = 0;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(nx) + std::size_t(x);
            const double w = std::min(length[0][i], length[1][i]);
            if (w <= 0) continue;
            across.push_back({x0 + (x + 0.5) * cell, w});
            down.push_back({y0 + (y + 0.5) * cell, w});
            total += w;
        }
    if (total <= 0) return false;
    auto range = [total](std::vector<Weighted>& v, double& lo, double& hi) {
        std::sort(v.begin(), v.end(), [](const Weighted& p, const Weighted& q) { return p.at < q.at; });
        double sum = 0;
        lo = v.front().at;
        hi = v.back().at;
        bool low = false;
        for (const Weighted& p : v) {
            sum += p.weight;
            if (!low && sum >= kLeftOut * total) lo = p.at, low = true;
            if (sum <= (1 - kLeftOut) * total) hi = p.at;
        }
    };
    range(across, region.left, region.right);
    range(down, region.top, region.bottom);
    // Cells are wide: keep a margin of two of them.
    region.left -= 2 * cell;
    region.top -= 2 * cell;
    region.right += 2 * cell;
    region.bottom += 2 * cell;
    return true;
}

}  // namespace vexo::grid
