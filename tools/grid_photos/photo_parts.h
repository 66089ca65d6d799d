// The parts a picture is made of, shared by the files of the generator:
// random numbers, the camera, the painted world and the grid drawn exactly.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "grid_photos.h"

namespace vexo::gridphotos {

inline constexpr double kPi = 3.14159265358979323846;
inline double Radians(double degrees) { return degrees * kPi / 180.0; }
inline double Degrees(double radians) { return radians * 180.0 / kPi; }

// Seeded random numbers (splitmix64), with distributions of its own so that
// a seed gives the same numbers whatever the standard library.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // lo..hi, both included.
    int Int(int lo, int hi) { return lo + int(Next() % uint64_t(hi - lo + 1)); }
    bool Chance(double p) { return Uniform() < p; }
    // Box and Muller's pair, the second kept for the next call.
    double Normal() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        const double u = std::max(Uniform(), 1e-300), v = Uniform();
        const double r = std::sqrt(-2.0 * std::log(u));
        spare_ = r * std::sin(2.0 * kPi * v);
        hasSpare_ = true;
        return r * std::cos(2.0 * kPi * v);
    }
    // An independent stream, the same for the same `stream` number.
    Rng Fork(uint64_t stream) const { return Rng(state_ ^ (stream * 0xD6E8FEB86659FD93ull + 0x1F)); }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[std::size_t(Int(0, int(items.size()) - 1))];
    }

private:
    uint64_t state_;
    double spare_ = 0;
    bool hasSpare_ = false;
};

// Smooth noise 0..1 over the plane: random values on a lattice of `cell`
// units, interpolated smoothly, summed over `octaves` halving scales.
class ValueNoise {
public:
    ValueNoise(uint64_t seed, double cell, int octaves = 1);
    double operator()(double x, double y) const;

private:
    double Octave(double x, double y, int octave) const;
    static constexpr int kSide = 128;
    std::vector<float> values_;  // kSide x kSide per octave, wrapping
    double cell_;
    int octaves_;
};

// BGR reflectances 0..255.
using Colour = cv::Vec3f;
inline Colour Gray(double v) { return Colour(float(v), float(v), float(v)); }
inline Colour Bgr(double b, double g, double r) { return Colour(float(b), float(g), float(r)); }
inline double Luma(const Colour& c) { return 0.114 * c[0] + 0.587 * c[1] + 0.299 * c[2]; }
inline Colour Scaled(const Colour& c, double k) { return Colour(float(c[0] * k), float(c[1] * k), float(c[2] * k)); }
inline Colour Mix(const Colour& a, const Colour& b, double t) { return a * float(1 - t) + b * float(t); }

struct RectMm {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    bool contains(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    RectMm grown(double d) const { return {x0 - d, y0 - d, x1 + d, y1 + d}; }
};

// The grid as printed, drawn exactly: the share of a pixel's footprint that
// its lines (or dark squares) cover. World coordinates in millimetres; the
// crossing (a, b) lies at (a * cellWidth, b * cellHeight).
struct GridPattern {
    bool present = false;
    bool chessboard = false;
    int columns = 0, rows = 0;
    double cellWidth = 1, cellHeight = 1;
    std::vector<double> columnHalfWidth;  // of the line x = a * cellWidth, a = 0..columns
    std::vector<double> rowHalfWidth;     // of the line y = b * cellHeight
    int darkParity = 0;                   // square (a, b) is dark when (a + b) % 2 == darkParity
    Colour ink = Gray(30);
    double opacity = 1.0;
    double inkVariation = 0.0;  // the ink's strength varies by up to this share

    double MaxHalfWidth() const;
    // Share of the box (x +- ax, y +- ay) the ink covers, 0..1.
    double Coverage(double x, double y, double ax, double ay) const;
    RectMm Extent() const;
};

// The painted world: a raster over `bounds` at `scale` pixels a millimetre,
// with its pyramid for sampling at any level of detail.
class Canvas {
public:
    Canvas(const RectMm& bounds, double scale);
    // Raster coordinates (pixel centres at integers) of a world point.
    cv::Point2d ToRaster(double x, double y) const { return {(x - bounds_.x0) * scale_ - 0.5, (y - bounds_.y0) * scale_ - 0.5}; }
    cv::Point Fixed(double x, double y) const;  // for drawing with 4 fraction bits

    void FillRect(const RectMm& r, const Colour& c);
    void FillPolygon(const std::vector<cv::Point2d>& points, const Colour& c);
    void Line(cv::Point2d a, cv::Point2d b, double widthMm, const Colour& c);
    void Polyline(const std::vector<cv::Point2d>& points, double widthMm, const Colour& c, bool closed = false);
    void StrokeRect(const RectMm& r, double widthMm, const Colour& c);
    void FillCircle(cv::Point2d centre, double radiusMm, const Colour& c);
    void FillEllipse(cv::Point2d centre, double ax, double ay, double angleDegrees, const Colour& c);
    // Text with the left end of its baseline at (x, y), capitals `heightMm` tall.
    void Text(const std::string& text, double x, double y, double heightMm, const Colour& c, int font = 0,
              double weight = 0.09);
    double TextWidth(const std::string& text, double heightMm, int font = 0, double weight = 0.09) const;
    // Sets (or multiplies by, with `multiply`) f(x, y) over `r`, evaluated
    // every `stepMm` millimetres (or every pixel and a half, the coarser)
    // and interpolated between.
    void Paint(const RectMm& r, double stepMm, const std::function<Colour(double, double)>& f, bool multiply);
    // Applies f(x, y, colour) to every pixel whose centre is in r.
    void ForEach(const RectMm& r, const std::function<void(double, double, cv::Vec3b&)>& f);

    // Builds the pyramid; after it the canvas is only sampled.
    void Finish();
    // The colour at world (x, y) for a footprint of `footprintMm` millimetres.
    Colour Sample(double x, double y, double footprintMm) const;

private:
    Colour Bilinear(int level, double u, double v) const;
    RectMm bounds_;
    double scale_;
    std::vector<cv::Mat3b> levels_;
};

// What a scene puts into the world.
struct World {
    GridPattern grid;
    RectMm page;     // the sheet, board or panel that holds the grid (bends with it)
    RectMm bounds;   // what is painted; beyond it, the room
    Colour room = Gray(90);
    std::vector<std::function<void(Canvas&)>> layers;  // painted in order
    // For keeping the lines visible: the luminance step between the thinnest
    // main lines and their ground, the least visible step wanted, and how
    // wide the thinnest lines may grow (a share of the cell).
    double lineContrast = 120;
    double neededContrast = 25;
    double maxThinFraction = 0.12;
    bool glossy = false;  // a shiny surface: glare
    // What the picture is of: the grid's extent, or the main pattern's.
    RectMm subject;
    // Scenes seen from the street rather than from above (no great tilt,
    // held about upright).
    bool upright = false;
    // A board or a wall, which does not bend.
    bool rigid = false;
    // Light falling on the world (a fold's crease), 1 where nothing changes.
    std::function<double(double, double)> shade;
};

// The pinhole camera with its lens and the page's bend. World: the desk is
// the plane z = 0, the camera at negative z; the bent page rises toward it.
struct Camera {
    int width = 0, height = 0;
    double focal = 1, cx = 0, cy = 0;
    cv::Matx33d rotation = cv::Matx33d::eye();  // world to camera
    cv::Vec3d centre;                           // in the world
    // Lens: ideal = mid + (d - mid) * (1 + k1 * |d - mid|^2 / r0^2).
    double k1 = 0, r0 = 1, midX = 0, midY = 0;
    // The page (x in pageRect) lies at height lift(x, y) toward the camera:
    // bendDepth * s^2 (curled ends) or bendDepth * (1 - s^2) (a hump), s
    // running -1..1 across the page along bendAlongX ? x : y.
    bool bent = false;
    bool bendAlongX = true;
    bool bendHump = false;
    double bendDepth = 0;
    RectMm pageRect;

    cv::Vec3d Surface(double x, double y) const;
    bool ProjectIdeal(const cv::Vec3d& world, Point& ideal) const;  // false behind the camera
    Point Distort(const Point& ideal) const;
    Point Undistort(const Point& distorted) const;
    // The picture point of world point (x, y) on the page or desk.
    Point Project(double x, double y) const;
    Point Project3d(const cv::Vec3d& world) const;
    // The world point seen at picture point (x, y); false when the ray misses
    // the world within `limit`. `underPage`: the ray passes under the bent
    // page's edge to the desk below it.
    bool BackProject(double x, double y, const RectMm& limit, double& wx, double& wy,
                     bool* underPage = nullptr) const;
};

// Scenes: the world of a picture, drawn from rng.
struct SceneSettings {
    Scene scene;
    bool colour = false;
    bool inverted = false;
    std::optional<int> columns, rows;
};
World BuildWorld(const SceneSettings& settings, Rng& rng);

// The light reaching each pixel of the picture, ss x ss samples a pixel.
cv::Mat3f RenderRadiance(const World& world, const Canvas& canvas, const Camera& camera, int ss);
// Draws what stands or lies in front of the grid (a coin, a pen, a hand,
// pieces, a note); returns how much of each pixel they cover (0..255).
cv::Mat1b DrawOccluders(cv::Mat3f& radiance, const World& world, const Camera& camera, Scene scene, Rng& rng);
// Uneven light: exposure, a gradient, vignetting, a soft shadow, glare, flare.
void Light(cv::Mat3f& radiance, const World& world, Rng& rng);

}  // namespace vexo::gridphotos
