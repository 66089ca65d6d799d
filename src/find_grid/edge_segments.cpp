#include "find_grid/edge_segments.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace vexo::grid {

PointF GradientField::At(double x, double y) const {
    const int x0 = std::min(static_cast<int>(x), width - 2 < 0 ? 0 : width - 2);
    const int y0 = std::min(static_cast<int>(y), height - 2 < 0 ? 0 : height - 2);
    const double fx = x - x0, fy = y - y0;
    const std::size_t i = std::size_t(y0) * std::size_t(width) + std::size_t(x0);
    const std::size_t right = width > 1 ? 1 : 0;
    const std::size_t down = height > 1 ? std::size_t(width) : 0;
    auto blend = [&](const std::vector<int16_t>& g) {
        const double top = g[i] + (g[i + right] - g[i]) * fx;
        const double bottom = g[i + down] + (g[i + down + right] - g[i + down]) * fx;
        return top + (bottom - top) * fy;
    };
    return {blend(gx), blend(gy)};
}

GradientField ComputeGradients(const GrayPlane& picture) {
    GradientField field;
    field.width = picture.width;
    field.height = picture.height;
    const cv::Mat gray(picture.height, picture.width, CV_8UC1, const_cast<uint8_t*>(picture.begin()));
    cv::Mat smooth;
    cv::GaussianBlur(gray, smooth, cv::Size(0, 0), 0.7);
    field.gx.resize(picture.size());
    field.gy.resize(picture.size());
    cv::Mat gx(picture.height, picture.width, CV_16SC1, field.gx.data());
    cv::Mat gy(picture.height, picture.width, CV_16SC1, field.gy.data());
    cv::Sobel(smooth, gx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, gy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);

    // A low quantile of the magnitude stands for the noise of the flat
    // parts: paper covers much of any picture of a grid, while a textured
    // desk around it may cover much of the rest.
    std::vector<float> magnitudes;
    const std::size_t step = std::max<std::size_t>(1, picture.size() / 20000);
    for (std::size_t k = 0; k < picture.size(); k += step)
        magnitudes.push_back(std::hypot(float(field.gx[k]), float(field.gy[k])));
    if (!magnitudes.empty()) {
        auto middle = magnitudes.begin() + std::ptrdiff_t(magnitudes.size() * 3 / 10);
        std::nth_element(magnitudes.begin(), middle, magnitudes.end());
        field.noise = *middle;
    }
    return field;
}

namespace {

constexpr double kAngleTolerance = 0.3927;  // 22.5 degrees
constexpr double kMaxWidth = 1.0;           // spread across a straight region, pixels

struct Region {
    std::vector<int> pixels;
    double cx = 0, cy = 0;  // sum of unit gradients
};

}  // namespace

std::vector<EdgeSegment> FindEdgeSegments(const GradientField& field, double minLength) {
    std::vector<EdgeSegment> segments;
    const int w = field.width, h = field.height;
    if (w < 3 || h < 3) return segments;
    cv::Mat gx(h, w, CV_16SC1, const_cast<int16_t*>(field.gx.data()));
    cv::Mat gy(h, w, CV_16SC1, const_cast<int16_t*>(field.gy.data()));
    const double high = std::max(24.0, 4.5 * field.noise);
    cv::Mat edges;
    cv::Canny(gx, gy, edges, 0.4 * high, high, true);

    // 1: an edge pixel not yet in a region, 2: in one (Canny's own map).
    uint8_t* taken = edges.ptr<uint8_t>(0);
    for (std::size_t i = 0; i < std::size_t(w) * std::size_t(h); ++i)
        taken[i] = taken[i] != 0 && (field.gx[i] != 0 || field.gy[i] != 0) ? 1 : 0;
    auto magnitude = [&](std::size_t i) {
        return std::sqrt(float(field.gx[i]) * float(field.gx[i]) + float(field.gy[i]) * float(field.gy[i]));
    };
    const double cosTolerance = std::cos(kAngleTolerance);
    std::vector<int> stack;
    Region region;
    for (int start = 0; start < w * h; ++start) {
        if (taken[std::size_t(start)] != 1) continue;
        region.pixels.clear();
        const float m0 = magnitude(std::size_t(start));
        region.cx = field.gx[std::size_t(start)] / m0;
        region.cy = field.gy[std::size_t(start)] / m0;
        taken[std::size_t(start)] = 2;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            region.pixels.push_back(p);
            const int px = p % w, py = p / w;
            const double n = std::hypot(region.cx, region.cy);
            const double dx = region.cx / n, dy = region.cy / n;
            for (int oy = -1; oy <= 1; ++oy) {
                const int qy = py + oy;
                if (qy < 0 || qy >= h) continue;
                for (int ox = -1; ox <= 1; ++ox) {
                    const int qx = px + ox;
                    if ((ox == 0 && oy == 0) || qx < 0 || qx >= w) continue;
                    const std::size_t q = std::size_t(qy) * std::size_t(w) + std::size_t(qx);
                    if (taken[q] != 1) continue;
                    const float m = magnitude(q);
                    const double ux = field.gx[q] / m, uy = field.gy[q] / m;
                    if (ux * dx + uy * dy < cosTolerance) continue;
                    taken[q] = 2;
                    region.cx += ux;
                    region.cy += uy;
                    stack.push_back(static_cast<int>(q));
                }
            }
        }
        if (region.pixels.size() < 3) continue;

        // Weighted principal axis of the region.
        double sw = 0, sx = 0, sy = 0;
        for (int p : region.pixels) {
            const double m = magnitude(std::size_t(p));
            sw += m;
            sx += m * (p % w);
            sy += m * (p / w);
        }
        const double mx = sx / sw, my = sy / sw;
        double xx = 0, xy = 0, yy = 0;
        for (int p : region.pixels) {
            const double m = magnitude(std::size_t(p));
            const double dx = p % w - mx, dy = p / w - my;
            xx += m * dx * dx;
            xy += m * dx * dy;
            yy += m * dy * dy;
        }
        const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
        const double tx = std::cos(angle), ty = std::sin(angle);
        double lo = 1e300, hi = -1e300, across = 0;
        for (int p : region.pixels) {
            const double dx = p % w - mx, dy = p / w - my;
            const double t = dx * tx + dy * ty;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
            const double d = -dx * ty + dy * tx;
            across += magnitude(std::size_t(p)) * d * d;
        }
        const double length = hi - lo + 1;
        if (length < minLength || std::sqrt(across / sw) > kMaxWidth) continue;
        EdgeSegment s;
        s.a = {mx + tx * (lo - 0.5), my + ty * (lo - 0.5)};
        s.b = {mx + tx * (hi + 0.5), my + ty * (hi + 0.5)};
        s.length = length;
        s.strength = sw / double(region.pixels.size());
        const double n = std::hypot(region.cx, region.cy);
        s.gradient = {region.cx / n, region.cy / n};
        s.line = {-ty, tx, -(-ty * mx + tx * my)};
        segments.push_back(s);
    }
    return segments;
}

}  // namespace vexo::grid
