// A picture into Find Grid: a ruled grid drawn from a few bytes (or none),
// with the rest of the input as the picture's samples on top of it. Whatever
// the picture, Find Grid must come back with a lattice that holds together:
// at least one cell each way, (C + 1) x (R + 1) finite crossings, a score in
// 0..1, a homography with 1 as its last element that sends (0, 0) to the
// first crossing, and cells that straighten without reading out of bounds.
//
// Input layout (missing bytes read as 0):
//   0  width - 16 (mod 200)     1  height - 16 (mod 200)
//   2  grid: bit 7 draws one; bits 0..5 its line spacing + 6
//   3  its angle, in 1/256 of a half turn   4  its line width 1..4 (mod 4) and gray levels
//   5..  samples, added to the drawing, row by row, repeated (none: the drawing alone)
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "find_grid/find_grid.h"

namespace {

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_find_grid: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto byte = [&](std::size_t i) -> int { return i < size ? data[i] : 0; };
    const int width = 16 + byte(0) % 200, height = 16 + byte(1) % 200;
    vexo::GrayPlane picture = vexo::GrayPlane::Allocate(width, height);
    const bool grid = byte(2) & 0x80;
    const double spacing = 6 + (byte(2) & 0x3f);
    const double angle = byte(3) * M_PI / 256;
    const double lineWidth = 1 + byte(4) % 4;
    const int ink = (byte(4) & 0x10) ? 230 : 30, ground = 255 - ink;
    const std::size_t samples = size > 5 ? size - 5 : 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int v = 128;
            if (grid) {
                const double u = x * std::cos(angle) + y * std::sin(angle);
                const double w = -x * std::sin(angle) + y * std::cos(angle);
                const double du = std::abs(std::remainder(u, spacing)), dw = std::abs(std::remainder(w, spacing));
                v = du < lineWidth / 2 || dw < lineWidth / 2 ? ink : ground;
            }
            if (samples) {
                const int s = data[5 + (std::size_t(y) * std::size_t(width) + std::size_t(x)) % samples];
                v = grid ? v + (s - 128) / 2 : s;
            }
            picture.at(x, y) = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }

    const vexo::Lattice lattice = vexo::FindGrid(picture);
    if (!lattice.found) return 0;
    Check(lattice.columns >= 1 && lattice.rows >= 1, "a lattice without cells");
    Check(lattice.crossings.size() == std::size_t(lattice.columns + 1) * std::size_t(lattice.rows + 1),
          "crossings that do not fill the lattice");
    for (const vexo::PointF& p : lattice.crossings) Check(std::isfinite(p.x) && std::isfinite(p.y), "a crossing off any number");
    Check(lattice.score >= 0 && lattice.score <= 1, "a score out of 0..1");
    Check(lattice.homography.h[8] == 1, "a homography not scaled to 1");
    const vexo::PointF first = lattice.homography.Map(0, 0);
    Check(std::abs(first.x - lattice.at(0, 0).x) < 2 && std::abs(first.y - lattice.at(0, 0).y) < 2,
          "a homography that misses the first crossing");
    const int side = vexo::StraightenedCellSide(lattice, 1, 1);
    Check(side >= 16, "a straightened cell under 16 pixels");
    const vexo::GrayPlane cell = vexo::StraightenCell(picture, lattice, lattice.columns, lattice.rows, 16);
    Check(cell.width == 16 && cell.height == 16, "a straightened cell of the wrong size");
    return 0;
}
