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
constexpr int kDirections = 64;             // steps of a gradient's direction
constexpr uint8_t kTaken = 255;

struct Region {
    std::vector<int> pixels;
    std::vector<float> magnitudes;  // of the pixels' gradients
    double cx = 0, cy = 0;          // sum of unit gradients
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

    // Canny's own map becomes, for each edge pixel, the direction of its
    // gradient in one of kDirections steps (1 + step); 0 off the edges and
    // kTaken once the pixel belongs to a region.
    uint8_t* direction = edges.ptr<uint8_t>(0);
    for (std::size_t i = 0; i < std::size_t(w) * std::size_t(h); ++i) {
        if (direction[i] == 0 || (field.gx[i] == 0 && field.gy[i] == 0)) {
            direction[i] = 0;
            continue;
        }
        const double angle = std::atan2(double(field.gy[i]), double(field.gx[i]));
        direction[i] = static_cast<uint8_t>(1 + (int(std::floor(angle / (2 * M_PI) * kDirections + 0.5)) + kDirections) % kDirections);
    }
    auto magnitude = [&](std::size_t i) {
        return std::sqrt(float(field.gx[i]) * float(field.gx[i]) + float(field.gy[i]) * float(field.gy[i]));
    };
    // The unit vector of each direction step.
    double unitX[kDirections], unitY[kDirections];
    for (int k = 0; k < kDirections; ++k) {
        unitX[k] = std::cos(2 * M_PI * k / kDirections);
        unitY[k] = std::sin(2 * M_PI * k / kDirections);
    }
    const double cosTolerance = std::cos(kAngleTolerance);
    std::vector<std::pair<int, float>> stack;  // pixels to visit, with their gradients' magnitude
    Region region;
    for (int start = 0; start < w * h; ++start) {
        const uint8_t first = direction[std::size_t(start)];
        if (first == 0 || first == kTaken) continue;
        region.pixels.clear();
        region.magnitudes.clear();
        const float m0 = magnitude(std::size_t(start));
        region.cx = unitX[first - 1];
        region.cy = unitY[first - 1];
        direction[std::size_t(start)] = kTaken;
        stack.assign(1, {start, m0});
        while (!stack.empty()) {
            const auto [p, pm] = stack.back();
            stack.pop_back();
            region.pixels.push_back(p);
            region.magnitudes.push_back(pm);
            const int px = p % w, py = p / w;
            // The region's direction so far.
            const double n = std::sqrt(region.cx * region.cx + region.cy * region.cy);
            const double dx = region.cx / n, dy = region.cy / n;
            for (int oy = -1; oy <= 1; ++oy) {
                const int qy = py + oy;
                if (qy < 0 || qy >= h) continue;
                for (int ox = -1; ox <= 1; ++ox) {
                    const int qx = px + ox;
                    if ((ox == 0 && oy == 0) || qx < 0 || qx >= w) continue;
                    const std::size_t q = std::size_t(qy) * std::size_t(w) + std::size_t(qx);
                    const uint8_t dq = direction[q];
                    if (dq == 0 || dq == kTaken || unitX[dq - 1] * dx + unitY[dq - 1] * dy < cosTolerance) continue;
                    direction[q] = kTaken;
                    const float m = magnitude(q);
                    region.cx += unitX[dq - 1];
                    region.cy += unitY[dq - 1];
                    stack.push_back({static_cast<int>(q), m});
                }
            }
        }
        if (region.pixels.size() < 3) continue;

        // Weighted principal axis of the region.
        double sw = 0, sx = 0, sy = 0;
        for (std::size_t k = 0; k < region.pixels.size(); ++k) {
            const int p = region.pixels[k];
            const double m = region.magnitudes[k];
            sw += m;
            sx += m * (p % w);
            sy += m * (p / w);
        }
        const double mx = sx / sw, my = sy / sw;
        double xx = 0, xy = 0, yy = 0;
        for (std::size_t k = 0; k < region.pixels.size(); ++k) {
            const int p = region.pixels[k];
            const double m = region.magnitudes[k];
            const double dx = p % w - mx, dy = p / w - my;
            xx += m * dx * dx;
            xy += m * dx * dy;
            yy += m * dy * dy;
        }
        const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
        const double tx = std::cos(angle), ty = std::sin(angle);
        double lo = 1e300, hi = -1e300, across = 0;
        for (std::size_t k = 0; k < region.pixels.size(); ++k) {
            const int p = region.pixels[k];
            const double dx = p % w - mx, dy = p / w - my;
            const double t = dx * tx + dy * ty;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
            const double d = -dx * ty + dy * tx;
            across += region.magnitudes[k] * d * d;
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
