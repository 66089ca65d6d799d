// The generated pictures' truth, which the accuracy benchmark trusts: the
// naming (every quarter turn, perspective), the crossings on the lines and
// squares actually drawn (the line's centre beside each ruled crossing, the
// saddle of each chessboard crossing, the board's outer corners), the
// homography, the JSON, and the same bytes from the same seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "grid_photos/grid_photos.h"

namespace vexo::gridphotos {
namespace {

constexpr double kPi = 3.14159265358979323846;

// --- Naming ---

struct Turn {
    double degrees;
    int columns, rows;
};

// A grid drawn turned by `degrees` (clockwise on the picture, whose y axis
// points down), 20 pixels a cell, about the point (300, 300).
std::function<Point(double, double)> Turned(double degrees) {
    const double c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180);
    return [=](double a, double b) { return Point{300 + 20 * (c * a - s * b), 300 + 20 * (s * a + c * b)}; };
}

class NamingTest : public testing::TestWithParam<double> {};

// Whatever the turn, [0][0] is the top-left corner, columns run to the
// right and rows downwards, and a turn by an odd number of quarters swaps
// the counts.
TEST_P(NamingTest, TopLeftFirstColumnsRightRowsDown) {
    const double degrees = GetParam();
    for (const auto& [columns, rows] : {std::pair{6, 6}, std::pair{7, 3}}) {
        const NamedCrossings n = NameCrossings(columns, rows, Turned(degrees));
        const int quarters = int(std::lround(degrees / 90.0)) % 4;
        EXPECT_EQ(n.columns, quarters % 2 ? rows : columns) << degrees;
        EXPECT_EQ(n.rows, quarters % 2 ? columns : rows) << degrees;
        ASSERT_EQ(n.crossings.size(), std::size_t(columns + 1) * std::size_t(rows + 1));
        auto at = [&](int i, int j) { return n.crossings[std::size_t(j) * (n.columns + 1) + i]; };
        const Point o = at(0, 0), right = at(1, 0), down = at(0, 1);
        // The steps along i and j point within 45 degrees of +x and +y.
        EXPECT_GT(right.x - o.x, std::fabs(right.y - o.y)) << degrees;
        EXPECT_GT(down.y - o.y, std::fabs(down.x - o.x)) << degrees;
        if (columns == rows) {
            // A square's top-left corner has the least x + y of its corners.
            const Point corners[] = {at(n.columns, 0), at(0, n.rows), at(n.columns, n.rows)};
            for (const Point& c : corners) EXPECT_LT(o.x + o.y, c.x + c.y) << degrees;
        }
        // Every crossing is a crossing of the drawn grid (a whole number of cells).
        for (const Point& p : n.crossings) {
            const double c = std::cos(-degrees * kPi / 180), s = std::sin(-degrees * kPi / 180);
            const double a = (c * (p.x - 300) - s * (p.y - 300)) / 20, b = (s * (p.x - 300) + c * (p.y - 300)) / 20;
            EXPECT_NEAR(a, std::round(a), 1e-9);
            EXPECT_NEAR(b, std::round(b), 1e-9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(QuarterTurnsAndBetween, NamingTest,
                         testing::Values(0.0, 20.0, -30.0, 90.0, 70.0, 125.0, 180.0, 160.0, 215.0, 270.0, 250.0, 300.0));

// Seen in strong perspective (the far side a third as wide), a grid turned
// by a quarter is still named from its top-left corner, mirror-free.
TEST(NamingTest, PerspectiveKeepsTheRule) {
    // A homography: the drawn grid's b axis runs to the left, its a axis
    // down the picture, shrinking toward the left.
    auto project = [](double a, double b) {
        const double x = -40 * b, y = 40 * a, w = 1 + 0.05 * b;
        return Point{400 + x / w, 100 + y / w};
    };
    const NamedCrossings n = NameCrossings(5, 8, project);
    EXPECT_EQ(n.columns, 8);
    EXPECT_EQ(n.rows, 5);
    auto at = [&](int i, int j) { return n.crossings[std::size_t(j) * (n.columns + 1) + i]; };
    // [0][0] is the drawn (0, 8): the left end of the top row.
    EXPECT_NEAR(at(0, 0).x, project(0, 8).x, 1e-9);
    EXPECT_NEAR(at(0, 0).y, project(0, 8).y, 1e-9);
    for (int j = 0; j <= n.rows; ++j)
        for (int i = 0; i < n.columns; ++i) EXPECT_GT(at(i + 1, j).x, at(i, j).x);
    for (int j = 0; j < n.rows; ++j)
        for (int i = 0; i <= n.columns; ++i) EXPECT_GT(at(i, j + 1).y, at(i, j).y);
}

// --- The rendered pictures ---

struct Picture {
    const Truth& truth;
    const std::vector<uint8_t>& gray;

    double At(double x, double y) const {
        const int w = truth.width, h = truth.height;
        x = std::clamp(x, 0.0, w - 1.001);
        y = std::clamp(y, 0.0, h - 1.001);
        const int x0 = int(x), y0 = int(y);
        const double tx = x - x0, ty = y - y0;
        auto g = [&](int u, int v) { return double(gray[std::size_t(v) * w + u]); };
        return (g(x0, y0) * (1 - tx) + g(x0 + 1, y0) * tx) * (1 - ty) + (g(x0, y0 + 1) * (1 - tx) + g(x0 + 1, y0 + 1) * tx) * ty;
    }
};

PhotoRequest Plain(Scene scene, uint32_t seed, double rotation, double tilt, int width = 640, int height = 480) {
    PhotoRequest q;
    q.scene = scene;
    q.seed = seed;
    q.width = width;
    q.height = height;
    q.rotationDegrees = rotation;
    q.tiltDegrees = tilt;
    q.occluded = false;
    q.distorted = false;
    q.bent = false;
    q.blur = 0.6;
    q.noise = 1.0;
    return q;
}

// How far the middle of each ruled line between two neighbouring crossings
// lies from where the truth puts it: across the line, halfway between the
// crossings, the centre of the ink stronger than half its peak (so that
// digits, text and shading beside the line do not count), against the
// segment between the crossings.
struct Offsets {
    std::vector<double> inner, outer;  // lines inside the grid, and its border
};

Offsets LineOffsets(const Photo& photo) {
    const Truth& t = photo.truth;
    const Picture picture{t, photo.gray};
    const bool light = t.conditions.inverted;
    Offsets offsets;
    auto measure = [&](Point a, Point b, bool outer) {
        const double mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const double nx = -(b.y - a.y) / len, ny = (b.x - a.x) / len;
        const double step = 0.125, reach = 0.4 * len;
        std::vector<double> v;
        for (double s = -reach; s <= reach; s += step) v.push_back(picture.At(mx + s * nx, my + s * ny));
        // The ground: the lesser of the two sides' paper (the greater of
        // their darkness for light lines).
        const std::size_t n = v.size(), shoulder = std::size_t(0.1 * len / step);
        const auto left = v.begin() + std::ptrdiff_t(n / 2 - shoulder), right = v.begin() + std::ptrdiff_t(n / 2 + shoulder);
        const double ground = light ? std::max(*std::min_element(v.begin(), left), *std::min_element(right, v.end()))
                                    : std::min(*std::max_element(v.begin(), left), *std::max_element(right, v.end()));
        std::vector<double> ink;
        for (double x : v) ink.push_back(std::max(0.0, light ? x - ground : ground - x));
        const int middle = int(v.size() / 2), near = int(0.08 * len / step);
        int peak = middle;
        for (int k = middle - near; k <= middle + near; ++k)
            if (ink[std::size_t(k)] > ink[std::size_t(peak)]) peak = k;
        const double half = ink[std::size_t(peak)] / 2;
        int lo = peak, hi = peak;
        while (lo > 0 && ink[std::size_t(lo - 1)] > half) --lo;
        while (hi + 1 < int(ink.size()) && ink[std::size_t(hi + 1)] > half) ++hi;
        double sum = 0, weight = 0;
        for (int k = lo; k <= hi; ++k) {
            const double w = ink[std::size_t(k)] - half;
            sum += w * (-reach + step * k);
            weight += w;
        }
        (outer ? offsets.outer : offsets.inner).push_back(std::fabs(weight > 0 ? sum / weight : 1e9));
    };
    for (int j = 0; j <= t.rows; ++j)
        for (int i = 0; i <= t.columns; ++i) {
            if (i < t.columns) measure(t.at(i, j), t.at(i + 1, j), j == 0 || j == t.rows);
            if (j < t.rows) measure(t.at(i, j), t.at(i, j + 1), i == 0 || i == t.columns);
        }
    std::sort(offsets.inner.begin(), offsets.inner.end());
    std::sort(offsets.outer.begin(), offsets.outer.end());
    return offsets;
}

struct RuledCase {
    Scene scene;
    uint32_t seed;
    double rotation, tilt;
    bool inverted;
    bool sameGroundOutside = true;  // false: the border's outside is a wall or trim
    bool distorted = false, bent = false;
    int width = 640, height = 480;  // above 600,000 pixels one sample a pixel, else four
};

class RuledTruthTest : public testing::TestWithParam<RuledCase> {};

// The ruled lines run through the truth's crossings: the ink's centre across
// each inner line, halfway between two crossings, is within a few hundredths
// of a pixel of the segment between them on most lines and within a third
// of a pixel on nearly all (a pencil stroke may cross one); the border's
// lines within half a pixel on most, where the ground outside them is the
// ground inside (not a wall beside tiles).
TEST_P(RuledTruthTest, CrossingsLieOnTheDrawnLines) {
    const RuledCase c = GetParam();
    PhotoRequest q = Plain(c.scene, c.seed, c.rotation, c.tilt, c.width, c.height);
    q.inverted = c.inverted;
    q.distorted = c.distorted;
    q.bent = c.bent;
    const Photo photo = MakePhoto(q);
    ASSERT_TRUE(photo.truth.hasGrid);
    ASSERT_FALSE(photo.truth.chessboard);
    ASSERT_EQ(photo.truth.conditions.distorted, c.distorted);
    ASSERT_EQ(photo.truth.conditions.bent, c.bent);
    const Offsets o = LineOffsets(photo);
    EXPECT_LT(o.inner[o.inner.size() / 2], 0.1);
    EXPECT_LT(o.inner[o.inner.size() * 95 / 100], 0.3);
    if (c.sameGroundOutside) {
        EXPECT_LT(o.outer[o.outer.size() / 2], 0.5);
    }
}

// A truth one pixel off is caught: the same measurement against crossings
// moved by a pixel finds the lines a pixel away.
TEST(RuledTruthTest, MeasurementSeesAMisplacedTruth) {
    Photo photo = MakePhoto(Plain(Scene::Sudoku, 3, 10, 10));
    for (Point& p : photo.truth.crossings) p.x += 1.0, p.y += 1.0;
    const Offsets o = LineOffsets(photo);
    EXPECT_GT(o.inner[o.inner.size() / 2], 0.5);
    EXPECT_GT(o.outer[o.outer.size() / 2], 0.5);
}

INSTANTIATE_TEST_SUITE_P(Scenes, RuledTruthTest,
                         testing::Values(RuledCase{Scene::Sudoku, 1, 5, 20, false},
                                         RuledCase{Scene::Sudoku, 2, 130, 40, true},
                                         RuledCase{Scene::GraphPaper, 3, 250, 30, false},
                                         RuledCase{Scene::GraphPaper, 4, 10, 10, true},
                                         RuledCase{Scene::Table, 5, 95, 25, false},
                                         RuledCase{Scene::Tiles, 6, 340, 35, false, false},
                                         RuledCase{Scene::Tiles, 7, 185, 15, true, false},
                                         // Curved lines: the truth goes through the same lens and bend.
                                         RuledCase{Scene::Sudoku, 8, 60, 30, false, true, true, false},
                                         RuledCase{Scene::GraphPaper, 9, 300, 20, false, true, true, true},
                                         RuledCase{Scene::Table, 10, 170, 35, false, true, false, true},
                                         RuledCase{Scene::Sudoku, 11, 20, 25, false, true, false, false, 1024, 768},
                                         RuledCase{Scene::GraphPaper, 12, 110, 40, false, true, true, true, 1024, 768}),
                         [](const testing::TestParamInfo<RuledCase>& info) {
                             const RuledCase& c = info.param;
                             return std::string(SceneName(c.scene)) + (c.inverted ? "_inverted" : "") +
                                    (c.distorted ? "_lens" : "") + (c.bent ? "_bent" : "") +
                                    (c.width > 640 ? "_" + std::to_string(c.width) : "") + "_" + std::to_string(info.index);
                         });

// The corner a gradient points at: the point q that minimises the sum, over
// a window, of (g . (q - p))^2 for the gradients g at the pixels p - the
// saddle of a chessboard crossing, or the tip of a square's corner.
Point RefineCorner(const Picture& picture, Point start, double half) {
    Point q = start;
    for (int iteration = 0; iteration < 20; ++iteration) {
        double a = 0, b = 0, c = 0, bx = 0, by = 0;
        for (double dy = -half; dy <= half; dy += 1)
            for (double dx = -half; dx <= half; dx += 1) {
                const double x = q.x + dx, y = q.y + dy;
                const double gx = (picture.At(x + 1, y) - picture.At(x - 1, y)) / 2;
                const double gy = (picture.At(x, y + 1) - picture.At(x, y - 1)) / 2;
                const double w = std::exp(-(dx * dx + dy * dy) / (half * half));
                a += w * gx * gx, b += w * gx * gy, c += w * gy * gy;
                bx += w * (gx * gx * x + gx * gy * y);
                by += w * (gx * gy * x + gy * gy * y);
            }
        const double det = a * c - b * b;
        if (std::fabs(det) < 1e-9) break;
        const Point next{(c * bx - b * by) / det, (a * by - b * bx) / det};
        const double step = std::hypot(next.x - q.x, next.y - q.y);
        q = next;
        if (step < 1e-3) break;
    }
    return q;
}

// Light-dark changes on a circle around p (a saddle has four, a board's
// outer corner two or none, its edge two), none when the circle is flat.
int Changes(const Picture& picture, Point p, double radius) {
    std::vector<double> ring;
    for (int k = 0; k < 48; ++k)
        ring.push_back(picture.At(p.x + radius * std::cos(2 * kPi * k / 48), p.y + radius * std::sin(2 * kPi * k / 48)));
    const double lo = *std::min_element(ring.begin(), ring.end()), hi = *std::max_element(ring.begin(), ring.end());
    if (hi - lo < 40) return 0;
    int changes = 0;
    for (std::size_t k = 0; k < ring.size(); ++k)
        changes += (ring[k] > (lo + hi) / 2) != (ring[(k + 1) % ring.size()] > (lo + hi) / 2);
    return changes;
}

// A calibration board's crossings: every inner crossing is a saddle of the
// picture where the truth puts it; the crossings of the board's edge have
// the margin on one side (two changes around them, not four), and its
// corners are the corners of its outer squares: where the corner square is
// dark, its corner is where the truth says.
TEST(ChessboardTruthTest, SaddlesEdgesAndOuterCorners) {
    struct Case {
        uint32_t seed;
        double rotation, tilt;
        int width, height;
        bool distorted;
    };
    for (const Case& c : {Case{11, 15, 25, 640, 480, false}, Case{12, 200, 40, 640, 480, false},
                          Case{13, 95, 10, 640, 480, true}, Case{14, 300, 35, 1280, 960, true}}) {
        const uint32_t seed = c.seed;
        PhotoRequest q = Plain(Scene::Calibration, seed, c.rotation, c.tilt, c.width, c.height);
        q.distorted = c.distorted;
        q.columns = 10;
        q.rows = 7;
        q.inverted = false;
        const Photo photo = MakePhoto(q);
        const Truth& t = photo.truth;
        const Picture picture{t, photo.gray};
        ASSERT_TRUE(t.chessboard);
        ASSERT_EQ(t.columns * t.rows, 70);
        ASSERT_EQ(t.crossings.size(), 88u);
        std::vector<double> moves;
        int darkCorners = 0;
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i) {
                const Point p = t.at(i, j);
                const double side = t.LocalCellSide(i, j);
                const bool edgeI = i == 0 || i == t.columns, edgeJ = j == 0 || j == t.rows;
                const int changes = Changes(picture, p, 0.3 * side);
                if (!edgeI && !edgeJ) {
                    EXPECT_EQ(changes, 4) << "(" << i << ", " << j << "), seed " << seed;
                    const Point r = RefineCorner(picture, p, std::max(2.0, 0.2 * side));
                    moves.push_back(std::hypot(r.x - p.x, r.y - p.y));
                } else if (edgeI != edgeJ) {
                    EXPECT_EQ(changes, 2) << "(" << i << ", " << j << "), seed " << seed;
                } else {
                    EXPECT_TRUE(changes == 0 || changes == 2) << "(" << i << ", " << j << "), seed " << seed;
                    if (changes == 2) {
                        ++darkCorners;
                        const Point r = RefineCorner(picture, p, std::max(2.0, 0.15 * side));
                        EXPECT_LT(std::hypot(r.x - p.x, r.y - p.y), 0.4) << "(" << i << ", " << j << "), seed " << seed;
                    }
                }
            }
        std::sort(moves.begin(), moves.end());
        EXPECT_LT(moves[moves.size() / 2], 0.1) << seed;
        EXPECT_LT(moves.back(), 0.4) << seed;
        // A board of 10 x 7 squares has two dark corners.
        EXPECT_EQ(darkCorners, 2) << seed;
    }
}

// What covers a crossing is where the flags say: the same picture made
// without the things in front of the grid differs near every covered
// crossing (within the fifth of a cell the flag looks at), and not at all
// near the crossings far from every covered one.
TEST(OcclusionTruthTest, CoveredCrossingsAreUnderSomething) {
    for (const auto& [scene, seed] : {std::pair{Scene::GameBoard, 41u}, std::pair{Scene::Sudoku, 42u}, std::pair{Scene::Calibration, 43u}}) {
        PhotoRequest q = Plain(scene, seed, 10, 20);
        q.occluded = true;
        const Photo covered = MakePhoto(q);
        q.occluded = false;
        const Photo bare = MakePhoto(q);
        const Truth& t = covered.truth;
        ASSERT_EQ(t.crossings.size(), bare.truth.crossings.size());
        ASSERT_TRUE(t.conditions.occluded) << SceneName(scene);
        auto differs = [&](Point p, double radius) {
            double most = 0;
            for (int y = int(p.y - radius); y <= int(p.y + radius) + 1; ++y)
                for (int x = int(p.x - radius); x <= int(p.x + radius) + 1; ++x) {
                    if (x < 0 || y < 0 || x >= t.width || y >= t.height || std::hypot(x - p.x, y - p.y) > radius) continue;
                    const std::size_t k = std::size_t(y) * t.width + x;
                    most = std::max(most, std::fabs(double(covered.gray[k]) - double(bare.gray[k])));
                }
            return most;
        };
        int flagged = 0, far = 0;
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i) {
                const Point p = t.at(i, j);
                const double side = t.LocalCellSide(i, j);
                if (t.coveredAt(i, j)) {
                    ++flagged;
                    EXPECT_GT(differs(p, 0.2 * side + 1), 10) << SceneName(scene) << " (" << i << ", " << j << ")";
                    continue;
                }
                bool clear = true;
                for (int b = 0; b <= t.rows; ++b)
                    for (int a = 0; a <= t.columns; ++a)
                        if (t.coveredAt(a, b) && std::hypot(t.at(a, b).x - p.x, t.at(a, b).y - p.y) < 3 * side) clear = false;
                if (clear) {
                    ++far;
                    EXPECT_LT(differs(p, 0.3 * side), 1) << SceneName(scene) << " (" << i << ", " << j << ")";
                }
            }
        EXPECT_GT(flagged, 0);
        EXPECT_GT(far, 0) << SceneName(scene);
    }
}

// The homography maps grid coordinates onto the crossings: exactly for a
// flat page and a straight lens, at every turn of the naming.
TEST(TruthHomographyTest, MapsGridCoordinatesToCrossings) {
    for (double rotation : {0.0, 100.0, 190.0, 280.0}) {
        const Photo photo = MakePhoto(Plain(Scene::Table, 21, rotation, 30));
        const Truth& t = photo.truth;
        const auto& h = t.homography;
        EXPECT_DOUBLE_EQ(h[8], 1.0);
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i) {
                const double w = h[6] * i + h[7] * j + h[8];
                EXPECT_NEAR((h[0] * i + h[1] * j + h[2]) / w, t.at(i, j).x, 1e-6) << rotation;
                EXPECT_NEAR((h[3] * i + h[4] * j + h[5]) / w, t.at(i, j).y, 1e-6) << rotation;
            }
        EXPECT_LT(t.conditions.bendResidual, 1e-6);
    }
}

// --- Judging a found lattice ---

// A lattice is named right when it has the truth's C x R and each crossing
// lies within a quarter of its local cell side of the truth's; the same
// crossings turned half round, read column by column, or one of them a cell
// off are wrong.
TEST(JudgeTest, RightNamesOnlyAtTheRightIndices) {
    PhotoRequest q = Plain(Scene::Table, 51, 5, 25);
    q.columns = 6;
    q.rows = 3;
    const Truth t = MakePhoto(q).truth;
    ASSERT_EQ(t.columns, 6);
    ASSERT_EQ(t.rows, 3);
    const Verdict same = Judge(t, t.columns, t.rows, t.crossings);
    EXPECT_TRUE(same.rightNames);
    EXPECT_EQ(same.worstError, 0);
    EXPECT_EQ(same.errors.size(), t.crossings.size());

    auto moved = [&](double share) {
        std::vector<Point> c = t.crossings;
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i) c[std::size_t(j) * (t.columns + 1) + i].x += share * t.LocalCellSide(i, j);
        return c;
    };
    EXPECT_TRUE(Judge(t, t.columns, t.rows, moved(0.2)).rightNames);
    EXPECT_FALSE(Judge(t, t.columns, t.rows, moved(0.3)).rightNames);
    EXPECT_TRUE(Judge(t, t.columns, t.rows, moved(0.3)).rightSize);

    std::vector<Point> turned(t.crossings.rbegin(), t.crossings.rend());
    EXPECT_FALSE(Judge(t, t.columns, t.rows, turned).rightNames);

    std::vector<Point> byColumns;
    for (int i = 0; i <= t.columns; ++i)
        for (int j = 0; j <= t.rows; ++j) byColumns.push_back(t.at(i, j));
    EXPECT_FALSE(Judge(t, t.rows, t.columns, byColumns).rightSize);

    std::vector<Point> oneOff = t.crossings;
    oneOff[5] = t.at(6, 0);
    const Verdict off = Judge(t, t.columns, t.rows, oneOff);
    EXPECT_TRUE(off.rightSize);
    EXPECT_FALSE(off.rightNames);
    EXPECT_NEAR(off.worstError, std::hypot(t.at(6, 0).x - t.at(5, 0).x, t.at(6, 0).y - t.at(5, 0).y), 1e-9);
}

// --- Files ---

// The same request gives the same bytes; another seed another picture.
TEST(GridPhotosTest, SameSeedSameBytes) {
    PhotoRequest q;
    q.scene = Scene::GameBoard;
    q.seed = 77;
    q.width = 400;
    q.height = 300;
    const Photo a = MakePhoto(q), b = MakePhoto(q);
    EXPECT_EQ(a.jpeg, b.jpeg);
    EXPECT_EQ(TruthJson(a.truth, "x.jpg"), TruthJson(b.truth, "x.jpg"));
    q.seed = 78;
    EXPECT_NE(MakePhoto(q).jpeg, a.jpeg);
}

// The JSON holds crossings[j][i] as the truth has them, with the covered
// flags in the same shape.
TEST(GridPhotosTest, JsonRowsAreRowsOfCrossings) {
    PhotoRequest q = Plain(Scene::Table, 31, 0, 20);
    q.columns = 5;
    q.rows = 3;
    q.occluded = true;
    const Photo photo = MakePhoto(q);
    const Truth& t = photo.truth;
    const nlohmann::json j = nlohmann::json::parse(TruthJson(t, "p.jpg"));
    ASSERT_EQ(j["crossings"].size(), std::size_t(t.rows + 1));
    ASSERT_EQ(j["covered"].size(), std::size_t(t.rows + 1));
    for (int r = 0; r <= t.rows; ++r) {
        ASSERT_EQ(j["crossings"][r].size(), std::size_t(t.columns + 1));
        for (int i = 0; i <= t.columns; ++i) {
            EXPECT_NEAR(j["crossings"][r][i][0].get<double>(), t.at(i, r).x, 1e-4);
            EXPECT_NEAR(j["crossings"][r][i][1].get<double>(), t.at(i, r).y, 1e-4);
            EXPECT_EQ(j["covered"][r][i].get<bool>(), t.coveredAt(i, r));
        }
    }
    EXPECT_EQ(j["conditions"]["occluded"], t.conditions.occluded);
}

TEST(GridPhotosTest, RequestsThatCannotBeMetAreRefused) {
    PhotoRequest q;
    q.scene = Scene::Sudoku;
    q.columns = 1;
    EXPECT_THROW(MakePhoto(q), std::invalid_argument);
    q.columns = 41;
    EXPECT_THROW(MakePhoto(q), std::invalid_argument);
    q.columns.reset();
    q.width = 8;
    EXPECT_THROW(MakePhoto(q), std::invalid_argument);
    PhotoRequest street;
    street.scene = Scene::Street;
    street.rows = 4;
    EXPECT_THROW(MakePhoto(street), std::invalid_argument);
}

}  // namespace
}  // namespace vexo::gridphotos
