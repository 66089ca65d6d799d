// From the world to the picture: each pixel integrates the world over its
// footprint (ss x ss samples, each with the grid's exact coverage of its
// own footprint and the canvas at the matching level of detail), then
// things in front of the grid are drawn, the light falls unevenly, the lens
// blurs and the sensor adds noise.
#include <algorithm>
#include <cmath>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "photo_parts.h"

namespace vexo::gridphotos {

namespace {

// Where the ray through a sample meets the world.
struct Hit {
    double x = 0, y = 0;
    bool hit = false;
    bool under = false;  // the desk under the bent page's edge
};

}  // namespace

cv::Mat3f RenderRadiance(const World& world, const Canvas& canvas, const Camera& camera, int ss) {
    cv::Mat3f out(camera.height, camera.width);
    const GridPattern& grid = world.grid;
    const ValueNoise inkNoise(0x5EED, 1.5, 2);
    const RectMm limit = world.bounds;
    const int across = camera.width * ss;
    cv::parallel_for_(cv::Range(0, camera.height), [&](const cv::Range& rows) {
        // Two rows of samples at a time: a sample's footprint comes from its
        // right and lower neighbours (one more sample at the end of a row).
        std::vector<Hit> current(std::size_t(across) + 1), next(std::size_t(across) + 1);
        auto fill = [&](std::vector<Hit>& row, int s) {
            const double py = (s + 0.5) / ss - 0.5;
            for (int k = 0; k <= across; ++k) {
                Hit& h = row[std::size_t(k)];
                h.hit = camera.BackProject((k + 0.5) / ss - 0.5, py, limit, h.x, h.y, &h.under);
            }
        };
        std::vector<Colour> sums(std::size_t(camera.width));
        fill(current, rows.start * ss);
        for (int y = rows.start; y < rows.end; ++y) {
            std::fill(sums.begin(), sums.end(), Colour(0, 0, 0));
            for (int sy = 0; sy < ss; ++sy) {
                fill(next, y * ss + sy + 1);
                for (int k = 0; k < across; ++k) {
                    const Hit& h = current[std::size_t(k)];
                    Colour& sum = sums[std::size_t(k / ss)];
                    if (!h.hit) {
                        sum += world.room;
                        continue;
                    }
                    // Millimetres per pixel along the picture's x and y.
                    const Hit& r = current[std::size_t(k) + 1];
                    const Hit& d = next[std::size_t(k)];
                    double j00 = 1e3, j10 = 0, j01 = 0, j11 = 1e3;
                    if (r.hit && d.hit) {
                        j00 = ss * (r.x - h.x);
                        j10 = ss * (r.y - h.y);
                        j01 = ss * (d.x - h.x);
                        j11 = ss * (d.y - h.y);
                    }
                    const double ax = 0.5 / ss * (std::fabs(j00) + std::fabs(j01));
                    const double ay = 0.5 / ss * (std::fabs(j10) + std::fabs(j11));
                    const double footprint = std::sqrt(std::max(j00 * j00 + j10 * j10, j01 * j01 + j11 * j11)) / ss;
                    Colour c = canvas.Sample(h.x, h.y, footprint);
                    if (h.under) {
                        c = Scaled(c, 0.45);
                    } else if (grid.present) {
                        double cover = grid.Coverage(h.x, h.y, ax, ay);
                        if (cover > 0) {
                            cover *= grid.opacity * (1 - grid.inkVariation * inkNoise(h.x, h.y));
                            c = Mix(c, grid.ink, cover);
                        }
                    }
                    if (world.shade) c = Scaled(c, world.shade(h.x, h.y));
                    sum += c;
                }
                std::swap(current, next);
            }
            cv::Vec3f* row = out.ptr<cv::Vec3f>(y);
            for (int x = 0; x < camera.width; ++x) row[x] = sums[std::size_t(x)] * float(1.0 / (ss * ss));
        }
    });
    return out;
}

// --- Things in front of the grid ---

namespace {

struct Shape {
    std::vector<std::vector<cv::Point2d>> polygons;  // picture pixels
    std::function<Colour(double, double)> colour;
    cv::Point2d shadowOffset{0, 0};
    double shadowBlur = 2;
    double shadowDepth = 0;
};

// Draws a shape into the radiance and its cover into the mask.
void Draw(cv::Mat3f& radiance, cv::Mat1b& mask, const Shape& shape) {
    double bx0 = 1e18, by0 = 1e18, bx1 = -1e18, by1 = -1e18;
    for (const auto& poly : shape.polygons)
        for (const cv::Point2d& p : poly) {
            bx0 = std::min(bx0, p.x);
            by0 = std::min(by0, p.y);
            bx1 = std::max(bx1, p.x);
            by1 = std::max(by1, p.y);
        }
    if (bx0 > bx1) return;
    const double reach = 3 * shape.shadowBlur + std::max(std::fabs(shape.shadowOffset.x), std::fabs(shape.shadowOffset.y)) + 2;
    const int x0 = int(std::clamp(std::floor(bx0 - reach), 0.0, double(radiance.cols)));
    const int y0 = int(std::clamp(std::floor(by0 - reach), 0.0, double(radiance.rows)));
    const int x1 = int(std::clamp(std::ceil(bx1 + reach) + 1, 0.0, double(radiance.cols)));
    const int y1 = int(std::clamp(std::ceil(by1 + reach) + 1, 0.0, double(radiance.rows)));
    if (x1 <= x0 || y1 <= y0) return;
    const cv::Rect roi(x0, y0, x1 - x0, y1 - y0);
    auto rasterise = [&](cv::Point2d offset) {
        cv::Mat1b local(roi.size(), uint8_t(0));
        std::vector<std::vector<cv::Point>> fixed;
        for (const auto& poly : shape.polygons) {
            std::vector<cv::Point> f;
            for (const cv::Point2d& p : poly)
                f.push_back({int(std::lround((p.x + offset.x - x0) * 16)), int(std::lround((p.y + offset.y - y0) * 16))});
            fixed.push_back(f);
        }
        for (const auto& f : fixed) {
            std::vector<std::vector<cv::Point>> one{f};
            cv::fillPoly(local, one, cv::Scalar(255), cv::LINE_AA, 4);
        }
        return local;
    };
    cv::Mat3f area = radiance(roi);
    if (shape.shadowDepth > 0) {
        cv::Mat1b shadow = rasterise(shape.shadowOffset);
        cv::Mat1f soft;
        shadow.convertTo(soft, CV_32F, 1.0 / 255);
        cv::GaussianBlur(soft, soft, cv::Size(0, 0), std::max(0.5, shape.shadowBlur));
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x) area(y, x) *= float(1 - shape.shadowDepth * soft(y, x));
    }
    const cv::Mat1b alpha = rasterise({0, 0});
    cv::Mat1b cover = mask(roi);
    for (int y = 0; y < roi.height; ++y)
        for (int x = 0; x < roi.width; ++x) {
            const uint8_t a = alpha(y, x);
            if (!a) continue;
            const double t = a / 255.0;
            area(y, x) = Mix(area(y, x), shape.colour(x + x0, y + y0), t);
            cover(y, x) = std::max(cover(y, x), a);
        }
}

cv::Point2d ToCv(const Point& p) { return {p.x, p.y}; }

// Picture pixels per millimetre near world point (x, y).
double Magnification(const Camera& camera, double x, double y) {
    const Point a = camera.Project(x, y), b = camera.Project(x + 1, y), c = camera.Project(x, y + 1);
    return std::sqrt(std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)));
}

std::vector<cv::Point2d> ProjectCircle(const Camera& camera, double x, double y, double z, double r, int n = 40) {
    std::vector<cv::Point2d> pts;
    for (int k = 0; k < n; ++k) {
        const double t = 2 * kPi * k / n;
        pts.push_back(ToCv(camera.Project3d({x + r * std::cos(t), y + r * std::sin(t), z})));
    }
    return pts;
}

// A point near the grid: inside it by `inside` cells from a random border
// (negative: outside), anywhere along that border.
cv::Point2d NearBorder(const GridPattern& g, Rng& rng, double inside) {
    const double w = g.columns * g.cellWidth, h = g.rows * g.cellHeight;
    const double u = rng.Uniform();
    switch (rng.Int(0, 3)) {
        case 0: return {u * w, inside * g.cellHeight};
        case 1: return {u * w, h - inside * g.cellHeight};
        case 2: return {inside * g.cellWidth, u * h};
        default: return {w - inside * g.cellWidth, u * h};
    }
}

Shape Coin(const Camera& camera, const GridPattern& g, Rng& rng) {
    const double cell = std::min(g.cellWidth, g.cellHeight);
    const double r = std::clamp(rng.Uniform(9, 13), cell * 0.3, cell * 0.9);
    const cv::Point2d c(rng.Uniform(0, g.columns) * g.cellWidth, rng.Uniform(0, g.rows) * g.cellHeight);
    Shape s;
    s.polygons = {ProjectCircle(camera, c.x, c.y, -1.5, r)};
    const Point centre = camera.Project3d({c.x, c.y, -1.5});
    const double rad = r * Magnification(camera, c.x, c.y);
    const Colour metal = rng.Chance(0.5) ? Gray(rng.Uniform(140, 200)) : Bgr(60, 140, 190);
    const double lx = rng.Uniform(-1, 1), ly = rng.Uniform(-1, 1);
    s.colour = [=](double x, double y) {
        const double dx = (x - centre.x) / rad, dy = (y - centre.y) / rad, d = std::hypot(dx, dy);
        const double rim = d > 0.82 ? 0.75 : 1.0;
        return Scaled(metal, rim * (0.85 + 0.25 * (dx * lx + dy * ly)));
    };
    s.shadowOffset = {rad * 0.15, rad * 0.2};
    s.shadowBlur = rad * 0.1 + 1;
    s.shadowDepth = 0.35;
    return s;
}

Shape Pen(const Camera& camera, const GridPattern& g, Rng& rng) {
    const cv::Point2d tip = NearBorder(g, rng, rng.Uniform(0.2, 1.5));
    const cv::Point2d centre(g.columns * g.cellWidth / 2, g.rows * g.cellHeight / 2);
    cv::Point2d out = tip - centre;
    const double angle = std::atan2(out.y, out.x) + Radians(rng.Uniform(-40, 40));
    const double len = rng.Uniform(120, 150), r = rng.Uniform(4, 5.5);
    const cv::Point2d u(std::cos(angle), std::sin(angle)), n(-u.y, u.x);
    const cv::Point2d end = tip + u * len, cone = tip + u * (r * 3);
    auto at = [&](cv::Point2d p, double z) { return ToCv(camera.Project3d({p.x, p.y, -z})); };
    Shape s;
    s.polygons = {{at(cone + n * r, r), at(end + n * r, r), at(end - n * r, r), at(cone - n * r, r)},
                  {at(cone + n * r, r), at(tip, 0.5), at(cone - n * r, r)}};
    const cv::Point2d a = at(cone, r), b = at(end, r);
    const cv::Point2d side = at(cone + n * r, r) - a;
    const double half = std::max(1.0, std::hypot(side.x, side.y));
    const cv::Point2d axis = (b - a) / std::max(1e-9, std::hypot((b - a).x, (b - a).y));
    const Colour body = rng.Chance(0.5) ? Gray(rng.Uniform(20, 60)) : Bgr(rng.Uniform(30, 200), rng.Uniform(30, 200), rng.Uniform(30, 200));
    s.colour = [=](double x, double y) {
        const double t = ((x - a.x) * -axis.y + (y - a.y) * axis.x) / half;
        return Scaled(body, 0.75 + 0.6 * std::exp(-std::pow((t + 0.35) / 0.25, 2)));
    };
    s.shadowOffset = {half * 0.6, half * 0.8};
    s.shadowBlur = half * 0.4 + 1;
    s.shadowDepth = 0.3;
    return s;
}

Shape Note(const Camera& camera, const GridPattern& g, Rng& rng) {
    const cv::Point2d c = NearBorder(g, rng, rng.Uniform(-0.2, 1.0));
    const double side = std::clamp(76.0, std::min(g.cellWidth, g.cellHeight) * 0.6,
                                   std::min(g.cellWidth, g.cellHeight) * 1.5);
    const double a = Radians(rng.Uniform(0, 90));
    std::vector<cv::Point2d> poly;
    for (auto [px, py] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        const double x = c.x + std::cos(a) * px * side / 2 - std::sin(a) * py * side / 2;
        const double y = c.y + std::sin(a) * px * side / 2 + std::cos(a) * py * side / 2;
        poly.push_back(ToCv(camera.Project3d({x, y, -0.3})));
    }
    Shape s;
    s.polygons = {poly};
    const Colour paper = rng.Chance(0.6) ? Bgr(120, 230, 250) : Bgr(200, 180, 250);
    s.colour = [=](double, double) { return paper; };
    s.shadowOffset = {1, 1.5};
    s.shadowBlur = 1.5;
    s.shadowDepth = 0.2;
    return s;
}

// A hand reaching in from the nearest edge of the picture, one to four
// fingers resting on the grid near its border.
Shape Hand(const Camera& camera, const GridPattern& g, Rng& rng) {
    const cv::Point2d touch = NearBorder(g, rng, rng.Uniform(-0.3, 0.8));
    const Point tip = camera.Project(touch.x, touch.y);
    const double mag = Magnification(camera, touch.x, touch.y);
    const double finger = rng.Uniform(15, 20) * mag;
    // The nearest edge of the picture.
    const double dl = tip.x, dr = camera.width - 1 - tip.x, dt = tip.y, db = camera.height - 1 - tip.y;
    cv::Point2d dir;
    const double m = std::min({dl, dr, dt, db});
    if (m == dl) dir = {-1, 0};
    else if (m == dr) dir = {1, 0};
    else if (m == dt) dir = {0, -1};
    else dir = {0, 1};
    const double turn = Radians(rng.Uniform(-35, 35));
    dir = {dir.x * std::cos(turn) - dir.y * std::sin(turn), dir.x * std::sin(turn) + dir.y * std::cos(turn)};
    const cv::Point2d n(-dir.y, dir.x);
    Shape s;
    auto capsule = [&](cv::Point2d from, cv::Point2d to, double w) {
        std::vector<cv::Point2d> poly;
        const cv::Point2d d = to - from;
        const double len = std::max(1e-9, std::hypot(d.x, d.y));
        const cv::Point2d u = d / len, v(-u.y, u.x);
        for (int k = 0; k <= 12; ++k) {
            const double t = kPi / 2 - kPi * k / 12;
            poly.push_back(to + (u * std::cos(t) + v * std::sin(t)) * (w / 2));
        }
        for (int k = 0; k <= 12; ++k) {
            const double t = kPi / 2 + kPi * k / 12;
            poly.push_back(from + (u * std::cos(t) + v * std::sin(t)) * (w / 2));
        }
        return poly;
    };
    // Fingers from their tips near the grid back to the palm, the palm, and
    // the arm out of the picture.
    const cv::Point2d t0(tip.x, tip.y);
    const int fingers = rng.Int(1, 4);
    const double reach = finger * rng.Uniform(3.2, 4.2);
    for (int k = 0; k < fingers; ++k) {
        const double across = k - (fingers - 1) / 2.0;
        const double back = finger * (0.25 * across * across + rng.Uniform(0, 0.3));
        const cv::Point2d start = t0 + n * (finger * 0.95 * across) + dir * back;
        s.polygons.push_back(capsule(start, t0 + n * (finger * 0.9 * across) + dir * (reach + finger), finger * rng.Uniform(1.0, 1.1)));
    }
    const cv::Point2d palm = t0 + dir * (reach + finger * 1.8);
    s.polygons.push_back(capsule(palm - n * finger * 1.5, palm + n * finger * 1.5, finger * 4.0));
    if (rng.Chance(0.6)) {
        const double side = rng.Chance(0.5) ? 1 : -1;
        const cv::Point2d root = palm + n * (side * finger * 1.8);
        s.polygons.push_back(capsule(root, root - dir * (finger * 2.2) + n * (side * finger * 1.2), finger * 1.1));
    }
    const double out = std::max(camera.width, camera.height);
    s.polygons.push_back(capsule(palm, palm + dir * out, finger * 3.0));
    const double length = reach + finger * 2;
    const Colour skin = rng.Chance(0.7) ? Bgr(rng.Uniform(110, 150), rng.Uniform(140, 175), rng.Uniform(190, 230))
                                        : Bgr(rng.Uniform(50, 80), rng.Uniform(70, 100), rng.Uniform(100, 140));
    s.colour = [=](double x, double y) {
        const double along = ((x - t0.x) * dir.x + (y - t0.y) * dir.y) / length;
        return Scaled(skin, 0.85 + 0.15 * std::clamp(along, 0.0, 1.0) + 0.05 * std::sin((x * n.x + y * n.y) / finger * kPi));
    };
    s.shadowOffset = dir * (-finger * 0.3) + n * (finger * 0.3);
    s.shadowBlur = finger * 0.4;
    s.shadowDepth = 0.35;
    return s;
}

// A chess piece or a draughtsman standing on square (a, b).
Shape Piece(const Camera& camera, const GridPattern& g, Rng& rng, int a, int b, bool flat) {
    const double cell = g.cellWidth;
    const double x = (a + 0.5) * cell, y = (b + 0.5) * cell;
    const double base = cell * (flat ? rng.Uniform(0.36, 0.42) : rng.Uniform(0.27, 0.38));
    const double height = cell * (flat ? 0.18 : rng.Uniform(0.5, 1.4));
    const double top = flat ? base : base * rng.Uniform(0.35, 0.7);
    std::vector<cv::Point2d> pts = ProjectCircle(camera, x, y, 0, base, 32);
    for (const cv::Point2d& p : ProjectCircle(camera, x, y, -height, top, 32)) pts.push_back(p);
    if (!flat) {
        const double head = base * rng.Uniform(0.45, 0.8);
        for (const cv::Point2d& p : ProjectCircle(camera, x, y, -height - head, head, 32)) pts.push_back(p);
        const Point crown = camera.Project3d({x, y, -height - 2 * head});
        pts.push_back({crown.x, crown.y});
    }
    std::vector<cv::Point2f> points, hull;
    for (const cv::Point2d& p : pts) points.push_back(cv::Point2f(float(p.x), float(p.y)));
    cv::convexHull(points, hull);
    Shape s;
    s.polygons = {{}};
    for (const cv::Point2f& p : hull) s.polygons[0].push_back({p.x, p.y});
    const Colour body = rng.Chance(0.5) ? Gray(rng.Uniform(200, 235)) : Gray(rng.Uniform(25, 60));
    const Point c0 = camera.Project(x, y);
    const double mag = Magnification(camera, x, y) * base;
    s.colour = [=](double px, double py) {
        const double t = (px - c0.x) / std::max(1.0, mag);
        return Scaled(body, 0.8 + 0.35 * std::exp(-std::pow((t + 0.35) / 0.35, 2)) - 0.1 * (py - c0.y) / std::max(1.0, mag) * 0.2);
    };
    s.shadowOffset = {mag * 0.5, mag * 0.3};
    s.shadowBlur = mag * 0.3 + 1;
    s.shadowDepth = 0.3;
    return s;
}

}  // namespace

cv::Mat1b DrawOccluders(cv::Mat3f& radiance, const World& world, const Camera& camera, Scene scene, Rng& rng) {
    cv::Mat1b mask(radiance.size(), uint8_t(0));
    const GridPattern& g = world.grid;
    if (scene == Scene::GameBoard) {
        const bool flat = g.columns == 10;
        const int count = rng.Int(2, std::max(2, g.columns * g.rows / 8));
        for (int k = 0; k < count; ++k) Draw(radiance, mask, Piece(camera, g, rng, rng.Int(0, g.columns - 1), rng.Int(0, g.rows - 1), flat));
        return mask;
    }
    const int count = rng.Chance(0.7) ? 1 : 2;
    for (int k = 0; k < count; ++k) {
        const double u = rng.Uniform();
        Shape s;
        if (scene == Scene::Calibration) s = u < 0.5 ? Hand(camera, g, rng) : u < 0.75 ? Coin(camera, g, rng) : Pen(camera, g, rng);
        else if (scene == Scene::Tiles) s = u < 0.45 ? Note(camera, g, rng) : u < 0.8 ? Hand(camera, g, rng) : Coin(camera, g, rng);
        else s = u < 0.35 ? Coin(camera, g, rng) : u < 0.7 ? Pen(camera, g, rng) : u < 0.9 ? Hand(camera, g, rng) : Note(camera, g, rng);
        Draw(radiance, mask, s);
    }
    return mask;
}

void Light(cv::Mat3f& radiance, const World& world, Rng& rng) {
    const int w = radiance.cols, h = radiance.rows;
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, half = std::hypot(w, h) / 2;
    const double exposure = rng.Uniform(0.85, 1.1);
    const double flare = rng.Uniform(0, 12);  // light scattered in the lens, over everything
    const double slope = rng.Uniform(0, 0.35), dir = rng.Uniform(0, 2 * kPi);
    const double vignette = rng.Uniform(0, 0.35);
    const bool shadow = rng.Chance(0.3);
    const double sx = rng.Uniform(-0.2, 1.2) * w, sy = rng.Uniform(-0.2, 1.2) * h;
    const double sa = rng.Uniform(0.2, 0.6) * half, sb = rng.Uniform(0.2, 0.6) * half, sangle = rng.Uniform(0, kPi);
    const double sdepth = rng.Uniform(0.15, 0.45), ssoft = rng.Uniform(0.05, 0.3);
    const bool glare = world.glossy && rng.Chance(0.6);
    const double gx = rng.Uniform(0.1, 0.9) * w, gy = rng.Uniform(0.1, 0.9) * h;
    const double gs = rng.Uniform(0.04, 0.12) * half * 2, gv = rng.Uniform(25, 70);
    const double cd = std::cos(dir), sd = std::sin(dir), cs = std::cos(sangle), sn = std::sin(sangle);
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            cv::Vec3f* row = radiance.ptr<cv::Vec3f>(y);
            for (int x = 0; x < w; ++x) {
                const double dx = x - cx, dy = y - cy;
                double light = exposure * (1 + slope * (dx * cd + dy * sd) / half);
                light *= 1 - vignette * (dx * dx + dy * dy) / (half * half);
                if (shadow) {
                    const double ex = x - sx, ey = y - sy;
                    const double u = (ex * cs + ey * sn) / sa;
                    const double v = (-ex * sn + ey * cs) / sb;
                    const double d = std::sqrt(u * u + v * v);
                    light *= 1 - sdepth / (1 + std::exp((d - 1) / ssoft));
                }
                row[x] = row[x] * float(light) + Gray(flare);
                if (glare) {
                    const double ex = x - gx, ey = y - gy;
                    row[x] += Gray(gv * std::exp(-(ex * ex + ey * ey) / (2 * gs * gs)));
                }
            }
        }
    });
}

}  // namespace vexo::gridphotos
