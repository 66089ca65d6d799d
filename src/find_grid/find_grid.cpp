#include "find_grid/find_grid.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <chrono>
#include <cstdlib>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "core/label_text.h"
#include "find_grid/crossing_refinement.h"
#include "find_grid/edge_segments.h"
#include "find_grid/grid_region.h"
#include "find_grid/lattice.h"
#include "find_grid/lattice_period.h"
#include "find_grid/line_families.h"
#include "find_grid/subdivision.h"

namespace vexo {

const char* GridKindName(GridKind kind) { return kind == GridKind::Chessboard ? "chessboard" : "ruled"; }

PointF Homography::Map(double u, double v) const {
    const double x = h[0] * u + h[1] * v + h[2];
    const double y = h[3] * u + h[4] * v + h[5];
    const double w = h[6] * u + h[7] * v + h[8];
    return {x / w, y / w};
}

namespace {

double Cross(const PointF& o, const PointF& a, const PointF& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Whether p lies in the quadrilateral a b c d (in order around it), edges included.
bool InQuad(const PointF& p, const PointF& a, const PointF& b, const PointF& c, const PointF& d) {
    const double s[4] = {Cross(a, b, p), Cross(b, c, p), Cross(c, d, p), Cross(d, a, p)};
    bool anyNegative = false, anyPositive = false;
    for (double v : s) {
        anyNegative = anyNegative || v < 0;
        anyPositive = anyPositive || v > 0;
    }
    return !(anyNegative && anyPositive);
}

double Distance(const PointF& a, const PointF& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Warps the quadrilateral tl tr br bl of `picture` onto the `side` x `side`
// square of `target` whose top-left pixel is (left, top). Pixel centres are at
// integer coordinates in both pictures.
void WarpQuad(const cv::Mat& picture, const PointF& tl, const PointF& tr, const PointF& br, const PointF& bl,
              cv::Mat& target, int left, int top, int side) {
    const float edge = static_cast<float>(side) - 0.5f;
    const cv::Point2f square[4] = {{-0.5f, -0.5f}, {edge, -0.5f}, {edge, edge}, {-0.5f, edge}};
    const cv::Point2f quad[4] = {{float(tl.x), float(tl.y)},
                                 {float(tr.x), float(tr.y)},
                                 {float(br.x), float(br.y)},
                                 {float(bl.x), float(bl.y)}};
    const cv::Mat toPicture = cv::getPerspectiveTransform(square, quad);
    cv::Mat cell = target(cv::Rect(left, top, side, side));
    cv::warpPerspective(picture, cell, toPicture, cell.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                        cv::BORDER_CONSTANT, cv::Scalar(0));
}

cv::Mat MatOf(const GrayPlane& plane) {
    return cv::Mat(plane.height, plane.width, CV_8UC1, const_cast<uint8_t*>(plane.begin()));
}

}  // namespace

namespace grid {

namespace {

// Pictures with a side above this are searched on a copy shrunk to
// kSearchSide, and measured on the picture itself.
constexpr int kLargestSearched = 1280;
constexpr int kSearchSide = 1024;
constexpr int kSmallestSide = 24;
constexpr double kCoarseFrom = 200;   // pixels of the smaller side a search at half the size needs
constexpr double kMinSegment = 4;     // pixels
constexpr double kMinPeriod = 4;      // pixels between lines
constexpr double kSidesGap = 3.5;     // pixels between the two sides of one line at most
constexpr double kSidesSpan = 5;      // pixels across one line at most
constexpr double kWideSidesGap = 14;  // pixels between the sides of a thick line at most
constexpr double kSupportBias = 0.5;  // an edge counts for the grid above this support
constexpr double kCandidateScore = 0.6;
// The verdict on a measured lattice: the mean support of its edges, and the
// share of each family's edges that show along most of their length
// (kSolidEdge), at least; small lattices must show all but perfectly.
constexpr double kMinScore = 0.75;
constexpr double kMinSolid = 0.75;
constexpr double kMinLargeSolid = 0.7;  // for large lattices
constexpr double kMinSmallScore = 0.9;  // for small ones, both
constexpr int kSmallGrid = 9;           // cells: fewer, or two rows or columns only, make a small lattice
constexpr int kLargeGrid = 16;          // cells: as many or more make a large lattice
constexpr double kMostLined = 0.25;     // share of the cells crossed by lines at most
constexpr double kMostStaggered = 0.35;  // difference of the two parities of one family's edges at most
// The lines of a grid's two families are drawn alike: the weaker family's
// typical line at least this share as strong as the other's (lined paper's
// "columns" found in its noise are not).
constexpr double kFamiliesAlike = 0.55;
// Roughness of the measured crossings (second differences of their
// departures from the homography, in cell sides): median and 90th
// percentile at most.
constexpr double kMostRoughness = 0.035;
constexpr double kMostHighRoughness = 0.14;
// A ruled lattice's lines run evenly: the typical change of gray along an
// edge over its contrast with the paper, at most (lines of text, brick
// courses and lines found where there are none run far less evenly).
constexpr double kMostUneven = 0.6;
// The lines of one parity of a family at most this many times as strong as
// those of the other.
constexpr double kMostAlternating = 1.7;
// Trimming: a border band stays when this share of its edges across shows,
// and its outer line shows along kKeptOuter of its length (a few covered
// cells may hide the rest); a band whose cells are mostly crossed by lines
// (kLinedBand) goes.
constexpr double kKeptBand = 0.6;
constexpr double kKeptOuter = 0.1;
constexpr double kLinedBand = 0.5;
constexpr double kWholeOuter = 0.9;     // an outer line showing this much of its length
constexpr double kOuterVouches = 0.15;  // counts as this share of the band's edges across
constexpr double kAllAcross = 0.85;     // a band's edges across showing this much need no outer line
constexpr int kLatticeMargin = 3;     // lines searched beyond those the segments show
constexpr int kLargestRange = 160;    // lines of one family searched at most
constexpr int kHypotheses = 4;        // pairs of line families tried at most
constexpr std::size_t kMeasured = 3;  // candidates measured on the picture at most
constexpr int kGrowingRounds = 6;
constexpr double kPlaceTolerance = 0.15;  // grid units: how near its line a segment's ends must lie

struct Candidate {
    bool found = false;
    Matrix3 gridToPicture{};
    IndexRect rect;
    double threshold = 0;  // gradient that counts as an edge
    std::vector<PointF> start;  // where its crossings are known to lie, row by row (else the homography's places)
};

// The support of every edge of a measured lattice that must show: all of a
// ruled grid's; a chessboard's but those between a light square and the
// board's margin (NaN for those).
struct EdgeSupports {
    int columns = 0, rows = 0;
    std::vector<double> horizontal;  // (rows + 1) x columns
    std::vector<double> vertical;    // rows x (columns + 1), stored (rows + 1) x (columns + 1)
    std::vector<uint8_t> lined;      // rows x columns: a line crosses the cell
    std::vector<double> horizontalAligned, verticalAligned;  // as horizontal and vertical

    double& h(int i, int j) { return horizontal[std::size_t(j) * std::size_t(columns) + std::size_t(i)]; }
    double& v(int i, int j) { return vertical[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; }
    bool isLined(int i, int j) const { return lined[std::size_t(j) * std::size_t(columns) + std::size_t(i)] != 0; }
    // What an edge shows on its line's course.
    double hAligned(int i, int j) { return h(i, j) * horizontalAligned[std::size_t(j) * std::size_t(columns) + std::size_t(i)]; }
    double vAligned(int i, int j) { return v(i, j) * verticalAligned[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; }
};

EdgeSupports ShownEdges(const MeasuredCrossings& m) {
    EdgeSupports e;
    e.columns = m.columns;
    e.rows = m.rows;
    e.horizontal.assign(std::size_t(m.rows + 1) * std::size_t(m.columns), NAN);
    e.vertical.assign(std::size_t(m.rows + 1) * std::size_t(m.columns + 1), NAN);
    const std::size_t nc = std::size_t(m.columns) + 1;
    for (int j = 0; j <= m.rows; ++j)
        for (int i = 0; i < m.columns; ++i) e.h(i, j) = m.horizontalShown[std::size_t(j) * nc + std::size_t(i)];
    for (int j = 0; j < m.rows; ++j)
        for (int i = 0; i <= m.columns; ++i) e.v(i, j) = m.verticalShown[std::size_t(j) * nc + std::size_t(i)];
    e.lined = m.lined;
    e.horizontalAligned.assign(e.horizontal.size(), 1.0);
    e.verticalAligned.assign(e.vertical.size(), 1.0);
    for (int j = 0; j <= m.rows; ++j)
        for (int i = 0; i < m.columns; ++i)
            e.horizontalAligned[std::size_t(j) * std::size_t(m.columns) + std::size_t(i)] =
                m.horizontalAligned[std::size_t(j) * nc + std::size_t(i)];
    for (int j = 0; j < m.rows; ++j)
        for (int i = 0; i <= m.columns; ++i)
            e.verticalAligned[std::size_t(j) * std::size_t(m.columns + 1) + std::size_t(i)] =
                m.verticalAligned[std::size_t(j) * nc + std::size_t(i)];
    return e;
}

// How well the picture supports the part i0..i1 x j0..j1 of a measured lattice.
struct Support {
    double mean = 0;
    double solid[2] = {0, 0};  // share of row edges, of column edges, that show along most of their length
    double lined = 0;          // share of the cells a line crosses
    // How much better one family's edges show on one parity of i + j than on
    // the other: the joints of a brick wall, each course's offset by half a
    // brick from the next, show on every other edge of every line.
    double staggered = 0;
};

constexpr double kSolidEdge = 0.7;

Support SupportOf(EdgeSupports& e, int i0, int j0, int i1, int j1) {
    Support support;
    double sum = 0;
    int edges = 0, solid[2] = {0, 0}, count[2] = {0, 0};
    double paritySum[2][2] = {}, parityCount[2][2] = {};
    auto add = [&](double s, int family, int parity) {
        if (std::isnan(s)) return;
        sum += s;
        ++edges;
        ++count[family];
        solid[family] += s >= kSolidEdge;
        paritySum[family][parity] += s;
        parityCount[family][parity] += 1;
    };
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i < i1; ++i) add(e.h(i, j), 0, (i + j) & 1);
    for (int j = j0; j < j1; ++j)
        for (int i = i0; i <= i1; ++i) add(e.v(i, j), 1, (i + j) & 1);
    support.mean = edges > 0 ? sum / edges : 0;
    for (int f = 0; f < 2; ++f) {
        support.solid[f] = count[f] > 0 ? double(solid[f]) / count[f] : 0;
        if (parityCount[f][0] >= 4 && parityCount[f][1] >= 4)
            support.staggered = std::max(support.staggered, std::abs(paritySum[f][0] / parityCount[f][0] -
                                                                     paritySum[f][1] / parityCount[f][1]));
    }
    int lined = 0;
    for (int j = j0; j < j1; ++j)
        for (int i = i0; i < i1; ++i) lined += e.isLined(i, j);
    support.lined = double(lined) / std::max(1, (i1 - i0) * (j1 - j0));
    return support;
}

// How irregularly the measured crossings of i0..i1 x j0..j1 depart from the
// lattice's homography: the second differences of their departures along
// rows and along columns, in cell sides. A bent page or a lens moves the
// crossings smoothly; crossings pulled onto edges that happen to lie near
// them (rectangles strewn about) do not. The median and the 90th percentile.
struct Roughness {
    double median = 0, high = 0;
};

Roughness RoughnessOf(const MeasuredCrossings& m, int i0, int j0, int i1, int j1) {
    const int nc = m.columns + 1;
    auto measured = [&](int i, int j) {
        return i >= i0 && i <= i1 && j >= j0 && j <= j1 && m.measured[std::size_t(j) * std::size_t(nc) + std::size_t(i)];
    };
    auto departure = [&](int i, int j) {
        return m.crossings[std::size_t(j) * std::size_t(nc) + std::size_t(i)] - ApplyToPoint(m.homography, i, j);
    };
    std::vector<double> values;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            if (!measured(i, j)) continue;
            const PointF p = ApplyToPoint(m.homography, i, j);
            const double side =
                (Distance(p, ApplyToPoint(m.homography, i + 1, j)) + Distance(p, ApplyToPoint(m.homography, i, j + 1))) / 2;
            if (!(side > 0)) continue;
            for (const auto& [di, dj] : {std::pair{1, 0}, std::pair{0, 1}})
                if (measured(i - di, j - dj) && measured(i + di, j + dj)) {
                    const PointF d = departure(i - di, j - dj) - 2.0 * departure(i, j) + departure(i + di, j + dj);
                    values.push_back(std::hypot(d.x, d.y) / side);
                }
        }
    Roughness r;
    if (values.empty()) return r;
    std::sort(values.begin(), values.end());
    r.median = values[values.size() / 2];
    r.high = values[values.size() * 9 / 10];
    return r;
}

// How much stronger one parity of a family's inner lines from..to is than
// the other: the medians' ratio. A lattice with a line between every two of
// the grid's has lines found in the noise of the cells on every other one.
double AlternationOf(const MeasuredCrossings& m, int family, int from, int to) {
    std::vector<double> parity[2];
    for (int l = from + 1; l < to; ++l) {
        const double v = m.lineStrength[family].size() > std::size_t(l) ? m.lineStrength[family][std::size_t(l)] : NAN;
        if (std::isfinite(v)) parity[l & 1].push_back(v);
    }
    if (parity[0].size() < 2 || parity[1].size() < 2) return 1;
    double median[2];
    for (int p = 0; p < 2; ++p) {
        std::nth_element(parity[p].begin(), parity[p].begin() + std::ptrdiff_t(parity[p].size() / 2), parity[p].end());
        median[p] = parity[p][parity[p].size() / 2];
    }
    const double weaker = std::min(median[0], median[1]), stronger = std::max(median[0], median[1]);
    return weaker > 0 ? stronger / weaker : 1e9;
}

// Drops rows and columns of cells from the border of i0..i1 x j0..j1 while
// the worst of them does not show as part of the grid: its edges across
// (the sides of its cells) or its outer line mostly missing.
void TrimToSupport(EdgeSupports& e, int& i0, int& j0, int& i1, int& j1) {
    auto share = [](double solid, int count) { return count > 0 ? solid / count : 1.0; };
    for (;;) {
        double worst = 1;
        int side = -1;
        for (int s = 0; s < 4; ++s) {
            const bool rowBand = s < 2;
            if ((rowBand && j1 - j0 <= 2) || (!rowBand && i1 - i0 <= 2)) continue;
            double across = 0, outer = 0;
            int nAcross = 0, nOuter = 0, lined = 0, cells = 0;
            auto count = [](double v, double& sum, int& n) {
                if (std::isnan(v)) return;
                sum += v >= kSolidEdge;
                ++n;
            };
            if (rowBand) {
                const int band = s == 0 ? j0 : j1 - 1, line = s == 0 ? j0 : j1;
                for (int i = i0; i <= i1; ++i) count(e.vAligned(i, band), across, nAcross);
                for (int i = i0; i < i1; ++i) count(e.h(i, line), outer, nOuter);
                for (int i = i0; i < i1; ++i, ++cells) lined += e.isLined(i, band);
            } else {
                const int band = s == 2 ? i0 : i1 - 1, line = s == 2 ? i0 : i1;
                for (int j = j0; j <= j1; ++j) count(e.hAligned(band, j), across, nAcross);
                for (int j = j0; j < j1; ++j) count(e.v(line, j), outer, nOuter);
                for (int j = j0; j < j1; ++j, ++cells) lined += e.isLined(band, j);
            }
            // The band's edges across must show, and its outer line must
            // show along part of its length (a few covered cells may hide
            // the rest).
            // An outer line that shows whole vouches for some of the edges
            // across (a shadow or a pen stroke over them).
            const double outerShare = share(outer, nOuter);
            const double acrossShare = share(across, nAcross) + (outerShare >= kWholeOuter ? kOuterVouches : 0);
            // Edges across that all but all show need no outer line (a
            // border line against a ground of its own tone shows as a step
            // at best).
            double q = acrossShare >= kAllAcross ? acrossShare
                                                 : std::min(acrossShare, outerShare + (kKeptBand - kKeptOuter));
            // Cells crossed by lines are text or a ruling, not the grid's.
            if (lined >= kLinedBand * cells) q = std::min(q, 0.0);
            if (q < worst) {
                worst = q;
                side = s;
            }
        }
        if (side < 0 || worst >= kKeptBand) return;
        if (side == 0) ++j0;
        if (side == 1) --j1;
        if (side == 2) ++i0;
        if (side == 3) --i1;
    }
}
// The lines of one family as marks across it on the straightened picture.
std::vector<LineGroup> StraightenedLines(const std::vector<EdgeSegment>& segments, const std::vector<int8_t>& family,
                                         int which, const Straightener& straightener, const Box* region = nullptr) {
    std::vector<Mark> marks;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (family[k] != which) continue;
        if (region && !region->contains(straightener.Map(segments[k].middle()))) continue;
        const EdgeSegment& s = segments[k];
        const PointF a = straightener.Map(s.a), b = straightener.Map(s.b);
        const double ca = which == 0 ? a.y : a.x, cb = which == 0 ? b.y : b.x;
        if (!std::isfinite(ca) || !std::isfinite(cb) || std::abs(ca - cb) > 1.5) continue;
        // Lighter towards larger positions when a step along the gradient
        // moves the position forward.
        const PointF m = s.middle();
        const PointF ahead = straightener.Map(m + s.gradient);
        const PointF here = straightener.Map(m);
        const double forward = which == 0 ? ahead.y - here.y : ahead.x - here.x;
        marks.push_back({(ca + cb) / 2, s.length, int(k), forward > 0 ? 1 : -1});
    }
    return GroupMarks(std::move(marks), 1.0);
}

// One long segment for each line group: the line fitted to its segments'
// ends, from the first end to the last along it.
std::vector<EdgeSegment> MergedSegments(const std::vector<LineGroup>& groups, const std::vector<EdgeSegment>& segments) {
    std::vector<EdgeSegment> merged;
    std::vector<PointF> points;
    std::vector<double> weights;
    for (const LineGroup& g : groups) {
        points.clear();
        weights.clear();
        double strength = 0, length = 0;
        for (int k : g.sources) {
            const EdgeSegment& s = segments[std::size_t(k)];
            points.push_back(s.a);
            points.push_back(s.b);
            weights.push_back(s.length);
            weights.push_back(s.length);
            strength += s.strength * s.length;
            length += s.length;
        }
        EdgeSegment m;
        if (!FitLine(points, weights, m.line)) continue;
        const PointF along{m.line.y, -m.line.x};
        double lo = 1e300, hi = -1e300;
        for (const PointF& p : points) {
            const double t = p.x * along.x + p.y * along.y;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
        }
        // The foot of the origin on the line, then the extreme ends.
        const PointF foot{-m.line.z * m.line.x, -m.line.z * m.line.y};
        m.a = foot + lo * along;
        m.b = foot + hi * along;
        m.length = hi - lo;
        if (m.length <= 0) continue;
        m.strength = strength / length;
        merged.push_back(m);
    }
    return merged;
}

Candidate TryFamilies(const std::vector<EdgeSegment>& segments, const LineFamilies& families,
                      const GradientField& gradients) {
    Candidate none;
    double sw = 0, sx = 0, sy = 0;
    std::vector<double> strengths;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (families.family[k] < 0) continue;
        const PointF m = segments[k].middle();
        sw += segments[k].length;
        sx += segments[k].length * m.x;
        sy += segments[k].length * m.y;
        strengths.push_back(segments[k].strength);
    }
    if (sw <= 0) return none;
    const PointF centre{sx / sw, sy / sw};
    Straightener straightener = MakeStraightener(families.vanishing[0], families.vanishing[1], centre);
    if (!straightener.valid) return none;
    // Short segments point at their vanishing point only roughly; the lines
    // they make up, grouped on the straightened picture, point at it well.
    Vec3 vanishing[2] = {families.vanishing[0], families.vanishing[1]};
    for (int f = 0; f < 2; ++f) {
        const std::vector<EdgeSegment> merged =
            MergedSegments(StraightenedLines(segments, families.family, f, straightener), segments);
        Vec3 v;
        if (FitVanishingPoint(merged, gradients.width, gradients.height, v)) vanishing[f] = v;
    }
    straightener = MakeStraightener(vanishing[0], vanishing[1], centre);
    if (!straightener.valid) return none;

    // The combs read only the lines where both families meet.
    std::vector<PointF> ends[2];
    for (const EdgeSegment& s : segments) {
        ends[0].push_back(straightener.Map(s.a));
        ends[1].push_back(straightener.Map(s.b));
    }
    Box region;
    const bool regionFound = FindGridRegion(ends[0], ends[1], families.family, region);
    Comb combs[2];
    std::vector<LineGroup> groups[2];
    for (int f = 0; f < 2; ++f) {
        groups[f] = JoinSides(StraightenedLines(segments, families.family, f, straightener, regionFound ? &region : nullptr),
                              kSidesGap, kSidesSpan, kWideSidesGap);
        if (!FindComb(groups[f], kMinPeriod, combs[f])) return none;
    }
    // Rows are the lines of family 0 (constant v), columns those of family 1.
    // The combs place the segments of the lines they hold; the lattice fitted
    // to them places more, as far as the picture goes on agreeing.
    std::vector<SegmentPlace> places(segments.size());
    for (int f = 0; f < 2; ++f)
        for (std::size_t g = 0; g < groups[f].size(); ++g)
            if (combs[f].index[g] != kNoTooth)
                for (int k : groups[f][g].sources) places[std::size_t(k)] = {f, combs[f].index[g]};
    Matrix3 h;
    if (!FitLatticeToSegments(segments, places, h)) return none;
    for (int round = 0; round < kGrowingRounds; ++round) {
        Matrix3 toGrid, refitted;
        if (!Invert(h, toGrid)) return none;
        std::vector<SegmentPlace> next = PlaceSegments(segments, families.family, toGrid, kPlaceTolerance);
        const bool same = std::equal(next.begin(), next.end(), places.begin(),
                                     [](const SegmentPlace& a, const SegmentPlace& b) { return a.family == b.family && a.index == b.index; });
        places = std::move(next);
        if (!FitLatticeToSegments(segments, places, refitted)) break;
        h = refitted;
        if (same) break;
    }
    std::set<int> indices[2];
    for (const SegmentPlace& p : places)
        if (p.family >= 0) indices[p.family].insert(p.index);
    if (indices[0].size() < 2 || indices[1].size() < 2) return none;
    auto range = [](const std::set<int>& l, int& first, int& last) {
        first = *l.begin() - kLatticeMargin;
        last = *l.rbegin() + kLatticeMargin;
        if (last - first > kLargestRange) {
            const int middle = (first + last) / 2;
            first = middle - kLargestRange / 2;
            last = middle + kLargestRange / 2;
        }
    };
    int i0, i1, j0, j1;
    range(indices[1], i0, i1);
    range(indices[0], j0, j1);
    // An edge of the lattice shows where the gradient across it reaches a
    // share of the typical strength of the segments on its lines (and
    // stands clear of the picture's noise).
    strengths.clear();
    for (std::size_t k = 0; k < segments.size(); ++k)
        if (places[k].family >= 0) strengths.push_back(segments[k].strength);
    std::nth_element(strengths.begin(), strengths.begin() + std::ptrdiff_t(strengths.size() / 2), strengths.end());
    const double threshold = std::max(2.5 * gradients.noise, 0.3 * strengths[strengths.size() / 2]);
    const SupportMap map = MeasureSupport(gradients, h, i0, j0, i1 - i0, j1 - j0, threshold);
    Candidate c;
    c.rect = BestRectangle(map, kSupportBias);
    c.gridToPicture = h;
    c.threshold = threshold;
    c.found = c.rect.columns() >= 1 && c.rect.rows() >= 1;
    return c;
}

// (x, y) of the shrunk picture -> the picture, pixel centres at integers.
Matrix3 Enlarge(double factor) {
    const double k = 1 / factor;
    const double shift = (k - 1) / 2;
    return {k, 0, shift, 0, k, shift, 0, 0, 1};
}

// Turns and mirrors the index grid so that its names read upright.
void NameUpright(std::vector<PointF>& crossings, int& columns, int& rows, Matrix3& gridToPicture) {
    auto jacobian = [&](PointF& a, PointF& b) {
        const double ci = columns / 2.0, cj = rows / 2.0;
        const PointF o = ApplyToPoint(gridToPicture, ci, cj);
        a = ApplyToPoint(gridToPicture, ci + 0.01, cj) - o;
        b = ApplyToPoint(gridToPicture, ci, cj + 0.01) - o;
    };
    // new (i, j) -> old (i, j) for a mirror of j and for a quarter turn.
    auto reindex = [&](const Matrix3& newToOld, int newColumns, int newRows) {
        std::vector<PointF> turned(crossings.size());
        for (int j = 0; j <= newRows; ++j)
            for (int i = 0; i <= newColumns; ++i) {
                const PointF o = ApplyToPoint(newToOld, i, j);
                const int oi = static_cast<int>(std::lround(o.x)), oj = static_cast<int>(std::lround(o.y));
                turned[std::size_t(j) * std::size_t(newColumns + 1) + std::size_t(i)] =
                    crossings[std::size_t(oj) * std::size_t(columns + 1) + std::size_t(oi)];
            }
        crossings = std::move(turned);
        gridToPicture = Multiply(gridToPicture, newToOld);
        columns = newColumns;
        rows = newRows;
    };
    PointF a, b;
    jacobian(a, b);
    if (a.x * b.y - a.y * b.x < 0) reindex({1, 0, 0, 0, -1, double(rows), 0, 0, 1}, columns, rows);
    for (int turn = 0; turn < 4; ++turn) {
        jacobian(a, b);
        const double na = std::hypot(a.x, a.y), nb = std::hypot(b.x, b.y);
        const double mx = a.x / na + b.y / nb, my = a.y / na - b.x / nb;
        const double angle = std::atan2(my, mx) * 180 / M_PI;
        // A quarter turn back: the new columns run along the old rows.
        if (angle > 45) {
            reindex({0, 1, 0, -1, 0, double(rows), 0, 0, 1}, rows, columns);
        } else if (angle <= -45) {
            reindex({0, -1, double(columns), 1, 0, 0, 0, 0, 1}, rows, columns);
        } else {
            break;
        }
    }
}

// Measures a candidate lattice on the picture and judges it; true, with the
// lattice named, when the picture supports it as a grid. A ruled lattice
// whose cells are cut by finer lines into equal parts becomes the finer
// lattice when the picture supports that one too (`subdivide`).
bool MeasureCandidate(const GrayPlane& picture, const Candidate& c, double factor, Lattice& lattice,
                      bool subdivide = true) {
    const Matrix3 h = factor == 1 ? c.gridToPicture : Multiply(Enlarge(factor), c.gridToPicture);
    IndexRect r = c.rect;
    const Tones tones = ReadTones(picture, h, r.i0, r.j0, r.i1, r.j1);
    if (tones.kind == GridKind::Chessboard) FitChessboardExtent(picture, h, tones, r.i0, r.j0, r.i1, r.j1);
    const bool fromStart = tones.kind == GridKind::Ruled && r.i0 == c.rect.i0 && r.j0 == c.rect.j0 &&
                           r.i1 == c.rect.i1 && r.j1 == c.rect.j1 && !c.start.empty();
    MeasuredCrossings measured =
        RefineCrossings(picture, tones, h, r.i0, r.j0, r.i1, r.j1, fromStart ? &c.start : nullptr);
    if (measured.hopeless) return false;
    if (tones.kind == GridKind::Chessboard) {
        // The board's extent again, read through the measured lattice, which
        // places the squares at the board's edges better than the first look.
        const Matrix3 refined = Multiply(measured.homography, {1, 0, double(-r.i0), 0, 1, double(-r.j0), 0, 0, 1});
        IndexRect again = r;
        FitChessboardExtent(picture, refined, tones, again.i0, again.j0, again.i1, again.j1);
        if (again.i0 != r.i0 || again.j0 != r.j0 || again.i1 != r.i1 || again.j1 != r.j1) {
            MeasuredCrossings wider = RefineCrossings(picture, tones, refined, again.i0, again.j0, again.i1, again.j1);
            if (!wider.hopeless) measured = std::move(wider);
        }
    }
    EdgeSupports edges = ShownEdges(measured);
    int i0 = 0, j0 = 0, i1 = measured.columns, j1 = measured.rows;
    // A chessboard's extent comes from its squares.
    if (tones.kind == GridKind::Ruled) TrimToSupport(edges, i0, j0, i1, j1);
    const Support support = SupportOf(edges, i0, j0, i1, j1);
    const Roughness roughness = RoughnessOf(measured, i0, j0, i1, j1);
    // A small lattice is easily a piece of something else (a few rectangles,
    // a fragment of a brick wall): it must show all but perfectly.
    const int columns = i1 - i0, rows = j1 - j0;
    const bool small = std::min(columns, rows) <= 2 || columns * rows < kSmallGrid;
    const double minScore = small ? kMinSmallScore : kMinScore;
    const double minSolid = small ? kMinSmallScore : columns * rows >= kLargeGrid ? kMinLargeSolid : kMinSolid;
    if (support.mean < minScore || support.solid[0] < minSolid || support.solid[1] < minSolid ||
        (tones.kind == GridKind::Ruled && support.staggered > kMostStaggered))
        return false;
    if (roughness.median > kMostRoughness || roughness.high > kMostHighRoughness) return false;
    if (tones.kind == GridKind::Ruled)
        for (int family = 0; family < 2; ++family)
            if (LineUnevenness(picture, measured, tones.darkLines, family, i0, j0, i1, j1) > kMostUneven) return false;
    if (tones.kind == GridKind::Ruled &&
        (AlternationOf(measured, 0, j0, j1) > kMostAlternating || AlternationOf(measured, 1, i0, i1) > kMostAlternating))
        return false;
    const double weaker = std::min(measured.strength[0], measured.strength[1]);
    const double stronger = std::max(measured.strength[0], measured.strength[1]);
    if (weaker > 0 && weaker < kFamiliesAlike * stronger) return false;
    // Cells crossed by lines are no grid's, unless those lines are a finer
    // grid's.
    const bool lined = support.lined > (small ? 0 : kMostLined);
    if (lined && !subdivide) return false;
    if (i0 != 0 || j0 != 0 || i1 != measured.columns || j1 != measured.rows) {
        // Keep the crossings of the part that stays, indices from 0 again.
        std::vector<PointF> kept;
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i)
                kept.push_back(measured.crossings[std::size_t(j) * std::size_t(measured.columns + 1) + std::size_t(i)]);
        measured.crossings = std::move(kept);
        measured.homography = Multiply(measured.homography, {1, 0, double(i0), 0, 1, double(j0), 0, 0, 1});
        measured.columns = i1 - i0;
        measured.rows = j1 - j0;
    }
    // (A small lattice is too easily a piece of something else to be cut.)
    if (subdivide && !small && tones.kind == GridKind::Ruled) {
        const Subdivision parts =
            FindSubdivision(picture, measured.crossings, measured.columns, measured.rows, tones.darkLines);
        if (parts.columns > 1 || parts.rows > 1) {
            Candidate finer;
            finer.found = true;
            finer.gridToPicture =
                Multiply(measured.homography, {1.0 / parts.columns, 0, 0, 0, 1.0 / parts.rows, 0, 0, 0, 1});
            finer.rect = {0, 0, measured.columns * parts.columns, measured.rows * parts.rows, 0, 0};
            finer.start = SubdividedCrossings(measured.crossings, measured.columns, measured.rows, parts);
            if (MeasureCandidate(picture, finer, 1, lattice, false)) return true;
        }
    }
    if (lined) return false;
    Matrix3 fromZero = measured.homography;
    lattice.found = true;
    lattice.kind = tones.kind;
    lattice.columns = measured.columns;
    lattice.rows = measured.rows;
    lattice.crossings = std::move(measured.crossings);
    NameUpright(lattice.crossings, lattice.columns, lattice.rows, fromZero);
    const double last = fromZero[8];
    for (int k = 0; k < 9; ++k) lattice.homography.h[std::size_t(k)] = fromZero[std::size_t(k)] / last;
    lattice.score = std::clamp(support.mean, 0.0, 1.0);
    return true;
}

}  // namespace

}  // namespace grid

namespace grid {
namespace {

// The picture shrunk by `factor`, or the picture itself at 1.
const GrayPlane& Shrunk(const GrayPlane& picture, double& factor, GrayPlane& store) {
    if (factor >= 1) {
        factor = 1;
        return picture;
    }
    const int w = std::max(1, static_cast<int>(std::lround(picture.width * factor)));
    const int h = std::max(1, static_cast<int>(std::lround(picture.height * factor)));
    store = GrayPlane::AllocateUnfilled(w, h);
    CheckAllocation(store);
    cv::Mat to(h, w, CV_8UC1, store.begin());
    cv::resize(MatOf(picture), to, to.size(), 0, 0, cv::INTER_AREA);
    factor = double(w) / picture.width;
    return store;
}

// One search, on the picture shrunk by `factor`; the candidates are measured
// on the picture itself. `step` reports the stages.
bool SearchAt(const GrayPlane& picture, double factor, const WorkHooks& hooks, const std::function<void()>& step,
              Lattice& lattice) {
    GrayPlane store;
    const GrayPlane& searched = Shrunk(picture, factor, store);
    hooks.Pump();
    const GradientField gradients = ComputeGradients(searched);
    step();
    hooks.Pump();
    const std::vector<EdgeSegment> segments = FindEdgeSegments(gradients, kMinSegment);
    step();
    hooks.Pump();
    const std::vector<LineFamilies> hypotheses = FindLineFamilies(segments, searched.width, searched.height, kHypotheses);
    step();
    std::vector<Candidate> candidates;
    for (const LineFamilies& families : hypotheses) {
        hooks.Pump();
        const Candidate c = TryFamilies(segments, families, gradients);
        if (!c.found || c.rect.columns() < 2 || c.rect.rows() < 2 || c.rect.meanSupport < kCandidateScore) continue;
        candidates.push_back(c);
        // A lattice the picture supports this well needs no other directions.
        if (c.rect.meanSupport >= 0.85 && c.rect.columns() >= 3 && c.rect.rows() >= 3 &&
            c.rect.columns() * c.rect.rows() >= 16)
            break;
    }
    step();
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.rect.sum > b.rect.sum; });
    if (candidates.size() > kMeasured) candidates.resize(kMeasured);
    for (const Candidate& c : candidates) {
        hooks.Pump();
        if (MeasureCandidate(picture, c, factor, lattice)) return true;
    }
    return false;
}

}  // namespace
}  // namespace grid

// The search runs first on the picture at half its searched size, where a
// grid of cells large enough to be seen there is found in about a quarter
// of the time, then, when that finds nothing, at the searched size itself.
Lattice FindGrid(const GrayPlane& picture, const WorkHooks& hooks) {
    using namespace grid;
    Lattice lattice;
    if (!picture || picture.width < kSmallestSide || picture.height < kSmallestSide) return lattice;
    const int side = std::max(picture.width, picture.height);
    const double factor = side > kLargestSearched ? double(kSearchSide) / side : 1.0;
    const double smaller = std::min(picture.width, picture.height) * factor;
    int steps = 0;
    auto step = [&] {
        ++steps;
        hooks.Step();
    };
    if (smaller / 2 >= kCoarseFrom && SearchAt(picture, factor / 2, hooks, [] {}, lattice)) {
        while (steps < kFindGridStages) step();
        return lattice;
    }
    SearchAt(picture, factor, hooks, step, lattice);
    while (steps < kFindGridStages) step();
    return lattice;
}

std::string CellName(int column, int row) { return CellLabelText(column, row); }


bool CellAt(const Lattice& lattice, double x, double y, int& column, int& row) {
    if (!lattice.found) return false;
    const PointF p{x, y};
    for (int j = 0; j < lattice.rows; ++j) {
        for (int i = 0; i < lattice.columns; ++i) {
            if (InQuad(p, lattice.at(i, j), lattice.at(i + 1, j), lattice.at(i + 1, j + 1), lattice.at(i, j + 1))) {
                column = i + 1;
                row = j + 1;
                return true;
            }
        }
    }
    return false;
}

Lattice ScaledLattice(const Lattice& lattice, double k) {
    Lattice scaled = lattice;
    const double shift = (k - 1) / 2;
    for (PointF& p : scaled.crossings) p = {p.x * k + shift, p.y * k + shift};
    std::array<double, 9>& h = scaled.homography.h;
    for (int c = 0; c < 3; ++c) {
        h[c] = h[c] * k + shift * h[6 + c];
        h[3 + c] = h[3 + c] * k + shift * h[6 + c];
    }
    const double last = h[8];
    if (last != 0)
        for (double& e : h) e /= last;
    return scaled;
}

Lattice ToSourcePixels(const Lattice& lattice, int scale) {
    if (scale <= 0 || scale == 8) return lattice;
    return ScaledLattice(lattice, 8.0 / scale);
}

int StraightenedCellSide(const Lattice& lattice, int column, int row) {
    const PointF& tl = lattice.at(column - 1, row - 1);
    const PointF& tr = lattice.at(column, row - 1);
    const PointF& bl = lattice.at(column - 1, row);
    const PointF& br = lattice.at(column, row);
    const double mean = (Distance(tl, tr) + Distance(tr, br) + Distance(br, bl) + Distance(bl, tl)) / 4;
    return std::max(16, static_cast<int>(std::lround(mean)));
}

GrayPlane StraightenCell(const GrayPlane& picture, const Lattice& lattice, int column, int row, int side) {
    GrayPlane cell = GrayPlane::Allocate(side, side);
    CheckAllocation(cell);
    cv::Mat target(side, side, CV_8UC1, cell.begin());
    WarpQuad(MatOf(picture), lattice.at(column - 1, row - 1), lattice.at(column, row - 1), lattice.at(column, row),
             lattice.at(column - 1, row), target, 0, 0, side);
    return cell;
}

GrayPlane StraightenGrid(const GrayPlane& picture, const Lattice& lattice, int side) {
    GrayPlane grid = GrayPlane::Allocate(lattice.columns * side, lattice.rows * side);
    CheckAllocation(grid);
    cv::Mat target(grid.height, grid.width, CV_8UC1, grid.begin());
    const cv::Mat source = MatOf(picture);
    for (int j = 0; j < lattice.rows; ++j)
        for (int i = 0; i < lattice.columns; ++i)
            WarpQuad(source, lattice.at(i, j), lattice.at(i + 1, j), lattice.at(i + 1, j + 1), lattice.at(i, j + 1),
                     target, i * side, j * side, side);
    return grid;
}

}  // namespace vexo
