#include "app/lattice_drawing.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace vexo {

namespace {

double Length(const PointF& a, const PointF& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The displayed picture as blue, green, red bytes, read back from the screen.
struct Canvas {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;

    void Put(long x, long y, Rgb c) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* p = bgr.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
        p[0] = c.blue;
        p[1] = c.green;
        p[2] = c.red;
    }
    // A straight line of pixels from a to b, `thickness` pixels across.
    void Line(const PointF& a, const PointF& b, int thickness, Rgb c) {
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
        const double steps = std::ceil(std::max(std::abs(b.x - a.x), std::abs(b.y - a.y)));
        if (steps > 4 * double(width + height)) return;  // nothing of it could be on the picture
        const int n = static_cast<int>(steps);
        const bool steep = std::abs(b.y - a.y) > std::abs(b.x - a.x);
        for (int k = 0; k <= n; ++k) {
            const double t = n == 0 ? 0 : double(k) / n;
            const long x = std::lround(a.x + t * (b.x - a.x)), y = std::lround(a.y + t * (b.y - a.y));
            for (int w = -(thickness - 1) / 2; w <= thickness / 2; ++w) Put(steep ? x + w : x, steep ? y : y + w, c);
        }
    }
};

}  // namespace

int LatticeNamePixels(const Lattice& lattice) {
    std::vector<double> sides;
    for (int j = 0; j < lattice.rows; ++j)
        for (int i = 0; i < lattice.columns; ++i) {
            const double w = (Length(lattice.at(i, j), lattice.at(i + 1, j)) +
                              Length(lattice.at(i, j + 1), lattice.at(i + 1, j + 1))) / 2;
            const double h = (Length(lattice.at(i, j), lattice.at(i, j + 1)) +
                              Length(lattice.at(i + 1, j), lattice.at(i + 1, j + 1))) / 2;
            sides.push_back(std::min(w, h));
        }
    if (sides.empty()) return 6;
    std::nth_element(sides.begin(), sides.begin() + std::ptrdiff_t(sides.size() / 2), sides.end());
    return std::clamp(static_cast<int>(std::lround(0.4 * sides[sides.size() / 2])), 6, 96);
}

void DrawLattice(const Lattice& lattice, Screen& screen, int width, int height) {
    if (!lattice.found || !screen.HasDisplayBitmap() || width <= 0 || height <= 0) return;
    if (screen.WantsDisplayRows()) {
        Canvas canvas{width, height, std::vector<uint8_t>(std::size_t(width) * std::size_t(height) * 3)};
        for (int y = 0; y < height; ++y)
            screen.ReadDisplayRow(y, canvas.bgr.data() + std::size_t(y) * std::size_t(width) * 3, width);
        // Lines one pixel wide on a picture up to about a thousand pixels,
        // wider on larger ones.
        const int thickness = std::max(1, std::max(width, height) / 1000);
        for (int j = 0; j <= lattice.rows; ++j)
            for (int i = 0; i < lattice.columns; ++i) canvas.Line(lattice.at(i, j), lattice.at(i + 1, j), thickness, kLatticeColour);
        for (int i = 0; i <= lattice.columns; ++i)
            for (int j = 0; j < lattice.rows; ++j) canvas.Line(lattice.at(i, j), lattice.at(i, j + 1), thickness, kLatticeColour);
        if (lattice.kind == GridKind::Chessboard) {
            const double arm = std::max(2.0, LatticeNamePixels(lattice) / 4.0);
            for (const PointF& p : lattice.crossings) {
                canvas.Line({p.x - arm, p.y - arm}, {p.x + arm, p.y + arm}, thickness, kLatticeCrossingColour);
                canvas.Line({p.x - arm, p.y + arm}, {p.x + arm, p.y - arm}, thickness, kLatticeCrossingColour);
            }
        }
        std::string why;
        for (int y = 0; y < height; ++y)
            if (!screen.WriteDisplayRow(y, canvas.bgr.data() + std::size_t(y) * std::size_t(width) * 3, width, why)) break;
    }
    // The names, centred in their cells and clipped to them.
    screen.SetFontBold(true);
    screen.SetBrushClear();
    screen.SetFontColour(kLatticeNameColour);
    screen.SetFontPixels(LatticeNamePixels(lattice));
    for (int j = 0; j < lattice.rows; ++j)
        for (int i = 0; i < lattice.columns; ++i) {
            const PointF corners[4] = {lattice.at(i, j), lattice.at(i + 1, j), lattice.at(i + 1, j + 1), lattice.at(i, j + 1)};
            double cx = 0, cy = 0, left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
            for (const PointF& c : corners) {
                cx += c.x / 4;
                cy += c.y / 4;
                left = std::min(left, c.x);
                top = std::min(top, c.y);
                right = std::max(right, c.x);
                bottom = std::max(bottom, c.y);
            }
            if (!std::isfinite(cx) || !std::isfinite(cy) || right < 0 || bottom < 0 || left >= width || top >= height)
                continue;
            const std::string name = CellName(i + 1, j + 1);
            const TextExtent extent = screen.MeasureText(name);
            const ClipRect clip{static_cast<int>(std::max(left, 0.0)), static_cast<int>(std::max(top, 0.0)),
                                static_cast<int>(std::min(right, double(width))), static_cast<int>(std::min(bottom, double(height)))};
            screen.DrawTextClipped(static_cast<int>(std::lround(cx - extent.width / 2.0)),
                                   static_cast<int>(std::lround(cy - extent.height / 2.0)), clip, name);
        }
    screen.SetFontPixels(0);
    screen.RepaintNow();
}

}  // namespace vexo
