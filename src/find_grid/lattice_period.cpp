#include "find_grid/lattice_period.h"

#include <algorithm>
#include <cmath>

namespace vexo::grid {

std::vector<LineGroup> GroupMarks(std::vector<Mark> marks, double tolerance) {
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.position < b.position; });
    std::vector<LineGroup> groups;
    double sum = 0;
    for (std::size_t k = 0; k < marks.size(); ++k) {
        const Mark& m = marks[k];
        if (k == 0 || m.position - marks[k - 1].position > tolerance) {
            if (!groups.empty()) groups.back().position = sum / groups.back().weight;
            groups.emplace_back();
            sum = 0;
        }
        LineGroup& g = groups.back();
        g.weight += m.weight;
        sum += m.weight * m.position;
        g.sources.push_back(m.source);
    }
    if (!groups.empty()) groups.back().position = sum / groups.back().weight;
    return groups;
}

namespace {

constexpr double kNearBest = 0.7;  // a period's score against the best one's

struct Sum {
    double re = 0, im = 0, total = 0;
};

Sum FourierSum(const std::vector<LineGroup>& lines, double f, double origin) {
    Sum s;
    for (const LineGroup& g : lines) {
        const double a = 2 * M_PI * f * (g.position - origin);
        s.re += g.weight * std::cos(a);
        s.im += g.weight * std::sin(a);
        s.total += g.weight;
    }
    return s;
}

double Score(const Sum& s) { return s.total > 0 ? std::hypot(s.re, s.im) / s.total : 0; }

}  // namespace

bool FindComb(const std::vector<LineGroup>& lines, double minPeriod, double maxPeriod, double minStrength,
              Comb& comb) {
    if (lines.size() < 3 || !(minPeriod > 0) || maxPeriod <= minPeriod) return false;
    double lo = lines.front().position, hi = lines.back().position;
    for (const LineGroup& g : lines) {
        lo = std::min(lo, g.position);
        hi = std::max(hi, g.position);
    }
    const double span = hi - lo;
    if (!(span > 0)) return false;
    const double origin = lo;
    const double fLow = 1 / maxPeriod, fHigh = 1 / minPeriod;
    // Steps small enough that the phase across the whole span moves by at
    // most a sixth of a turn.
    const double df = 1 / (6 * span);
    const int n = static_cast<int>(std::ceil((fHigh - fLow) / df)) + 1;
    // Each line's phasor turns by a fixed angle from one step to the next.
    std::vector<double> re(lines.size()), im(lines.size()), stepRe(lines.size()), stepIm(lines.size());
    double total = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const double x = lines[k].position - origin;
        re[k] = lines[k].weight * std::cos(2 * M_PI * fLow * x);
        im[k] = lines[k].weight * std::sin(2 * M_PI * fLow * x);
        stepRe[k] = std::cos(2 * M_PI * df * x);
        stepIm[k] = std::sin(2 * M_PI * df * x);
        total += lines[k].weight;
    }
    std::vector<double> score(static_cast<std::size_t>(n));
    double best = 0;
    for (int k = 0; k < n; ++k) {
        double sr = 0, si = 0;
        for (std::size_t g = 0; g < lines.size(); ++g) {
            sr += re[g];
            si += im[g];
            const double r = re[g] * stepRe[g] - im[g] * stepIm[g];
            im[g] = re[g] * stepIm[g] + im[g] * stepRe[g];
            re[g] = r;
        }
        score[std::size_t(k)] = total > 0 ? std::hypot(sr, si) / total : 0;
        best = std::max(best, score[std::size_t(k)]);
    }
    if (best < minStrength) return false;
    for (int k = 0; k < n; ++k) {
        const double s = score[std::size_t(k)];
        const bool peak = (k == 0 || s >= score[std::size_t(k - 1)]) && (k == n - 1 || s >= score[std::size_t(k + 1)]);
        if (!peak || s < kNearBest * best || s < minStrength) continue;
        // Golden-section search of the peak between the neighbouring steps.
        double a = fLow + (k - 1) * df, b = fLow + (k + 1) * df;
        a = std::max(a, fLow * 0.5);
        const double g = (std::sqrt(5.0) - 1) / 2;
        double x1 = b - g * (b - a), x2 = a + g * (b - a);
        double s1 = Score(FourierSum(lines, x1, origin)), s2 = Score(FourierSum(lines, x2, origin));
        for (int it = 0; it < 40; ++it) {
            if (s1 > s2) {
                b = x2;
                x2 = x1;
                s2 = s1;
                x1 = b - g * (b - a);
                s1 = Score(FourierSum(lines, x1, origin));
            } else {
                a = x1;
                x1 = x2;
                s1 = s2;
                x2 = a + g * (b - a);
                s2 = Score(FourierSum(lines, x2, origin));
            }
        }
        const double f = (a + b) / 2;
        const Sum sum = FourierSum(lines, f, origin);
        comb.period = 1 / f;
        comb.strength = Score(sum);
        double phase = std::atan2(sum.im, sum.re) / (2 * M_PI * f) + origin;
        phase = lo + std::fmod(std::fmod(phase - lo, comb.period) + comb.period, comb.period);
        comb.phase = phase;
        return true;
    }
    return false;
}

}  // namespace vexo::grid
