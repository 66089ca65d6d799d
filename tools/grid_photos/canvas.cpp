// The painted world and the exactly drawn grid: a raster in millimetres with
// its pyramid, sampled trilinearly at the footprint of a picture's pixel, and
// the grid's coverage of a pixel's footprint computed from the lines
// themselves.
#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "photo_parts.h"

namespace vexo::gridphotos {

// --- Smooth noise ---

ValueNoise::ValueNoise(uint64_t seed, double cell, int octaves) : cell_(cell), octaves_(octaves) {
    Rng rng(seed);
    values_.resize(std::size_t(kSide) * kSide * std::size_t(octaves));
    for (float& v : values_) v = float(rng.Uniform());
}

double ValueNoise::Octave(double x, double y, int octave) const {
    const double fx = std::floor(x), fy = std::floor(y);
    const double tx = x - fx, ty = y - fy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    auto wrap = [](double v) { return int(((int64_t(v) % kSide) + kSide) % kSide); };
    const int x0 = wrap(fx), y0 = wrap(fy), x1 = (x0 + 1) % kSide, y1 = (y0 + 1) % kSide;
    const float* base = values_.data() + std::size_t(octave) * kSide * kSide;
    const double a = base[y0 * kSide + x0], b = base[y0 * kSide + x1];
    const double c = base[y1 * kSide + x0], d = base[y1 * kSide + x1];
    return (a * (1 - sx) + b * sx) * (1 - sy) + (c * (1 - sx) + d * sx) * sy;
}

double ValueNoise::operator()(double x, double y) const {
    double sum = 0, weight = 0, amplitude = 1, frequency = 1 / cell_;
    for (int o = 0; o < octaves_; ++o) {
        sum += amplitude * Octave(x * frequency + 17.3 * o, y * frequency - 5.1 * o, o);
        weight += amplitude;
        amplitude *= 0.5;
        frequency *= 2;
    }
    return sum / weight;
}

// --- The grid ---

namespace {

// The share of [p - a, p + a] inside [lo, hi].
inline double Share(double p, double a, double lo, double hi) {
    const double l = std::max(p - a, lo), h = std::min(p + a, hi);
    return h > l ? (h - l) / (2 * a) : 0.0;
}

}  // namespace

double GridPattern::MaxHalfWidth() const {
    double m = 0;
    for (double w : columnHalfWidth) m = std::max(m, w);
    for (double w : rowHalfWidth) m = std::max(m, w);
    return m;
}

RectMm GridPattern::Extent() const {
    if (chessboard) return {0, 0, columns * cellWidth, rows * cellHeight};
    return {-columnHalfWidth.front(), -rowHalfWidth.front(), columns * cellWidth + columnHalfWidth.back(),
            rows * cellHeight + rowHalfWidth.back()};
}

double GridPattern::Coverage(double x, double y, double ax, double ay) const {
    if (!present) return 0;
    ax = std::max(ax, 1e-6);
    ay = std::max(ay, 1e-6);
    const RectMm e = Extent();
    if (x + ax < e.x0 || x - ax > e.x1 || y + ay < e.y0 || y - ay > e.y1) return 0;
    if (chessboard) {
        const int a0 = std::max(0, int(std::floor((x - ax) / cellWidth)));
        const int a1 = std::min(columns - 1, int(std::floor((x + ax) / cellWidth)));
        const int b0 = std::max(0, int(std::floor((y - ay) / cellHeight)));
        const int b1 = std::min(rows - 1, int(std::floor((y + ay) / cellHeight)));
        double sum = 0;
        for (int b = b0; b <= b1; ++b) {
            const double sy = Share(y, ay, b * cellHeight, (b + 1) * cellHeight);
            if (sy <= 0) continue;
            for (int a = a0; a <= a1; ++a)
                if ((a + b) % 2 == darkParity) sum += sy * Share(x, ax, a * cellWidth, (a + 1) * cellWidth);
        }
        return std::min(sum, 1.0);
    }
    const double reach = MaxHalfWidth();
    // Lines of constant x (columns), running over the rows' extent.
    double columnsShare = 0;
    const double sy = Share(y, ay, e.y0, e.y1);
    if (sy > 0) {
        const int a0 = std::max(0, int(std::floor((x - ax - reach) / cellWidth)));
        const int a1 = std::min(columns, int(std::ceil((x + ax + reach) / cellWidth)));
        for (int a = a0; a <= a1; ++a) {
            const double c = a * cellWidth, h = columnHalfWidth[std::size_t(a)];
            columnsShare += Share(x, ax, c - h, c + h);
        }
        columnsShare = std::min(columnsShare, 1.0) * sy;
    }
    double rowsShare = 0;
    const double sx = Share(x, ax, e.x0, e.x1);
    if (sx > 0) {
        const int b0 = std::max(0, int(std::floor((y - ay - reach) / cellHeight)));
        const int b1 = std::min(rows, int(std::ceil((y + ay + reach) / cellHeight)));
        for (int b = b0; b <= b1; ++b) {
            const double c = b * cellHeight, h = rowHalfWidth[std::size_t(b)];
            rowsShare += Share(y, ay, c - h, c + h);
        }
        rowsShare = std::min(rowsShare, 1.0) * sx;
    }
    return columnsShare + rowsShare - columnsShare * rowsShare;
}

// --- The canvas ---

Canvas::Canvas(const RectMm& bounds, double scale) : bounds_(bounds), scale_(scale) {
    const int w = std::max(2, int(std::ceil(bounds.width() * scale)));
    const int h = std::max(2, int(std::ceil(bounds.height() * scale)));
    levels_.emplace_back(h, w, cv::Vec3b(128, 128, 128));
}

cv::Point Canvas::Fixed(double x, double y) const {
    const cv::Point2d r = ToRaster(x, y);
    auto clampFixed = [](double v) { return int(std::lround(std::clamp(v * 16.0, -1e8, 1e8))); };
    return {clampFixed(r.x), clampFixed(r.y)};
}

namespace {
cv::Scalar ScalarOf(const Colour& c) {
    return cv::Scalar(std::clamp(c[0], 0.f, 255.f), std::clamp(c[1], 0.f, 255.f), std::clamp(c[2], 0.f, 255.f));
}
}  // namespace

void Canvas::FillRect(const RectMm& r, const Colour& c) {
    FillPolygon({{r.x0, r.y0}, {r.x1, r.y0}, {r.x1, r.y1}, {r.x0, r.y1}}, c);
}

void Canvas::FillPolygon(const std::vector<cv::Point2d>& points, const Colour& c) {
    if (points.size() < 3) return;
    std::vector<cv::Point> fixed;
    fixed.reserve(points.size());
    for (const cv::Point2d& p : points) fixed.push_back(Fixed(p.x, p.y));
    std::vector<std::vector<cv::Point>> polys{fixed};
    cv::fillPoly(levels_[0], polys, ScalarOf(c), cv::LINE_AA, 4);
}

void Canvas::Line(cv::Point2d a, cv::Point2d b, double widthMm, const Colour& c) {
    const int thickness = std::max(1, int(std::lround(widthMm * scale_)));
    if (widthMm * scale_ >= 3.0) {
        // Wide lines as polygons, so that their width is not rounded.
        const cv::Point2d d = b - a;
        const double len = std::hypot(d.x, d.y);
        if (len <= 0) return;
        const cv::Point2d n(-d.y / len * widthMm / 2, d.x / len * widthMm / 2);
        FillPolygon({a + n, b + n, b - n, a - n}, c);
        return;
    }
    cv::line(levels_[0], Fixed(a.x, a.y), Fixed(b.x, b.y), ScalarOf(c), thickness, cv::LINE_AA, 4);
}

void Canvas::Polyline(const std::vector<cv::Point2d>& points, double widthMm, const Colour& c, bool closed) {
    for (std::size_t i = 0; i + 1 < points.size(); ++i) Line(points[i], points[i + 1], widthMm, c);
    if (closed && points.size() > 2) Line(points.back(), points.front(), widthMm, c);
}

void Canvas::StrokeRect(const RectMm& r, double widthMm, const Colour& c) {
    const double h = widthMm / 2;
    FillRect({r.x0 - h, r.y0 - h, r.x1 + h, r.y0 + h}, c);
    FillRect({r.x0 - h, r.y1 - h, r.x1 + h, r.y1 + h}, c);
    FillRect({r.x0 - h, r.y0 - h, r.x0 + h, r.y1 + h}, c);
    FillRect({r.x1 - h, r.y0 - h, r.x1 + h, r.y1 + h}, c);
}

void Canvas::FillCircle(cv::Point2d centre, double radiusMm, const Colour& c) {
    FillEllipse(centre, radiusMm, radiusMm, 0, c);
}

void Canvas::FillEllipse(cv::Point2d centre, double ax, double ay, double angleDegrees, const Colour& c) {
    std::vector<cv::Point2d> points;
    const int n = 48;
    const double ca = std::cos(Radians(angleDegrees)), sa = std::sin(Radians(angleDegrees));
    for (int k = 0; k < n; ++k) {
        const double t = 2 * kPi * k / n;
        const double ex = ax * std::cos(t), ey = ay * std::sin(t);
        points.push_back({centre.x + ca * ex - sa * ey, centre.y + sa * ex + ca * ey});
    }
    FillPolygon(points, c);
}

namespace {
constexpr int kFonts[] = {cv::FONT_HERSHEY_SIMPLEX, cv::FONT_HERSHEY_DUPLEX, cv::FONT_HERSHEY_COMPLEX,
                          cv::FONT_HERSHEY_TRIPLEX, cv::FONT_HERSHEY_SCRIPT_SIMPLEX, cv::FONT_HERSHEY_PLAIN};
}

// The height of a capital at font scale 1.
double CapHeight(int font) {
    static const std::array<double, 6> heights = [] {
        std::array<double, 6> h{};
        for (int f = 0; f < 6; ++f) {
            int base = 0;
            h[std::size_t(f)] = cv::getTextSize("H", kFonts[f], 1.0, 1, &base).height;
        }
        return h;
    }();
    return heights[std::size_t(font % 6)];
}

double Canvas::TextWidth(const std::string& text, double heightMm, int font, double weight) const {
    const double px = heightMm * scale_;
    int base = 0;
    const int thickness = std::max(1, int(std::lround(px * weight)));
    const cv::Size size = cv::getTextSize(text, kFonts[font % 6], px / CapHeight(font), thickness, &base);
    return size.width / scale_;
}

void Canvas::Text(const std::string& text, double x, double y, double heightMm, const Colour& c, int font,
                  double weight) {
    const double px = heightMm * scale_;
    if (px < 1.0) {
        // Too small to draw letters: a faint band where the text would be.
        const double w = TextWidth(text, heightMm, font, weight);
        ForEach({x, y - heightMm * 0.7, x + w, y}, [&](double, double, cv::Vec3b& p) {
            for (int k = 0; k < 3; ++k) p[k] = cv::saturate_cast<uint8_t>(p[k] * 0.7 + c[k] * 0.3);
        });
        return;
    }
    const int thickness = std::max(1, int(std::lround(px * weight)));
    const cv::Point2d r = ToRaster(x, y);
    cv::putText(levels_[0], text, cv::Point(int(std::lround(r.x)), int(std::lround(r.y))), kFonts[font % 6],
                px / CapHeight(font), ScalarOf(c), thickness, cv::LINE_AA);
}

void Canvas::ForEach(const RectMm& r, const std::function<void(double, double, cv::Vec3b&)>& f) {
    cv::Mat3b& img = levels_[0];
    const cv::Point2d a = ToRaster(r.x0, r.y0), b = ToRaster(r.x1, r.y1);
    const int u0 = std::max(0, int(std::ceil(a.x))), u1 = std::min(img.cols - 1, int(std::floor(b.x)));
    const int v0 = std::max(0, int(std::ceil(a.y))), v1 = std::min(img.rows - 1, int(std::floor(b.y)));
    for (int v = v0; v <= v1; ++v) {
        cv::Vec3b* row = img.ptr<cv::Vec3b>(v);
        const double y = bounds_.y0 + (v + 0.5) / scale_;
        for (int u = u0; u <= u1; ++u) f(bounds_.x0 + (u + 0.5) / scale_, y, row[u]);
    }
}

void Canvas::Paint(const RectMm& r, double stepMm, const std::function<Colour(double, double)>& f, bool multiply) {
    cv::Mat3b& img = levels_[0];
    const cv::Point2d a = ToRaster(r.x0, r.y0), b = ToRaster(r.x1, r.y1);
    const int u0 = std::max(0, int(std::ceil(a.x))), u1 = std::min(img.cols - 1, int(std::floor(b.x)));
    const int v0 = std::max(0, int(std::ceil(a.y))), v1 = std::min(img.rows - 1, int(std::floor(b.y)));
    if (u1 < u0 || v1 < v0) return;
    const int nu = u1 - u0 + 1, nv = v1 - v0 + 1;
    const double step = std::max(stepMm, 1.5 / scale_);
    const int nx = std::min(nu, std::max(2, int(std::ceil(nu / scale_ / step)))), ny = std::min(nv, std::max(2, int(std::ceil(nv / scale_ / step))));
    // Coarse sample (i, j) sits where a linear resize to the region's pixels
    // puts it: at region pixel (i + 0.5) * nu / nx - 0.5.
    cv::Mat3f coarse(ny, nx);
    for (int j = 0; j < ny; ++j) {
        const double v = (j + 0.5) * nv / ny - 0.5;
        const double y = bounds_.y0 + (v0 + v + 0.5) / scale_;
        for (int i = 0; i < nx; ++i) {
            const double u = (i + 0.5) * nu / nx - 0.5;
            coarse(j, i) = f(bounds_.x0 + (u0 + u + 0.5) / scale_, y);
        }
    }
    cv::Mat3f up;
    cv::resize(coarse, up, cv::Size(nu, nv), 0, 0, cv::INTER_LINEAR);
    cv::Mat3b region = img(cv::Rect(u0, v0, nu, nv));
    if (multiply) {
        cv::Mat3f values;
        region.convertTo(values, CV_32F);
        values = values.mul(up);
        values.convertTo(region, CV_8U);
    } else {
        up.convertTo(region, CV_8U);
    }
}

void Canvas::Finish() {
    while (levels_.back().cols > 8 && levels_.back().rows > 8 && levels_.size() < 12) {
        const cv::Mat3b& last = levels_.back();
        // Halving by area keeps the pixel centres where the scale says:
        // level L + 1 pixel p covers level L pixels 2p and 2p + 1.
        cv::Mat3b even = last(cv::Rect(0, 0, last.cols & ~1, last.rows & ~1));
        cv::Mat3b next;
        cv::resize(even, next, cv::Size(even.cols / 2, even.rows / 2), 0, 0, cv::INTER_AREA);
        levels_.push_back(next);
    }
}

Colour Canvas::Bilinear(int level, double u, double v) const {
    const cv::Mat3b& img = levels_[std::size_t(level)];
    u = std::clamp(u, 0.0, double(img.cols - 1));
    v = std::clamp(v, 0.0, double(img.rows - 1));
    const int u0 = std::min(int(u), img.cols - 2), v0 = std::min(int(v), img.rows - 2);
    const double tu = u - u0, tv = v - v0;
    const cv::Vec3b* r0 = img.ptr<cv::Vec3b>(v0);
    const cv::Vec3b* r1 = img.ptr<cv::Vec3b>(v0 + 1);
    Colour out;
    for (int c = 0; c < 3; ++c) {
        const double top = r0[u0][c] * (1 - tu) + r0[u0 + 1][c] * tu;
        const double bottom = r1[u0][c] * (1 - tu) + r1[u0 + 1][c] * tu;
        out[c] = float(top * (1 - tv) + bottom * tv);
    }
    return out;
}

Colour Canvas::Sample(double x, double y, double footprintMm) const {
    const double footprint = footprintMm * scale_;  // raster pixels
    const double level = footprint <= 1 ? 0.0 : std::min(std::log2(footprint), double(levels_.size() - 1));
    const int l0 = int(level);
    const double t = level - l0;
    auto at = [&](int l) {
        const double k = std::ldexp(1.0, -l);
        const cv::Point2d r((x - bounds_.x0) * scale_ * k - 0.5, (y - bounds_.y0) * scale_ * k - 0.5);
        return Bilinear(l, r.x, r.y);
    };
    const Colour a = at(l0);
    if (t <= 1e-3 || l0 + 1 >= int(levels_.size())) return a;
    return Mix(a, at(l0 + 1), t);
}

}  // namespace vexo::gridphotos
