// Writes the sample pictures into the directory given as the only argument
// (samples/): regular grids as a photograph shows them - soft lines a few
// dozen gray levels darker than a light, unevenly lit background, with slight
// noise. A crisp black grid would not do: the grid search keeps only edge
// responses from 50 to 199 (149 for vertical edges), and a line edge of
// contrast C spread over L pixels gives a Sobel response of about
// 4 * C * sin(pi / L) at its steepest point (C = 45, L = 4: about 127).
//
// Every value that shapes the pictures is a constant below.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_jpegs.h"

namespace {

// --- The grid. ---
constexpr int kLineCount = 9;              // lines in each direction
constexpr double kLineDarkness = 45.0;     // gray levels below the background at a line's centre
constexpr double kLineCoreHalfWidth = 0.0; // fully dark half-width, pixels
constexpr double kLineEdgeWidth = 4.0;     // pixels over which an edge fades to the background
constexpr double kLineOvershoot = 0.0;     // how far lines run past the outer lines, pixels

// --- The background and the camera. ---
constexpr double kBackground = 178.0;      // mean gray level
constexpr double kLightingSlope = 28.0;    // levels from the darker to the lighter side
constexpr double kVignette = 18.0;         // levels lost from the centre to the corners
constexpr double kNoise = 2.0;             // standard deviation of the noise, gray levels
constexpr int kQuality = 88;

// --- The colour picture: offsets added to the gray value per channel. ---
constexpr double kTintRed = 28.0;
constexpr double kTintGreen = 4.0;
constexpr double kTintBlue = -40.0;

struct Sample {
    const char* name;
    int width;
    int height;
    double spacing;       // pixels between neighbouring lines
    double angleDegrees;  // rotation of the grid about the picture's centre
    bool colour;
    uint32_t seed;
    // Painted this many times larger: the same picture at `magnification`
    // times its width and height (a photograph taken at a higher resolution,
    // with noise in every one of its pixels).
    int magnification = 1;
};

constexpr Sample kSamples[] = {
    {"grid-9x9.jpg", 640, 480, 50.0, 0.0, false, 1},
    {"grid-rotated.jpg", 640, 480, 50.0, 1.5, false, 2},
    {"grid-800x600.jpg", 800, 600, 60.0, 0.0, false, 3},
    {"grid-colour.jpg", 640, 480, 50.0, 0.0, true, 4},
    // Wide cells: the chain search of the recursive grid operation needs
    // at least 80 pixels between crossings.
    {"grid-wide.jpg", 1000, 960, 110.0, 0.0, false, 5},
    // grid-800x600 as a phone takes it: 4000 x 3000, lines 300 pixels apart.
    // Its working size (2/8, 1000 x 750) is what the grid search sees.
    {"grid-4000x3000.jpg", 800, 600, 60.0, 0.0, false, 6, 5},
};

constexpr double kPi = 3.14159265358979323846;

// How much of kLineDarkness shows at distance d from a line's centre.
double LineProfile(double d) {
    d = std::fabs(d) - kLineCoreHalfWidth;
    if (d <= 0) return 1.0;
    if (d >= kLineEdgeWidth) return 0.0;
    return 0.5 * (1.0 + std::cos(kPi * d / kLineEdgeWidth));
}

// Darkness of the grid at grid coordinates (u, v), the grid's first line
// crossing at (0, 0) and its last at (span, span).
double GridDarkness(double u, double v, double spacing) {
    const double span = spacing * (kLineCount - 1);
    auto along = [&](double t) { return t >= -kLineOvershoot && t <= span + kLineOvershoot; };
    auto nearestLineDistance = [&](double t) {
        const double index = std::round(t / spacing);
        const double clamped = index < 0 ? 0 : index > kLineCount - 1 ? kLineCount - 1 : index;
        return t - clamped * spacing;
    };
    double darkness = 0.0;
    if (along(v)) darkness = std::max(darkness, LineProfile(nearestLineDistance(u)));  // vertical lines
    if (along(u)) darkness = std::max(darkness, LineProfile(nearestLineDistance(v)));  // horizontal lines
    return darkness;
}

std::vector<uint8_t> Paint(const Sample& s) {
    std::mt19937 random(s.seed);
    std::normal_distribution<double> noise(0.0, kNoise);
    const int components = s.colour ? 3 : 1;
    const double tint[3] = {kTintRed, kTintGreen, kTintBlue};
    const double angle = s.angleDegrees * kPi / 180.0;
    const double cx = (s.width - 1) / 2.0, cy = (s.height - 1) / 2.0;
    const double half = s.spacing * (kLineCount - 1) / 2.0;
    const double diagonal = std::hypot(cx, cy);

    const int m = s.magnification;
    std::vector<uint8_t> samples(std::size_t(s.width) * std::size_t(s.height) * std::size_t(components) *
                                 std::size_t(m) * std::size_t(m));
    std::size_t i = 0;
    for (int py = 0; py < s.height * m; ++py)
        for (int px = 0; px < s.width * m; ++px) {
            // The centre of the pixel in the pixels of the picture at 1/1.
            const double x = (px + 0.5) / m - 0.5, y = (py + 0.5) / m - 0.5;
            // Grid coordinates: the picture point turned back by the grid's angle.
            const double dx = x - cx, dy = y - cy;
            const double u = std::cos(angle) * dx + std::sin(angle) * dy + half;
            const double v = -std::sin(angle) * dx + std::cos(angle) * dy + half;
            const double light = kBackground + kLightingSlope * (0.6 * dx / s.width + 0.4 * dy / s.height) -
                                 kVignette * (dx * dx + dy * dy) / (diagonal * diagonal);
            const double gray = light - kLineDarkness * GridDarkness(u, v, s.spacing);
            for (int c = 0; c < components; ++c) {
                const double value = gray + (s.colour ? tint[c] : 0.0) + noise(random);
                samples[i++] = static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
            }
        }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const Sample& s : kSamples) {
        vexo::testjpeg::JpegOptions options;
        options.width = s.width * s.magnification;
        options.height = s.height * s.magnification;
        options.colour = s.colour ? vexo::testjpeg::Colour::kRgb : vexo::testjpeg::Colour::kGray;
        options.quality = kQuality;
        const std::vector<uint8_t> jpeg = vexo::testjpeg::EncodeJpeg(options, Paint(s));
        std::ofstream out(dir / s.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (dir / s.name).c_str());
            return 1;
        }
        std::printf("%-20s %4d x %-4d %7zu bytes\n", s.name, options.width, options.height, jpeg.size());
    }
    return 0;
}
