#include "find_grid/line_families.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>

#include <opencv2/core.hpp>

namespace vexo::grid {

namespace {

constexpr int kBins = 180;               // direction histogram, one bin a degree
constexpr double kFamilySpread = 25;     // degrees around a peak a family may spread over
constexpr double kMinSeparation = 25;    // degrees between the two families
constexpr std::size_t kScoredSegments = 300;
constexpr int kProposals = 150;          // random pairs per vanishing point
constexpr double kTolerance = 1.0;       // pixels: how far a segment may miss its vanishing point

double DirectionDegrees(const EdgeSegment& s) {
    double d = std::atan2(s.b.y - s.a.y, s.b.x - s.a.x) * 180 / M_PI;
    d = std::fmod(d + 360, 180);
    return d;
}

double CircularGap(double a, double b) {
    const double d = std::abs(a - b);
    return std::min(d, 180 - d);
}

double Tolerance(const EdgeSegment& s) { return std::max(kTolerance, 0.015 * s.length); }

// VanishingResidual(s, v) < tolerance, without its square root.
bool PointsAt(const EdgeSegment& s, const Vec3& v, double tolerance) {
    const PointF m = s.middle();
    const double dx = v.x - m.x * v.z, dy = v.y - m.y * v.z;
    const double cross = 0.5 * (dx * (s.b.y - s.a.y) - dy * (s.b.x - s.a.x));  // half length x |t x d|
    return cross * cross < tolerance * tolerance * (dx * dx + dy * dy);
}

// Least-squares vanishing point of the lines of `members`: the unit vector v
// that minimises the weighted sum of (line . v)^2, in coordinates centred on
// the picture and scaled to about one, so that the answer does not depend on
// where the picture's origin lies.
Vec3 RefineVanishing(const std::vector<EdgeSegment>& segments, const std::vector<int>& members, double cx,
                     double cy, double scale) {
    cv::Matx33d m = cv::Matx33d::zeros();
    for (int k : members) {
        const EdgeSegment& s = segments[std::size_t(k)];
        Vec3 l = s.line;
        l = {l.x * scale, l.y * scale, l.x * cx + l.y * cy + l.z};
        const double n = std::hypot(l.x, l.y);
        if (n <= 0) continue;
        const cv::Vec3d u(l.x / n, l.y / n, l.z / n);
        m += s.length * (u * u.t());
    }
    cv::Mat values, vectors;
    cv::eigen(cv::Mat(m), values, vectors);
    const double vx = vectors.at<double>(2, 0), vy = vectors.at<double>(2, 1), vz = vectors.at<double>(2, 2);
    return Normalized({scale * vx + cx * vz, scale * vy + cy * vz, vz});
}

struct Fit {
    Vec3 vanishing;
    double score = 0;
};

Fit FitVanishing(const std::vector<EdgeSegment>& segments, const std::vector<int>& candidates, double cx, double cy,
                 double scale, std::mt19937& random) {
    Fit best;
    if (candidates.size() < 2) return best;
    std::vector<double> cumulative(candidates.size());
    double total = 0;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        total += segments[std::size_t(candidates[k])].length;
        cumulative[k] = total;
    }
    auto pick = [&] {
        const double r = std::uniform_real_distribution<double>(0, total)(random);
        return candidates[std::size_t(std::lower_bound(cumulative.begin(), cumulative.end(), r) - cumulative.begin())];
    };
    // Proposals are scored on the longest segments only; the refinement
    // below reads them all.
    std::vector<int> scored = candidates;
    if (scored.size() > kScoredSegments) {
        std::nth_element(scored.begin(), scored.begin() + kScoredSegments, scored.end(), [&](int a, int b) {
            return segments[std::size_t(a)].length > segments[std::size_t(b)].length;
        });
        scored.resize(kScoredSegments);
    }
    auto score = [&](const Vec3& v) {
        double sum = 0;
        for (int k : scored) {
            const EdgeSegment& s = segments[std::size_t(k)];
            if (PointsAt(s, v, Tolerance(s))) sum += s.length;
        }
        return sum;
    };
    for (int t = 0; t < kProposals; ++t) {
        const int a = pick(), b = pick();
        if (a == b) continue;
        const Vec3 v = Cross(segments[std::size_t(a)].line, segments[std::size_t(b)].line);
        if (Norm(v) < 1e-12) continue;
        const Vec3 unit = Normalized(v);
        const double s = score(unit);
        if (s > best.score) best = {unit, s};
    }
    if (best.score <= 0) return best;
    for (int round = 0; round < 2; ++round) {
        std::vector<int> members;
        for (int k : candidates) {
            const EdgeSegment& s = segments[std::size_t(k)];
            if (PointsAt(s, best.vanishing, 2 * Tolerance(s))) members.push_back(k);
        }
        if (members.size() < 2) break;
        const Vec3 refined = RefineVanishing(segments, members, cx, cy, scale);
        const double s = score(refined);
        if (s >= best.score * 0.98) best = {refined, std::max(s, best.score)};
    }
    return best;
}

}  // namespace

double VanishingResidual(const EdgeSegment& s, const Vec3& v) {
    // The ends lie half the length from the middle m, along the segment's
    // direction t; the line from m towards v leaves them at that distance
    // times the sine of the angle between t and the way to v.
    const PointF m = s.middle();
    const double dx = v.x - m.x * v.z, dy = v.y - m.y * v.z;
    const double d = std::hypot(dx, dy);
    if (d <= 0) return 0;  // the vanishing point is the segment's own middle
    const double tx = (s.b.x - s.a.x) / s.length, ty = (s.b.y - s.a.y) / s.length;
    return 0.5 * s.length * std::abs(tx * dy - ty * dx) / d;
}

bool FitVanishingPoint(const std::vector<EdgeSegment>& segments, int width, int height, Vec3& vanishing) {
    std::vector<int> all(segments.size());
    std::iota(all.begin(), all.end(), 0);
    std::mt19937 random(20261208);
    const Fit fit = FitVanishing(segments, all, width / 2.0, height / 2.0, std::max(width, height) / 2.0, random);
    if (fit.score <= 0) return false;
    vanishing = fit.vanishing;
    return true;
}

std::vector<LineFamilies> FindLineFamilies(const std::vector<EdgeSegment>& segments, int width, int height,
                                           int count) {
    std::vector<LineFamilies> result;
    if (segments.size() < 4) return result;
    std::vector<double> histogram(kBins, 0.0);
    for (const EdgeSegment& s : segments) {
        const double d = DirectionDegrees(s);
        histogram[std::size_t(int(d) % kBins)] += s.length;
    }
    std::vector<double> smooth(kBins, 0.0);
    for (int b = 0; b < kBins; ++b)
        for (int o = -6; o <= 6; ++o)
            smooth[std::size_t(b)] += histogram[std::size_t((b + o + kBins) % kBins)] * std::exp(-o * o / 8.0);

    std::vector<int> peaks;
    for (int b = 0; b < kBins; ++b) {
        const double v = smooth[std::size_t(b)];
        if (v > 0 && v >= smooth[std::size_t((b + 1) % kBins)] && v > smooth[std::size_t((b + kBins - 1) % kBins)])
            peaks.push_back(b);
    }
    std::sort(peaks.begin(), peaks.end(), [&](int a, int b) { return smooth[std::size_t(a)] > smooth[std::size_t(b)]; });
    if (peaks.size() > 5) peaks.resize(5);
    struct Pair {
        int a, b;
        double weight;
    };
    std::vector<Pair> pairs;
    for (std::size_t p = 0; p < peaks.size(); ++p)
        for (std::size_t q = p + 1; q < peaks.size(); ++q)
            if (CircularGap(peaks[p], peaks[q]) >= kMinSeparation)
                pairs.push_back({peaks[p], peaks[q], std::min(smooth[std::size_t(peaks[p])], smooth[std::size_t(peaks[q])])});
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) { return x.weight > y.weight; });

    const double cx = width / 2.0, cy = height / 2.0, scale = std::max(width, height) / 2.0;
    std::mt19937 random(20261208);
    std::map<int, Fit> fits;  // by peak: each peak's vanishing point is fitted once
    auto fitFor = [&](int peak) {
        auto found = fits.find(peak);
        if (found != fits.end()) return found->second;
        std::vector<int> candidates;
        for (std::size_t k = 0; k < segments.size(); ++k)
            if (CircularGap(DirectionDegrees(segments[k]), peak) <= kFamilySpread) candidates.push_back(int(k));
        const Fit fit = FitVanishing(segments, candidates, cx, cy, scale, random);
        fits.emplace(peak, fit);
        return fit;
    };
    for (const Pair& pair : pairs) {
        if (int(result.size()) >= count) break;
        LineFamilies families;
        const Fit a = fitFor(pair.a), b = fitFor(pair.b);
        if (a.score <= 0 || b.score <= 0) continue;
        families.vanishing[0] = a.vanishing;
        families.vanishing[1] = b.vanishing;
        families.family.assign(segments.size(), -1);
        for (std::size_t k = 0; k < segments.size(); ++k) {
            const EdgeSegment& s = segments[k];
            const double r0 = VanishingResidual(s, families.vanishing[0]);
            const double r1 = VanishingResidual(s, families.vanishing[1]);
            const double t = Tolerance(s);
            const int f = r0 <= r1 ? 0 : 1;
            if (std::min(r0, r1) < t) {
                families.family[k] = int8_t(f);
                families.length[f] += s.length;
            }
        }
        result.push_back(std::move(families));
    }
    return result;
}

Straightener MakeStraightener(const Vec3& vanishingA, const Vec3& vanishingB, const PointF& centre) {
    Straightener s;
    const Vec3 c = Point(centre);
    s.horizon = Cross(vanishingA, vanishingB);
    s.uLine = Cross(vanishingB, c);
    s.vLine = Cross(vanishingA, c);
    const double h = Dot(s.horizon, c);
    const double nu = std::hypot(s.uLine.x, s.uLine.y), nv = std::hypot(s.vLine.x, s.vLine.y);
    if (!(std::abs(h) > 0) || !(nu > 0) || !(nv > 0)) return s;
    // w = 1 at the centre, and u and v have unit gradients there.
    s.uLine = {s.uLine.x / nu, s.uLine.y / nu, s.uLine.z / nu};
    s.vLine = {s.vLine.x / nv, s.vLine.y / nv, s.vLine.z / nv};
    s.horizon = {s.horizon.x / h, s.horizon.y / h, s.horizon.z / h};
    s.valid = std::isfinite(s.uLine.x) && std::isfinite(s.vLine.x) && std::isfinite(s.horizon.x);
    return s;
}

}  // namespace vexo::grid
