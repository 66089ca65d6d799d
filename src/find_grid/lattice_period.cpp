#include "find_grid/lattice_period.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

namespace vexo::grid {

std::vector<LineGroup> GroupMarks(std::vector<Mark> marks, double tolerance) {
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.position < b.position; });
    std::vector<LineGroup> groups;
    double sum = 0, polarity = 0;
    auto close = [&] {
        if (groups.empty()) return;
        groups.back().position = sum / groups.back().weight;
        groups.back().polarity = polarity / groups.back().weight;
    };
    for (std::size_t k = 0; k < marks.size(); ++k) {
        const Mark& m = marks[k];
        if (k == 0 || m.position - marks[k - 1].position > tolerance) {
            close();
            groups.emplace_back();
            sum = polarity = 0;
        }
        LineGroup& g = groups.back();
        g.weight += m.weight;
        sum += m.weight * m.position;
        polarity += m.weight * m.polarity;
        g.sources.push_back(m.source);
    }
    close();
    return groups;
}

std::vector<LineGroup> JoinSides(const std::vector<LineGroup>& groups, double gap, double span, double wideGap) {
    constexpr double kClearance = 2.5;
    constexpr double kOnePolarity = 0.6;
    constexpr double kFaintShare = 0.2;
    std::vector<LineGroup> lines;
    double first = 0, sum = 0, polarity = 0;
    bool wide = false;  // the line already holds a wide pair
    auto close = [&] {
        if (lines.empty()) return;
        lines.back().position = sum / lines.back().weight;
        lines.back().polarity = polarity / lines.back().weight;
    };
    for (std::size_t k = 0; k < groups.size(); ++k) {
        const LineGroup& g = groups[k];
        bool join = false;
        if (!lines.empty()) {
            const LineGroup& last = groups[k - 1];
            const double d = g.position - last.position;
            join = d <= gap && g.position - first <= span;
            if (!join && !wide && d <= wideGap && last.polarity * g.polarity < 0 &&
                std::abs(last.polarity) >= kOnePolarity && std::abs(g.polarity) >= kOnePolarity) {
                // The nearest groups of any weight beside the pair (faint
                // marks such as the ends of letters do not count).
                const double faint = kFaintShare * std::min(last.weight, g.weight);
                double before = 1e300, after = 1e300;
                for (std::size_t b = k - 1; b-- > 0;)
                    if (groups[b].weight >= faint) {
                        before = last.position - groups[b].position;
                        break;
                    }
                for (std::size_t a = k + 1; a < groups.size(); ++a)
                    if (groups[a].weight >= faint) {
                        after = groups[a].position - g.position;
                        break;
                    }
                // Only lines that are the two sides: nothing else near.
                join = g.position - first <= wideGap && before >= kClearance * d && after >= kClearance * d;
                wide = join;
            }
        }
        if (!join) {
            close();
            lines.push_back(g);
            first = g.position;
            sum = g.weight * g.position;
            polarity = g.weight * g.polarity;
            wide = false;
            continue;
        }
        LineGroup& line = lines.back();
        line.weight += g.weight;
        sum += g.weight * g.position;
        polarity += g.weight * g.polarity;
        line.sources.insert(line.sources.end(), g.sources.begin(), g.sources.end());
    }
    close();
    return lines;
}

namespace {

constexpr int kStrongLines = 40;     // lines that may propose combs
constexpr int kNeighbours = 4;       // how far along the strong lines a proposal's next line may be
constexpr double kWindow = 1.0 / 6;  // of a spacing: how near a tooth a line must lie
constexpr int kMostTeeth = 400;
constexpr double kHeldShare = 0.3;
constexpr double kProposingShare = 0.25;

// Scores a comb over the lines (sorted by position) and, when asked, gives
// each line its tooth. A tooth holds a line when it has a fair share of the
// comb's typical tooth weight (the median of its teeth that have any); a
// tooth counts for at most twice the typical weight, and every tooth without
// a line between the first and the last that hold one costs the typical
// weight.
double Score(const std::vector<LineGroup>& lines, const Comb& comb, double minSpacing, std::vector<int>* index) {
    if (index) index->assign(lines.size(), kNoTooth);
    const double lo = lines.front().position, hi = lines.back().position;
    // The comb's spacing where it was proposed; teeth where the spacing has
    // grown or shrunk past a factor of two (near the comb's pole) are not
    // the grid's.
    const double base = std::abs(comb.At(1) - comb.At(0));
    std::vector<std::pair<int, double>> teeth;  // (n, weight), in order of n
    for (int direction : {-1, 1}) {
        std::vector<std::pair<int, double>> side;
        for (int n = direction > 0 ? 0 : -1; std::abs(n) < kMostTeeth; n += direction) {
            if (comb.c * n + 1 <= 0 || comb.c * (n + direction) + 1 <= 0) break;
            const double x = comb.At(n);
            const double spacing = std::abs(comb.At(n + direction) - x);
            if (!(spacing >= 0.5 * minSpacing) || !std::isfinite(x)) break;
            if (!(spacing <= 2 * base && spacing >= 0.5 * base)) break;
            if ((direction > 0 && x > hi + spacing) || (direction < 0 && x < lo - spacing)) break;
            const double window = kWindow * spacing;
            auto first = std::lower_bound(lines.begin(), lines.end(), x - window,
                                          [](const LineGroup& g, double v) { return g.position < v; });
            double here = 0;
            for (auto it = first; it != lines.end() && it->position <= x + window; ++it) {
                here += it->weight;
                if (index) (*index)[std::size_t(it - lines.begin())] = n;
            }
            side.emplace_back(n, here);
        }
        if (direction < 0) std::reverse(side.begin(), side.end());
        teeth.insert(teeth.end(), side.begin(), side.end());
    }
    std::vector<double> weights;
    for (const auto& t : teeth)
        if (t.second > 0) weights.push_back(t.second);
    if (weights.empty()) return 0;
    std::nth_element(weights.begin(), weights.begin() + std::ptrdiff_t(weights.size() / 2), weights.end());
    const double typical = weights[weights.size() / 2];
    double score = 0;
    int emptyRun = 0;
    bool started = false;
    for (const auto& [n, weight] : teeth) {
        if (weight >= kHeldShare * typical) {
            score += std::min(weight, 2 * typical);
            if (started) score -= typical * emptyRun;
            started = true;
            emptyRun = 0;
        } else {
            ++emptyRun;
        }
    }
    return score;
}

// Least squares comb through the lines that have teeth: x (c n + 1) = a n + b.
bool Refit(const std::vector<LineGroup>& lines, const std::vector<int>& index, Comb& comb) {
    cv::Matx33d m = cv::Matx33d::zeros();
    cv::Vec3d r(0, 0, 0);
    int count = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (index[k] == kNoTooth) continue;
        const double n = index[k], x = lines[k].position, w = lines[k].weight;
        const cv::Vec3d row(n, 1, -n * x);
        m += w * (row * row.t());
        r += w * x * row;
        ++count;
    }
    if (count < 3) return false;
    cv::Vec3d solution;
    if (!cv::solve(cv::Mat(m), cv::Mat(r), cv::Mat(solution), cv::DECOMP_SVD)) return false;
    comb.a = solution[0];
    comb.b = solution[1];
    comb.c = solution[2];
    return std::isfinite(comb.a) && std::isfinite(comb.b) && std::isfinite(comb.c);
}

}  // namespace

bool FindComb(const std::vector<LineGroup>& lines, double minSpacing, Comb& comb) {
    if (lines.size() < 3) return false;
    // The strong lines, in order of position.
    std::vector<std::size_t> order(lines.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return lines[a].weight > lines[b].weight; });
    if (order.size() > std::size_t(kStrongLines)) order.resize(kStrongLines);
    // Only lines of a good share of a strong line's weight propose: the
    // median of the twenty strongest stands for one, so that a few long
    // borders are not the measure.
    const double strong = lines[order[std::min<std::size_t>(10, order.size() / 2)]].weight;
    while (order.size() > 3 && lines[order.back()].weight < kProposingShare * strong) order.pop_back();
    std::sort(order.begin(), order.end());

    Comb best;
    bool any = false;
    for (std::size_t p = 0; p < order.size(); ++p)
        for (std::size_t q = p + 1; q < order.size() && q <= p + kNeighbours; ++q) {
            const double x0 = lines[order[p]].position, x1 = lines[order[q]].position;
            if (x1 - x0 < minSpacing) continue;
            // Evenly spaced from two neighbours; the refit finds the
            // perspective's change of spacing.
            Comb even;
            even.b = x0;
            even.a = x1 - x0;
            even.score = Score(lines, even, minSpacing, nullptr);
            if (!any || even.score > best.score) {
                best = even;
                any = true;
            }
            for (std::size_t r = q + 1; r < order.size() && r <= q + kNeighbours; ++r) {
                const double x2 = lines[order[r]].position;
                const double ratio = (x2 - x1) / (x1 - x0);
                if (ratio < 0.7 || ratio > 1.4) continue;
                Comb c;
                c.c = (2 * x1 - x0 - x2) / (2 * (x2 - x1));
                c.b = x0;
                c.a = x1 * (c.c + 1) - c.b;
                c.score = Score(lines, c, minSpacing, nullptr);
                if (!any || c.score > best.score) {
                    best = c;
                    any = true;
                }
            }
        }
    if (!any || best.score <= 0) return false;
    Score(lines, best, minSpacing, &best.index);
    Comb refitted = best;
    if (Refit(lines, best.index, refitted)) {
        refitted.score = Score(lines, refitted, minSpacing, &refitted.index);
        if (refitted.score >= best.score) best = refitted;
    }
    comb = best;
    return true;
}

}  // namespace vexo::grid
