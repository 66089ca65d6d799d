// Find Grid: each stage on a picture or segments whose answer is known, then
// the whole finder on generated photographs (the naming at every quarter
// turn and in perspective, light on dark, a grid at the picture's border,
// covered cells, pictures without a grid, tiny and large pictures), and the
// command in the workbench, which must leave the planes, the marks and the
// texts alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "app/grid_report.h"
#include "app/workbench.h"
#include "core/jpeg_decoder.h"
#include "core/memory_screen.h"
#include "find_grid/crossing_refinement.h"
#include "find_grid/edge_segments.h"
#include "find_grid/grid_region.h"
#include "find_grid/find_grid.h"
#include "find_grid/lattice.h"
#include "find_grid/lattice_period.h"
#include "find_grid/line_families.h"
#include "find_grid/subdivision.h"
#include "grid_photos/grid_photos.h"

namespace vexo::grid {
namespace {

namespace photos = vexo::gridphotos;

GrayPlane Picture(int width, int height, const std::function<double(double, double)>& gray) {
    GrayPlane plane = GrayPlane::Allocate(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane.at(x, y) = static_cast<uint8_t>(std::clamp(std::lround(gray(x, y)), 0L, 255L));
    return plane;
}

// A ruled grid drawn square-on: `cells` x `cells` cells of `side` pixels from
// (left, top), dark lines `width` pixels wide on light paper, antialiased by
// the share of each pixel a line covers.
GrayPlane RuledPicture(int size, double left, double top, double side, int cells, double width) {
    auto cover = [&](double v) {
        // Share of [v - 0.5, v + 0.5] within width / 2 of a line position.
        double best = 0;
        for (int k = 0; k <= cells; ++k) {
            const double centre = k * side;
            const double lo = std::max(v - 0.5, centre - width / 2), hi = std::min(v + 0.5, centre + width / 2);
            best = std::max(best, hi - lo);
        }
        return std::clamp(best, 0.0, 1.0);
    };
    return Picture(size, size, [&](double x, double y) {
        const double u = x - left, v = y - top;
        const bool inside = u > -width && v > -width && u < cells * side + width && v < cells * side + width;
        if (!inside) return 210.0;
        const double ink = std::max(cover(u), cover(v));
        return 210.0 - 170.0 * ink;
    });
}

photos::Photo Make(photos::Scene scene, uint32_t seed, const std::function<void(photos::PhotoRequest&)>& set = {}) {
    photos::PhotoRequest r;
    r.scene = scene;
    r.seed = seed;
    r.width = 640;
    r.height = 480;
    r.occluded = false;
    r.distorted = false;
    r.bent = false;
    if (set) set(r);
    return photos::MakePhoto(r);
}

Lattice Find(const photos::Photo& photo, LuminancePicture* decoded = nullptr) {
    LuminancePicture picture = DecodeLuminance(photo.jpeg.data(), photo.jpeg.size(), false);
    Lattice found = ToSourcePixels(FindGrid(picture.plane), picture.source.scale);
    if (decoded) *decoded = std::move(picture);
    return found;
}

// How far found crossing (i, j) lies from the truth's, in the file's pixels.
double CrossingError(const Lattice& found, const photos::Truth& truth, int i, int j) {
    const photos::Point t = truth.at(i, j);
    return std::hypot(found.at(i, j).x - t.x, found.at(i, j).y - t.y);
}

// Every crossing at its name's place (within a quarter of its cell), and the
// crossings as a whole to a fraction of a working pixel (`pixel`: the
// file's pixels in a working one).
void ExpectNamedLikeTruth(const Lattice& found, const photos::Truth& truth, double pixel = 1) {
    ASSERT_TRUE(found.found);
    ASSERT_EQ(found.columns, truth.columns);
    ASSERT_EQ(found.rows, truth.rows);
    std::vector<double> errors;
    for (int j = 0; j <= truth.rows; ++j)
        for (int i = 0; i <= truth.columns; ++i) {
            const double error = CrossingError(found, truth, i, j);
            EXPECT_LT(error, 0.25 * truth.LocalCellSide(i, j)) << "crossing " << i << ", " << j;
            if (!truth.coveredAt(i, j)) errors.push_back(error);
        }
    std::sort(errors.begin(), errors.end());
    ASSERT_FALSE(errors.empty());
    EXPECT_LT(errors[errors.size() / 2], 0.3 * pixel);
}

// --- Evidence ---

// A dark line gives two segments along it, one each side with opposite
// gradients; a black square gives its four sides.
TEST(EdgeSegmentsTest, LineSidesAndSquareSides) {
    const GrayPlane line = Picture(120, 80, [](double x, double) { return std::abs(x - 60) < 1.5 ? 40 : 200; });
    const std::vector<EdgeSegment> sides = FindEdgeSegments(ComputeGradients(line), 4);
    int left = 0, right = 0;
    for (const EdgeSegment& s : sides) {
        if (s.length < 40) continue;
        EXPECT_NEAR(std::abs(s.a.x - s.b.x), 0, 1.0);
        if (s.gradient.x < -0.9 && std::abs(s.middle().x - 58.5) < 1.5) ++left;
        if (s.gradient.x > 0.9 && std::abs(s.middle().x - 61.5) < 1.5) ++right;
    }
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 1);

    const GrayPlane square = Picture(100, 100, [](double x, double y) {
        return x >= 30 && x < 70 && y >= 30 && y < 70 ? 20 : 220;
    });
    int long_sides = 0;
    for (const EdgeSegment& s : FindEdgeSegments(ComputeGradients(square), 4)) long_sides += s.length > 25;
    EXPECT_EQ(long_sides, 4);
}

// --- Directions ---

// Segments on lines through two vanishing points (one finite, one at
// infinity) and some at random: the families and their points come back.
TEST(LineFamiliesTest, TwoVanishingPointsAmongClutter) {
    const PointF near{320, -900};
    std::vector<EdgeSegment> segments;
    auto add = [&](PointF a, PointF b) {
        EdgeSegment s;
        s.a = a;
        s.b = b;
        s.length = Distance(a, b);
        s.line = LineThrough(a, b);
        segments.push_back(s);
    };
    for (int k = 0; k < 12; ++k) {  // converging on `near`
        const PointF foot{100.0 + 40 * k, 400};
        const PointF dir = (1 / Distance(near, foot)) * (near - foot);
        for (double t : {0.0, 90.0, 180.0}) add(foot + t * dir, foot + (t + 60) * dir);
    }
    for (int k = 0; k < 10; ++k)  // parallel, nearly horizontal
        for (double x : {90.0, 250.0, 410.0}) add({x, 80.0 + 30 * k + 0.05 * x}, {x + 120, 80.0 + 30 * k + 0.05 * (x + 120)});
    for (int k = 0; k < 8; ++k) add({37.0 * k, 13.0 * k + 5}, {37.0 * k + 20, 11.0 * k + 30});  // clutter

    const std::vector<LineFamilies> found = FindLineFamilies(segments, 640, 480, 2);
    ASSERT_FALSE(found.empty());
    const LineFamilies& f = found.front();
    const int converging = std::abs(f.vanishing[0].z) > std::abs(f.vanishing[1].z) ? 0 : 1;
    const Vec3 v = f.vanishing[converging];
    EXPECT_NEAR(v.x / v.z, near.x, 2);
    EXPECT_NEAR(v.y / v.z, near.y, 8);
    const Vec3 w = Normalized(f.vanishing[1 - converging]);
    EXPECT_NEAR(std::abs(w.y / w.x), 0.05, 0.005);
    for (std::size_t k = 0; k < 36; ++k) EXPECT_EQ(f.family[k], converging) << k;
}

// --- Straightening ---

// Lines through vanishing point A become lines of constant v, lines through
// B lines of constant u.
TEST(StraightenerTest, FamiliesBecomeAxisParallel) {
    const Vec3 a{2000, -300, 1}, b{-100, 5000, 1};
    const Straightener s = MakeStraightener(a, b, {300, 200});
    ASSERT_TRUE(s.valid);
    for (PointF p : {PointF{100, 100}, PointF{500, 300}}) {
        const PointF towardsA = p + 0.1 * (PointF{a.x, a.y} - p), towardsB = p + 0.1 * (PointF{b.x, b.y} - p);
        EXPECT_NEAR(s.Map(p).y, s.Map(towardsA).y, 1e-6);
        EXPECT_NEAR(s.Map(p).x, s.Map(towardsB).x, 1e-6);
    }
}

// --- The grid's region ---

// A 6 x 6 grid of unit segments, with clutter of one family far off to the
// right and one segment that straightens to near infinity (seen by the
// undefined-behaviour check as an overflowing step count): the region is the
// grid's, a margin around it.
TEST(GridRegionTest, WhereBothFamiliesMeet) {
    std::vector<PointF> a, b;
    std::vector<int8_t> family;
    auto add = [&](PointF p, PointF q, int f) { a.push_back(p), b.push_back(q), family.push_back(int8_t(f)); };
    for (int i = 0; i <= 6; ++i)
        for (int j = 0; j < 6; ++j) {
            add({100.0 + 10 * j, 100.0 + 10 * i}, {110.0 + 10 * j, 100.0 + 10 * i}, 0);
            add({100.0 + 10 * i, 100.0 + 10 * j}, {100.0 + 10 * i, 110.0 + 10 * j}, 1);
        }
    for (int i = 0; i < 6; ++i) add({400, 100.0 + 10 * i}, {460, 100.0 + 10 * i}, 0);
    add({120, 130}, {6.0e15, 7.0e14}, 1);
    Box region;
    ASSERT_TRUE(FindGridRegion(a, b, family, region));
    EXPECT_LT(region.left, 102);
    EXPECT_GT(region.left, 80);
    EXPECT_GT(region.right, 158);
    EXPECT_LT(region.right, 200);
    EXPECT_LT(region.top, 102);
    EXPECT_GT(region.bottom, 158);
    EXPECT_LT(region.bottom, 200);
}

// --- Period and phase ---

// Teeth of a projective comb (spacing growing along it), each line seen as
// its two sides, among weak clutter halfway between: the comb with the
// lines' own spacing wins over the finer one, and every line has its tooth.
TEST(CombTest, PerspectiveSpacingWithTwoSidedLinesAndClutter) {
    std::vector<LineGroup> groups;
    std::vector<double> truth;
    for (int n = 0; n < 10; ++n) {
        const double x = (48.0 * n + 10) / (-0.02 * n + 1);
        truth.push_back(x);
        groups.push_back({x - 1.5, 200, -1, {}});
        groups.push_back({x + 1.5, 200, 1, {}});
        groups.push_back({x + 0.45 * 48, 12, 0, {}});
    }
    std::sort(groups.begin(), groups.end(), [](const LineGroup& a, const LineGroup& b) { return a.position < b.position; });
    const std::vector<LineGroup> lines = JoinSides(groups, 3.5, 5, 14);
    Comb comb;
    ASSERT_TRUE(FindComb(lines, 4, comb));
    std::vector<int> teeth;
    for (std::size_t k = 0; k < lines.size(); ++k)
        if (lines[k].weight > 100) teeth.push_back(comb.index[k]);
    ASSERT_EQ(teeth.size(), truth.size());
    for (std::size_t k = 1; k < teeth.size(); ++k) EXPECT_EQ(teeth[k], teeth[k - 1] + 1);
}

// The two sides of a thick line join; the lines of a fine grid, as near as
// the sides of a thick one, do not.
TEST(CombTest, SidesJoinButNeighbouringLinesDoNot) {
    const std::vector<LineGroup> thick = {{100, 50, -1, {}}, {110, 50, 1, {}}, {200, 50, -1, {}}, {210, 50, 1, {}}};
    EXPECT_EQ(JoinSides(thick, 3.5, 5, 14).size(), 2u);
    std::vector<LineGroup> fine;
    for (int k = 0; k < 8; ++k) fine.push_back({100.0 + 9 * k, 50, k % 2 ? 1.0 : -1.0, {}});
    EXPECT_EQ(JoinSides(fine, 3.5, 5, 14).size(), 8u);
}

// --- Growing ---

// The lattice fitted to segments lying on its lines is the lattice they
// were drawn from.
TEST(LatticeTest, FittedToSegmentsOnItsLines) {
    const Matrix3 truth{30, 4, 100, -3, 28, 90, 0.0004, 0.0002, 1};
    std::vector<EdgeSegment> segments;
    std::vector<SegmentPlace> places;
    for (int k = 0; k <= 6; ++k)
        for (int c = 0; c < 6; ++c) {
            for (int family = 0; family < 2; ++family) {
                EdgeSegment s;
                s.a = family == 0 ? ApplyToPoint(truth, c + 0.2, k) : ApplyToPoint(truth, k, c + 0.2);
                s.b = family == 0 ? ApplyToPoint(truth, c + 0.8, k) : ApplyToPoint(truth, k, c + 0.8);
                s.length = Distance(s.a, s.b);
                segments.push_back(s);
                places.push_back({family, k});
            }
        }
    Matrix3 fitted;
    ASSERT_TRUE(FitLatticeToSegments(segments, places, fitted));
    for (double i : {0.0, 3.5, 6.0})
        for (double j : {0.0, 2.5, 6.0}) {
            EXPECT_NEAR(ApplyToPoint(fitted, i, j).x, ApplyToPoint(truth, i, j).x, 1e-6);
            EXPECT_NEAR(ApplyToPoint(fitted, i, j).y, ApplyToPoint(truth, i, j).y, 1e-6);
        }
}

// The best rectangle holds the supported block and nothing of the
// unsupported margin around it.
TEST(LatticeTest, BestRectangleIsTheSupportedBlock) {
    SupportMap map;
    map.i0 = -2;
    map.j0 = -1;
    map.columns = 9;
    map.rows = 7;
    map.horizontal.assign(std::size_t(map.rows + 1) * map.columns, 0.1);
    map.vertical.assign(std::size_t(map.rows) * (map.columns + 1), 0.1);
    for (int j = 0; j <= 4; ++j)
        for (int i = 0; i < 5; ++i) map.h(i, j) = 0.95;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i <= 5; ++i) map.v(i, j) = 0.95;
    map.h(2, 2) = 0.0;  // a covered edge inside does not cut the block
    const IndexRect r = BestRectangle(map, 0.5);
    EXPECT_EQ(r.i0, 0);
    EXPECT_EQ(r.j0, 0);
    EXPECT_EQ(r.i1, 5);
    EXPECT_EQ(r.j1, 4);
}

// An edge along a drawn line is supported; one through noise or across
// scattered strokes is not.
TEST(LatticeTest, EdgeSupportSeesLinesNotNoise) {
    uint32_t state = 7;
    auto random = [&] {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1 << 24);
    };
    const GrayPlane picture = Picture(200, 120, [&](double, double y) {
        if (y < 60) return std::abs(y - 30) < 1.2 ? 60.0 : 200.0;  // a line at y = 30
        return 150 + 40 * random();                               // noise below
    });
    const GradientField g = ComputeGradients(picture);
    EXPECT_GT(EdgeSupport(g, {20, 30.6}, {180, 29.4}, 30, 40), 0.8);
    EXPECT_LT(EdgeSupport(g, {20, 90}, {180, 90}, 30, 40), 0.5);
}

// --- Refinement ---

// The crossings of a square-on ruled grid, started from a lattice a pixel
// and a half off, come out on the drawn lines' centres.
TEST(RefinementTest, CrossingsOnTheLineCentres) {
    const GrayPlane picture = RuledPicture(240, 30.3, 40.7, 20, 8, 2.2);
    const Matrix3 rough{20, 0, 31.8, 0, 20, 39.4, 0, 0, 1};
    Tones tones;
    const MeasuredCrossings m = RefineCrossings(picture, tones, rough, 0, 0, 8, 8);
    ASSERT_EQ(m.columns, 8);
    for (int j = 0; j <= 8; ++j)
        for (int i = 0; i <= 8; ++i) {
            const PointF p = m.crossings[std::size_t(j) * 9 + std::size_t(i)];
            EXPECT_NEAR(p.x, 30.3 + 20 * i, 0.1) << i << ", " << j;
            EXPECT_NEAR(p.y, 40.7 + 20 * j, 0.1) << i << ", " << j;
        }
    for (uint8_t lined : m.lined) EXPECT_EQ(lined, 0);
}

// A sudoku taken close up: cells of 60 pixels, thin lines 3 pixels wide,
// block lines 9 and the border 13, wider than a line of text beside a grid
// at the usual sizes. The border's crossings lie on its middle, not beside
// its inner side.
TEST(RefinementTest, WideBorderMeasuredAtItsMiddle) {
    constexpr double left = 50.4, top = 40.6, side = 60;
    const GrayPlane picture = Picture(470, 460, [](double x, double y) {
        auto ink = [](double t) {
            double best = 0;
            for (int k = 0; k <= 6; ++k) {
                const double width = k == 0 || k == 6 ? 13 : k == 3 ? 9 : 3;
                const double lo = std::max(t - 0.5, k * side - width / 2), hi = std::min(t + 0.5, k * side + width / 2);
                best = std::max(best, hi - lo);
            }
            return std::clamp(best, 0.0, 1.0);
        };
        const double u = x - left, v = y - top;
        if (u < -7 || v < -7 || u > 6 * side + 7 || v > 6 * side + 7) return 215.0;
        return 215.0 - 175.0 * std::max(ink(u), ink(v));
    });
    const Matrix3 rough{side, 0, left + 2, 0, side, top - 1.5, 0, 0, 1};
    int i0 = 0, j0 = 0, i1 = 6, j1 = 6;
    const Tones tones = ReadTones(picture, rough, i0, j0, i1, j1);
    ASSERT_EQ(tones.kind, GridKind::Ruled);
    const MeasuredCrossings m = RefineCrossings(picture, tones, rough, 0, 0, 6, 6);
    ASSERT_EQ(m.columns, 6);
    for (int j = 0; j <= 6; ++j)
        for (int i = 0; i <= 6; ++i) {
            const PointF p = m.crossings[std::size_t(j) * 7 + std::size_t(i)];
            EXPECT_NEAR(p.x, left + side * i, 0.5) << i << ", " << j;
            EXPECT_NEAR(p.y, top + side * j, 0.5) << i << ", " << j;
        }
}

// A lattice one ring too large around a chessboard on white paper: the
// board is found to be a chessboard and the ring is dropped. Also when a
// shadow lies on the margin left of the board's lower half: that column's
// squares then read light or neither tone, and one dark square reading
// light is no more than a piece would do, but none of its squares reads
// dark: it is no part of the board.
TEST(RefinementTest, ChessboardReadAndItsMarginLeftOut) {
    for (const bool shadow : {false, true}) {
        const GrayPlane picture = Picture(200, 200, [shadow](double x, double y) {
            const int i = int(std::floor((x - 40) / 20)), j = int(std::floor((y - 40) / 20));
            if (shadow && x < 40 && y >= 100) return 150;
            if (i < 0 || j < 0 || i >= 6 || j >= 6) return 230;
            return (i + j) % 2 ? 230 : 25;
        });
        const Matrix3 lattice{20, 0, 40, 0, 20, 40, 0, 0, 1};
        int i0 = -1, j0 = -1, i1 = 7, j1 = 7;
        const Tones tones = ReadTones(picture, lattice, i0, j0, i1, j1);
        ASSERT_EQ(tones.kind, GridKind::Chessboard) << shadow;
        EXPECT_EQ(tones.darkParity, 0) << shadow;
        FitChessboardExtent(picture, lattice, tones, i0, j0, i1, j1);
        EXPECT_EQ(i0, 0) << shadow;
        EXPECT_EQ(j0, 0) << shadow;
        EXPECT_EQ(i1, 6) << shadow;
        EXPECT_EQ(j1, 6) << shadow;
    }
}

// --- Finer lines ---

// Graph paper square-on: 4 x 3 cells of 50 pixels between thick dark lines,
// each cut into 5 x 5 by thin faint ones (`minorAcross`, `minorDown` say
// which of those are drawn); a dark blot in the middle of each cell when
// `blots`.
GrayPlane GraphPaper(bool minorAcross, bool minorDown, bool blots = false) {
    constexpr double left = 40, top = 30, side = 50;  // lines centred on pixels
    return Picture(300, 230, [=](double x, double y) {
        const double u = (x - left) / side, v = (y - top) / side;
        if (u < -0.1 || v < -0.1 || u > 4.1 || v > 3.1) return 215.0;
        auto near = [](double t, double step, double half) {
            return std::abs(t / step - std::round(t / step)) * step * 50 < half;
        };
        if ((near(u, 1, 1.3) && v > -0.03 && v < 3.03) || (near(v, 1, 1.3) && u > -0.03 && u < 4.03)) return 60.0;
        if ((minorAcross && near(u, 0.2, 0.5)) || (minorDown && near(v, 0.2, 0.5))) return 175.0;
        if (blots && std::hypot(u - std::floor(u) - 0.5, v - std::floor(v) - 0.5) < 0.12) return 70.0;
        return 215.0;
    });
}

std::vector<PointF> GraphPaperCrossings() {
    std::vector<PointF> c;
    for (int j = 0; j <= 3; ++j)
        for (int i = 0; i <= 4; ++i) c.push_back({40.0 + 50 * i, 30.0 + 50 * j});
    return c;
}

// The finest equal cut that shows in most cells, each way on its own; a blot
// in every cell's middle is no line.
TEST(SubdivisionTest, FinerLinesCountEachWay) {
    const std::vector<PointF> crossings = GraphPaperCrossings();
    Subdivision s = FindSubdivision(GraphPaper(true, true), crossings, 4, 3, true);
    EXPECT_EQ(s.columns, 5);
    EXPECT_EQ(s.rows, 5);
    s = FindSubdivision(GraphPaper(true, false), crossings, 4, 3, true);
    EXPECT_EQ(s.columns, 5);
    EXPECT_EQ(s.rows, 1);
    s = FindSubdivision(GraphPaper(false, false, true), crossings, 4, 3, true);
    EXPECT_EQ(s.columns, 1);
    EXPECT_EQ(s.rows, 1);
    // Light lines on dark paper read the same, told so.
    GrayPlane inverted = GraphPaper(true, true);
    for (int y = 0; y < inverted.height; ++y)
        for (int x = 0; x < inverted.width; ++x) inverted.at(x, y) = uint8_t(255 - inverted.at(x, y));
    s = FindSubdivision(inverted, crossings, 4, 3, false);
    EXPECT_EQ(s.columns, 5);
    EXPECT_EQ(s.rows, 5);
}

// The finer crossings of a lattice seen in perspective lie where its
// homography puts the fractions of a cell, shared sides included.
TEST(SubdivisionTest, FinerCrossingsFollowThePerspective) {
    const Matrix3 h{30, 4, 50, -3, 28, 40, 0.01, 0.004, 1};
    std::vector<PointF> crossings;
    for (int j = 0; j <= 2; ++j)
        for (int i = 0; i <= 3; ++i) crossings.push_back(ApplyToPoint(h, i, j));
    const std::vector<PointF> fine = SubdividedCrossings(crossings, 3, 2, {4, 3});
    ASSERT_EQ(fine.size(), std::size_t(13 * 7));
    for (int b = 0; b <= 6; ++b)
        for (int a = 0; a <= 12; ++a) {
            const PointF want = ApplyToPoint(h, a / 4.0, b / 3.0);
            EXPECT_NEAR(fine[std::size_t(b) * 13 + std::size_t(a)].x, want.x, 1e-3) << a << ", " << b;
            EXPECT_NEAR(fine[std::size_t(b) * 13 + std::size_t(a)].y, want.y, 1e-3) << a << ", " << b;
        }
}

// The finder names graph paper's finest cells, not its thick lines' blocks.
TEST(SubdivisionTest, FinderGivesTheFinestGrid) {
    const Lattice found = FindGrid(GraphPaper(true, true));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.columns, 20);
    EXPECT_EQ(found.rows, 15);
    if (found.columns == 20 && found.rows == 15)
        for (int j = 0; j <= 15; ++j)
            for (int i = 0; i <= 20; ++i) {
                EXPECT_NEAR(found.at(i, j).x, 40 + 10 * i, 0.3) << i << ", " << j;
                EXPECT_NEAR(found.at(i, j).y, 30 + 10 * j, 0.3) << i << ", " << j;
            }
}

// --- The finder on photographs ---

class QuarterTurnTest : public ::testing::TestWithParam<double> {};

// Whatever the turn of the grid on the picture, its cells are named as the
// rule says: the found crossings are the truth's of the same name.
TEST_P(QuarterTurnTest, NamesFollowTheUprightRule) {
    const photos::Photo photo = Make(photos::Scene::Table, 11, [&](photos::PhotoRequest& r) {
        r.rotationDegrees = GetParam();
        r.tiltDegrees = 15;
        r.columns = 6;
        r.rows = 4;
    });
    ExpectNamedLikeTruth(Find(photo), photo.truth);
}

INSTANTIATE_TEST_SUITE_P(Turns, QuarterTurnTest, ::testing::Values(8.0, 97.0, 183.0, 272.0));

struct PhotoCase {
    const char* name;
    photos::Scene scene;
    uint32_t seed;
    std::function<void(photos::PhotoRequest&)> set;
};

class FoundPhotoTest : public ::testing::TestWithParam<PhotoCase> {};

TEST_P(FoundPhotoTest, EveryCrossingNearItsTruth) {
    const PhotoCase& c = GetParam();
    const photos::Photo photo = Make(c.scene, c.seed, c.set);
    LuminancePicture decoded;
    const Lattice found = Find(photo, &decoded);
    ExpectNamedLikeTruth(found, photo.truth, 8.0 / decoded.source.scale);
    EXPECT_EQ(found.kind, photos::IsChessboard(c.scene) ? GridKind::Chessboard : GridKind::Ruled);
    EXPECT_GT(found.score, 0.7);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, FoundPhotoTest,
    ::testing::Values(
        PhotoCase{"perspective_chessboard", photos::Scene::Calibration, 3,
                  [](photos::PhotoRequest& r) { r.tiltDegrees = 40; }},
        PhotoCase{"light_lines_on_dark", photos::Scene::Sudoku, 5, [](photos::PhotoRequest& r) { r.inverted = true; }},
        PhotoCase{"grid_at_the_border", photos::Scene::Tiles, 2, [](photos::PhotoRequest& r) { r.touchesBorder = true; }},
        PhotoCase{"covered_cells", photos::Scene::Sudoku, 9, [](photos::PhotoRequest& r) { r.occluded = true; }},
        PhotoCase{"bent_page", photos::Scene::GraphPaper, 4, [](photos::PhotoRequest& r) { r.bent = true; }},
        // Pieces on squares of the board's outer rows, a black one on a light
        // square, a white one on a dark square.
        // A newspaper column beside the grid, its lines of text level with
        // the grid's rows.
        PhotoCase{"text_beside_the_grid", photos::Scene::Sudoku, 4095233939u,
                  [](photos::PhotoRequest& r) {
                      r.width = 1024;
                      r.height = 768;
                      r.distorted = true;
                  }},
        // Light grout on dark tiles against a light wall: the outer grout
        // line shows as a step at best.
        PhotoCase{"border_line_against_its_own_tone", photos::Scene::Tiles, 155798277u,
                  [](photos::PhotoRequest& r) { r.distorted = true; }},
        PhotoCase{"pieces_on_the_board", photos::Scene::GameBoard, 1832606529u,
                  [](photos::PhotoRequest& r) { r.occluded = true; }},
        PhotoCase{"large_picture", photos::Scene::Sudoku, 6,
                  [](photos::PhotoRequest& r) {
                      r.width = 4000;
                      r.height = 3000;
                  }}),
    [](const ::testing::TestParamInfo<PhotoCase>& info) { return std::string(info.param.name); });

// A game board in a noisy, blurred picture: the noise beside each blurred
// step between two squares reads as changes the other way beside it until
// the profile is smoothed.
TEST(FoundPhotoTest, NoisyBlurredBoard) {
    const photos::Photo photo = Make(photos::Scene::GameBoard, 2517248751u, [](photos::PhotoRequest& r) {
        r.width = 511;
        r.height = 992;
    });
    ASSERT_GT(photo.truth.conditions.noise, 4);
    ASSERT_GT(photo.truth.conditions.blur, 1.5);
    const Lattice found = Find(photo);
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.kind, GridKind::Chessboard);
    ASSERT_EQ(found.columns, photo.truth.columns);
    ASSERT_EQ(found.rows, photo.truth.rows);
    for (int j = 0; j <= photo.truth.rows; ++j)
        for (int i = 0; i <= photo.truth.columns; ++i)
            EXPECT_LT(CrossingError(found, photo.truth, i, j), 4) << i << ", " << j;
}

// A table in a noisy picture: a lattice with a line between every two of
// the table's (which finds "lines" in the noise of every cell, half as
// strong as the table's) is no grid; the table itself is.
TEST(FoundPhotoTest, NoLinesBetweenTheLinesInNoise) {
    const photos::Photo photo = Make(photos::Scene::Table, 1315565480u, [](photos::PhotoRequest& r) {
        r.width = 720;
        r.height = 1280;
        r.distorted = true;
    });
    ASSERT_GT(photo.truth.conditions.noise, 6);
    const Lattice found = Find(photo);
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.columns, photo.truth.columns);
    EXPECT_EQ(found.rows, photo.truth.rows);
}

// Graph paper at 320 x 240, cells 11 pixels wide: the search's lattice may
// lie two pixels off lines that close, and the first look must reach them.
TEST(FoundPhotoTest, SmallCellsOfASmallPicture) {
    const photos::Photo photo = Make(photos::Scene::GraphPaper, 2335896795u, [](photos::PhotoRequest& r) {
        r.width = 320;
        r.height = 240;
        r.inverted = true;
        r.occluded = true;
    });
    ASSERT_LT(photo.truth.LocalCellSide(photo.truth.columns / 2, photo.truth.rows / 2), 13);
    const Lattice found = Find(photo);
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.columns, photo.truth.columns);
    EXPECT_EQ(found.rows, photo.truth.rows);
}

// Tiles seen at 47 degrees: the far column of cells is a sliver a fifth as
// wide as the near one, and its edges across lie where the lines, carried
// on straight from the other cells, go (not where a bend read from those
// cells would carry them).
TEST(FoundPhotoTest, SliverOfAColumnUnderSteepPerspective) {
    const photos::Photo photo = Make(photos::Scene::Tiles, 2470313920u);
    ASSERT_GT(photo.truth.conditions.tiltDegrees, 45);
    const Lattice found = Find(photo);
    ASSERT_TRUE(found.found);
    ASSERT_EQ(found.columns * found.rows, photo.truth.columns * photo.truth.rows);
    ASSERT_EQ(found.columns, photo.truth.columns);
    for (int j = 0; j <= photo.truth.rows; ++j)
        for (int i = 0; i <= photo.truth.columns; ++i)
            EXPECT_LT(CrossingError(found, photo.truth, i, j), 0.25 * photo.truth.LocalCellSide(i, j)) << i << ", " << j;
}

// Pictures without a grid give none.
TEST(NoGridTest, NoLatticeWhereThereIsNoGrid) {
    for (photos::Scene scene : {photos::Scene::TextPage, photos::Scene::Street, photos::Scene::Bricks,
                                photos::Scene::LinedPaper, photos::Scene::Rectangles})
        for (uint32_t seed : {1u, 2u}) {
            const Lattice found = Find(Make(scene, seed));
            EXPECT_FALSE(found.found) << photos::SceneName(scene) << " " << seed;
            EXPECT_TRUE(found.crossings.empty());
        }
}

// Lines that happen to meet like a grid's give none: lined paper, whose
// "columns" found in its noise are much weaker than its rows, rectangles
// strewn about, whose edges near a lattice's crossings pull them every way,
// a page of text and a brick wall.
TEST(NoGridTest, NoLatticeFromLinesThatMeetByChance) {
    struct Case {
        photos::Scene scene;
        uint32_t seed;
        int width, height;
    };
    for (const Case& c : {Case{photos::Scene::LinedPaper, 3559042430u, 480, 640},
                          Case{photos::Scene::Rectangles, 3107173587u, 1080, 1920},
                          Case{photos::Scene::TextPage, 3946544875u, 640, 480},
                          Case{photos::Scene::Bricks, 523228322u, 1024, 768}}) {
        photos::PhotoRequest r;
        r.scene = c.scene;
        r.seed = c.seed;
        r.width = c.width;
        r.height = c.height;
        EXPECT_FALSE(Find(photos::MakePhoto(r)).found) << photos::SceneName(c.scene);
    }
}

// Pictures too small to hold a grid, flat ones and ones of one line give
// none, and quickly.
TEST(NoGridTest, TinyFlatAndOneLinePictures) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{5, 300}, std::pair{23, 23}, std::pair{300, 2}})
        EXPECT_FALSE(FindGrid(Picture(w, h, [](double, double) { return 128; })).found) << w << "x" << h;
    EXPECT_FALSE(FindGrid(Picture(400, 300, [](double, double) { return 255; })).found);
    EXPECT_FALSE(FindGrid(Picture(400, 300, [](double x, double) { return std::abs(x - 200) < 2 ? 0 : 255; })).found);
}

// The search stops at the first pause when told to.
TEST(FindGridTest, StopsAtAPause) {
    const GrayPlane picture = RuledPicture(300, 40, 40, 25, 8, 2);
    struct Stop {};
    int pauses = 0;
    const WorkHooks hooks{{}, [&] {
                              if (++pauses == 2) throw Stop{};
                          }};
    EXPECT_THROW(FindGrid(picture, hooks), Stop);
    EXPECT_EQ(pauses, 2);
}

// --- Around the lattice ---

TEST(LatticeToolsTest, CellNamesBeyondZ) {
    EXPECT_EQ(CellName(1, 1), "A1");
    EXPECT_EQ(CellName(26, 40), "Z40");
    EXPECT_EQ(CellName(27, 3), "[3");
}

// The file's pixels from the working picture's at 2/8: every crossing and
// the homography follow (c + 0.5) * 4 - 0.5.
TEST(LatticeToolsTest, SourcePixelsAtAScale) {
    Lattice l;
    l.found = true;
    l.columns = l.rows = 1;
    l.crossings = {{10, 20}, {30, 20}, {10, 40}, {30.5, 41}};
    l.homography.h = {20, 0, 10, 0, 20, 20, 0, 0, 1};
    const Lattice s = ToSourcePixels(l, 2);
    EXPECT_DOUBLE_EQ(s.at(1, 1).x, 123.5);
    EXPECT_DOUBLE_EQ(s.at(1, 1).y, 165.5);
    const PointF mapped = s.homography.Map(1, 1);
    EXPECT_NEAR(mapped.x, (30 + 0.5) * 4 - 0.5, 1e-9);
    EXPECT_NEAR(mapped.y, (40 + 0.5) * 4 - 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(s.homography.h[8], 1.0);
}

// The cell under a point, and none outside; a straightened cell shows what
// the picture holds in that cell.
TEST(LatticeToolsTest, CellUnderAPointAndStraightenedCells) {
    Lattice l;
    l.found = true;
    l.columns = 2;
    l.rows = 1;
    l.crossings = {{10, 10}, {50, 12}, {90, 14}, {12, 50}, {52, 52}, {92, 54}};
    int column = 0, row = 0;
    ASSERT_TRUE(CellAt(l, 70, 30, column, row));
    EXPECT_EQ(column, 2);
    EXPECT_EQ(row, 1);
    EXPECT_FALSE(CellAt(l, 5, 30, column, row));

    const GrayPlane picture = Picture(100, 60, [](double x, double) { return x < 51 ? 30 : 220; });
    const GrayPlane left = StraightenCell(picture, l, 1, 1, 20), right = StraightenCell(picture, l, 2, 1, 20);
    EXPECT_LT(left.at(10, 10), 40);
    EXPECT_GT(right.at(10, 10), 210);
    const GrayPlane whole = StraightenGrid(picture, l, 20);
    EXPECT_EQ(whole.width, 40);
    EXPECT_EQ(whole.height, 20);
    EXPECT_EQ(StraightenedCellSide(l, 1, 1), 40);
}

}  // namespace
}  // namespace vexo::grid

// --- The command in the workbench ---

namespace vexo {
namespace {

namespace photos = vexo::gridphotos;

struct PhotoBench {
    MemoryScreen screen;
    Workbench wb{screen};

    explicit PhotoBench(const photos::Photo& photo) {
        screen.keepDisplay = true;
        auto decoder = std::make_unique<JpegDecoder>(photo.jpeg, false);
        decoder->ReadHeader();
        decoder->DecodeBitmap();
        wb.LoadDecoded(std::move(decoder), "/pics/photo.jpg");
    }
};

// Find Grid draws its lattice on the displayed picture and changes nothing
// else: no plane, mark, caption, readout, log line or progress.
TEST(FindGridCommandTest, DrawsAndChangesNothingElse) {
    photos::PhotoRequest r;
    r.scene = photos::Scene::Sudoku;
    r.seed = 3;
    r.width = 640;
    r.height = 480;
    r.occluded = false;
    PhotoBench bench(photos::MakePhoto(r));
    ImageState& image = bench.wb.image();
    const std::vector<uint8_t> plane0(image.planes[0].begin(), image.planes[0].begin() + image.planes[0].size());
    const std::vector<uint8_t> display = bench.screen.display;
    const std::string caption = bench.screen.caption;
    const std::size_t logSize = bench.screen.log.size();
    const int maximum = bench.wb.progress().maximum(), position = bench.wb.progress().position();

    bench.wb.FindGridClick();

    const FindGridRecord& record = bench.wb.lastFindGrid();
    ASSERT_TRUE(record.lattice.found);
    EXPECT_EQ(record.lattice.columns, 9);
    EXPECT_FALSE(record.cancelled);
    EXPECT_TRUE(std::equal(plane0.begin(), plane0.end(), image.planes[0].begin()));
    EXPECT_TRUE(std::all_of(image.marks.begin(), image.marks.begin() + image.marks.size(), [](uint8_t m) { return m == 0; }));
    EXPECT_EQ(bench.screen.caption, caption);
    EXPECT_EQ(bench.screen.log.size(), logSize);
    EXPECT_EQ(bench.wb.progress().maximum(), maximum);
    EXPECT_EQ(bench.wb.progress().position(), position);
    EXPECT_FALSE(bench.wb.busy());
    EXPECT_NE(bench.screen.display, display);  // the lattice is drawn
    ASSERT_EQ(bench.screen.texts.size(), 81u);  // and every cell's name
    EXPECT_EQ(bench.screen.texts.front().text, "A1");
    EXPECT_GT(bench.screen.texts.front().pixels, 0);

    // The report's cells: row by row, corners rounded from the crossings.
    const std::vector<Cell> cells = LatticeCells(record);
    ASSERT_EQ(cells.size(), 81u);
    EXPECT_EQ(cells[9].label, "A2");
    EXPECT_EQ(cells[0].tl->x, static_cast<int32_t>(std::nearbyint(record.lattice.at(0, 0).x)));
    EXPECT_EQ(cells[80].source->br.y, static_cast<int32_t>(std::nearbyint(record.source.at(9, 9).y)));
}

// Cancel during the search: nothing is drawn and the record says so; without
// a picture nothing happens at all.
TEST(FindGridCommandTest, CancelledAndWithoutAPicture) {
    photos::PhotoRequest r;
    r.scene = photos::Scene::Calibration;
    r.seed = 2;
    r.width = 640;
    r.height = 480;
    PhotoBench bench(photos::MakePhoto(r));
    bench.wb.SetPumpInterval(std::chrono::steady_clock::duration::zero());
    const std::vector<uint8_t> display = bench.screen.display;
    Workbench* wb = &bench.wb;
    bench.screen.pumpHooks.push_back([](void* context) { static_cast<Workbench*>(context)->Cancel(); });
    bench.screen.pumpHookContext = wb;
    bench.wb.FindGridClick();
    EXPECT_TRUE(bench.wb.lastFindGrid().cancelled);
    EXPECT_FALSE(bench.wb.lastFindGrid().lattice.found);
    EXPECT_EQ(bench.screen.display, display);
    EXPECT_FALSE(bench.wb.busy());

    MemoryScreen screen;
    Workbench empty(screen);
    empty.FindGridClick();
    EXPECT_EQ(empty.lastFindGrid().sequence, 0u);
    EXPECT_TRUE(screen.messages.empty());
}

}  // namespace
}  // namespace vexo
