#include "find_grid/lattice.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <opencv2/calib3d.hpp>

namespace vexo::grid {

namespace {

constexpr double kOnSide = 1.5;  // pixels: how near the line of its neighbours a side's sample lies

}  // namespace

bool FitLatticeHomography(const std::vector<IndexedLine>& columns, const std::vector<IndexedLine>& rows,
                          double tolerance, Matrix3& gridToPicture) {
    if (columns.size() < 2 || rows.size() < 2) return false;
    std::vector<cv::Point2f> grid, picture;
    for (const IndexedLine& c : columns)
        for (const IndexedLine& r : rows) {
            PointF p;
            if (!Meet(c.line, r.line, p) || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
            grid.emplace_back(float(c.index), float(r.index));
            picture.emplace_back(float(p.x), float(p.y));
        }
    if (grid.size() < 4) return false;
    cv::Mat h;
    try {
        h = grid.size() >= 8 ? cv::findHomography(grid, picture, cv::RANSAC, tolerance, cv::noArray(), 500, 0.995)
                             : cv::findHomography(grid, picture, 0);
    } catch (const cv::Exception&) {
        return false;
    }
    if (h.empty()) return false;
    for (int k = 0; k < 9; ++k) gridToPicture[std::size_t(k)] = h.at<double>(k / 3, k % 3);
    return true;
}

std::vector<IndexedLine> AssignSegments(const std::vector<EdgeSegment>& segments, const std::vector<int8_t>& family,
                                        int which, const Matrix3& pictureToGrid, double tolerance) {
    struct Points {
        std::vector<PointF> points;
        std::vector<double> weights;
        double length = 0;
    };
    std::map<int, Points> byIndex;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (family[k] != which) continue;
        const EdgeSegment& s = segments[k];
        const PointF a = ApplyToPoint(pictureToGrid, s.a.x, s.a.y);
        const PointF b = ApplyToPoint(pictureToGrid, s.b.x, s.b.y);
        const double ca = which == 0 ? a.y : a.x, cb = which == 0 ? b.y : b.x;
        if (!std::isfinite(ca) || !std::isfinite(cb)) continue;
        const double mean = (ca + cb) / 2;
        const double index = std::round(mean);
        if (std::abs(ca - index) > tolerance || std::abs(cb - index) > tolerance || std::abs(index) > 1e6) continue;
        Points& p = byIndex[static_cast<int>(index)];
        p.points.push_back(s.a);
        p.points.push_back(s.b);
        p.weights.push_back(s.length);
        p.weights.push_back(s.length);
        p.length += s.length;
    }
    std::vector<IndexedLine> lines;
    for (const auto& [index, p] : byIndex) {
        IndexedLine line;
        line.index = index;
        line.weight = p.length;
        if (FitLine(p.points, p.weights, line.line)) lines.push_back(line);
    }
    return lines;
}

bool FitLatticeToSegments(const std::vector<EdgeSegment>& segments, const std::vector<SegmentPlace>& places,
                          Matrix3& gridToPicture) {
    // Normalise: centroid to the origin, mean distance sqrt(2).
    double sw = 0, sx = 0, sy = 0;
    std::set<int> lines[2];
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (places[k].family < 0) continue;
        const PointF m = segments[k].middle();
        sw += segments[k].length;
        sx += segments[k].length * m.x;
        sy += segments[k].length * m.y;
        lines[places[k].family].insert(places[k].index);
    }
    if (sw <= 0 || lines[0].size() < 2 || lines[1].size() < 2) return false;
    const double cx = sx / sw, cy = sy / sw;
    double spread = 0;
    for (std::size_t k = 0; k < segments.size(); ++k)
        if (places[k].family >= 0) spread += segments[k].length * Distance(segments[k].middle(), {cx, cy});
    spread /= sw;
    if (!(spread > 0)) return false;
    const double scale = std::sqrt(2.0) / spread;
    const Matrix3 normalise{scale, 0, -scale * cx, 0, scale, -scale * cy, 0, 0, 1};

    // Rows g1, g2, g3 of the picture -> grid map: an end p of a segment on row
    // line j gives g2.p - j g3.p = 0; on column line i, g1.p - i g3.p = 0.
    cv::Matx<double, 9, 9> normal = cv::Matx<double, 9, 9>::zeros();
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const SegmentPlace& place = places[k];
        if (place.family < 0) continue;
        const double w = segments[k].length / 2;
        for (const PointF& end : {segments[k].a, segments[k].b}) {
            const double px = scale * (end.x - cx), py = scale * (end.y - cy);
            cv::Matx<double, 9, 1> row = cv::Matx<double, 9, 1>::zeros();
            const int first = place.family == 0 ? 3 : 0;
            row(first) = px;
            row(first + 1) = py;
            row(first + 2) = 1;
            row(6) = -place.index * px;
            row(7) = -place.index * py;
            row(8) = -place.index;
            normal += w * (row * row.t());
        }
    }
    cv::Mat values, vectors;
    if (!cv::eigen(cv::Mat(normal), values, vectors)) return false;
    Matrix3 toGrid;
    for (int k = 0; k < 9; ++k) toGrid[std::size_t(k)] = vectors.at<double>(8, k);
    toGrid = Multiply(toGrid, normalise);
    return Invert(toGrid, gridToPicture);
}

std::vector<SegmentPlace> PlaceSegments(const std::vector<EdgeSegment>& segments, const std::vector<int8_t>& family,
                                        const Matrix3& pictureToGrid, double tolerance) {
    std::vector<SegmentPlace> places(segments.size());
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const int which = family[k];
        if (which < 0) continue;
        const EdgeSegment& s = segments[k];
        const PointF a = ApplyToPoint(pictureToGrid, s.a.x, s.a.y);
        const PointF b = ApplyToPoint(pictureToGrid, s.b.x, s.b.y);
        const double ca = which == 0 ? a.y : a.x, cb = which == 0 ? b.y : b.x;
        if (!std::isfinite(ca) || !std::isfinite(cb)) continue;
        const double index = std::round((ca + cb) / 2);
        if (std::abs(ca - index) > tolerance || std::abs(cb - index) > tolerance || std::abs(index) > 1e6) continue;
        places[k] = {which, static_cast<int>(index)};
    }
    return places;
}

double EdgeSupport(const GradientField& g, const PointF& p, const PointF& q, double threshold, double spacing) {
    const double length = Distance(p, q);
    if (!(length >= 4) || !g.contains(p.x, p.y) || !g.contains(q.x, q.y)) return 0;
    const PointF along = (1 / length) * (q - p);
    const PointF across{-along.y, along.x};
    constexpr int kMostSamples = 12;
    const int samples = std::clamp(static_cast<int>(length / 3), 4, kMostSamples);
    const int reach = std::clamp(static_cast<int>(std::lround(0.15 * (spacing > 0 ? spacing : length))), 1, 6);
    const double threshold2 = threshold * threshold;
    // For each sign of the gradient across the edge, at each sample, the
    // offset where it is strongest, if strong and across the edge.
    double t[kMostSamples];
    int offset[2][kMostSamples];
    bool hit[2][kMostSamples] = {};
    for (int k = 0; k < samples; ++k) {
        t[k] = 0.15 + 0.7 * (k + 0.5) / samples;
        const PointF c = p + t[k] * (q - p);
        double best[2] = {0, 0};
        for (int o = -reach; o <= reach; ++o) {
            const int x = static_cast<int>(std::floor(c.x + o * across.x + 0.5));
            const int y = static_cast<int>(std::floor(c.y + o * across.y + 0.5));
            if (x < 0 || y < 0 || x >= g.width || y >= g.height) continue;
            const std::size_t i = std::size_t(y) * std::size_t(g.width) + std::size_t(x);
            const double gx = g.gx[i], gy = g.gy[i];
            const double a = gx * across.x + gy * across.y;
            const double b = gx * along.x + gy * along.y;
            if (a * a < threshold2 || a * a <= 2.25 * b * b) continue;
            const int sign = a < 0;
            if (a * a > best[sign]) {
                best[sign] = a * a;
                offset[sign][k] = o;
                hit[sign][k] = true;
            }
        }
    }
    // A side of a line or a step lies along a straight line across the
    // samples (slanted when the lattice is a little off); the strong
    // gradients of text or texture lie anywhere.
    bool supported[kMostSamples] = {};
    for (int sign = 0; sign < 2; ++sign) {
        double n = 0, st = 0, so = 0, stt = 0, sto = 0;
        for (int k = 0; k < samples; ++k)
            if (hit[sign][k]) {
                n += 1;
                st += t[k];
                so += offset[sign][k];
                stt += t[k] * t[k];
                sto += t[k] * offset[sign][k];
            }
        if (n < 2) continue;
        const double den = n * stt - st * st;
        const double slope = den > 1e-12 ? (n * sto - st * so) / den : 0;
        const double intercept = (so - slope * st) / n;
        for (int k = 0; k < samples; ++k)
            if (hit[sign][k] && std::abs(offset[sign][k] - (intercept + slope * t[k])) <= kOnSide) supported[k] = true;
    }
    int count = 0;
    for (int k = 0; k < samples; ++k) count += supported[k];
    return double(count) / samples;
}

SupportMap MeasureSupport(const GradientField& gradients, const Matrix3& gridToPicture, int i0, int j0, int columns,
                          int rows, double threshold) {
    SupportMap map;
    map.i0 = i0;
    map.j0 = j0;
    map.columns = columns;
    map.rows = rows;
    map.horizontal.assign(std::size_t(rows + 1) * std::size_t(columns), 0.0);
    map.vertical.assign(std::size_t(rows) * std::size_t(columns + 1), 0.0);
    std::vector<PointF> crossing(std::size_t(rows + 1) * std::size_t(columns + 1));
    std::vector<uint8_t> ahead(crossing.size());
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            const Vec3 x = Apply(gridToPicture, {double(i0 + i), double(j0 + j), 1});
            const std::size_t k = std::size_t(j) * std::size_t(columns + 1) + std::size_t(i);
            ahead[k] = x.z > 0;
            crossing[k] = {x.x / x.z, x.y / x.z};
        }
    auto at = [&](int i, int j) { return std::size_t(j) * std::size_t(columns + 1) + std::size_t(i); };
    // All crossings must lie on the same side of the horizon as the first.
    const uint8_t side = ahead[at(columns / 2, rows / 2)];
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i < columns; ++i)
            if (ahead[at(i, j)] == side && ahead[at(i + 1, j)] == side)
                map.h(i0 + i, j0 + j) = EdgeSupport(gradients, crossing[at(i, j)], crossing[at(i + 1, j)], threshold,
                                                    Distance(crossing[at(i, j)], crossing[at(i, j == rows ? j - 1 : j + 1)]));
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i <= columns; ++i)
            if (ahead[at(i, j)] == side && ahead[at(i, j + 1)] == side)
                map.v(i0 + i, j0 + j) = EdgeSupport(gradients, crossing[at(i, j)], crossing[at(i, j + 1)], threshold,
                                                    Distance(crossing[at(i, j)], crossing[at(i == columns ? i - 1 : i + 1, j)]));
    return map;
}

IndexRect BestRectangle(const SupportMap& map, double bias) {
    IndexRect best;
    best.sum = -1e300;
    const int nc = map.columns, nr = map.rows;
    if (nc < 1 || nr < 1) return best;
    // Column sums between row lines ja and jb: vertical edges of crossing
    // column i, and horizontal edges of cell column i on rows ja..jb.
    std::vector<double> vertical(std::size_t(nc) + 1), horizontal(static_cast<std::size_t>(nc));
    for (int ja = 0; ja < nr; ++ja) {
        std::fill(vertical.begin(), vertical.end(), 0.0);
        for (int i = 0; i < nc; ++i) horizontal[std::size_t(i)] = map.h(map.i0 + i, map.j0 + ja) - bias;
        for (int jb = ja + 1; jb <= nr; ++jb) {
            for (int i = 0; i <= nc; ++i) vertical[std::size_t(i)] += map.v(map.i0 + i, map.j0 + jb - 1) - bias;
            for (int i = 0; i < nc; ++i) horizontal[std::size_t(i)] += map.h(map.i0 + i, map.j0 + jb) - bias;
            // Best i0 < i1 of  sum V[i0..i1] + sum H[i0..i1-1]: with the
            // prefix P(i) = sum V[0..i] + sum H[0..i-1], that is
            // P(i1) - (P(i0) - V[i0]).
            double prefix = 0, bestStart = 1e300;
            int bestStartAt = 0;
            for (int i = 0; i <= nc; ++i) {
                prefix += vertical[std::size_t(i)];
                if (i > 0) {
                    const double sum = prefix - bestStart;
                    if (sum > best.sum) {
                        best = {map.i0 + bestStartAt, map.j0 + ja, map.i0 + i, map.j0 + jb, sum, 0};
                    }
                }
                const double start = prefix - vertical[std::size_t(i)];
                if (start < bestStart) {
                    bestStart = start;
                    bestStartAt = i;
                }
                if (i < nc) prefix += horizontal[std::size_t(i)];
            }
        }
    }
    // Mean support inside the best rectangle.
    double total = 0;
    int edges = 0;
    for (int j = best.j0; j <= best.j1; ++j)
        for (int i = best.i0; i < best.i1; ++i, ++edges) total += map.h(i, j);
    for (int j = best.j0; j < best.j1; ++j)
        for (int i = best.i0; i <= best.i1; ++i, ++edges) total += map.v(i, j);
    best.meanSupport = edges > 0 ? total / edges : 0;
    return best;
}

}  // namespace vexo::grid
