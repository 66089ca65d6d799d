// The Hough line transforms written the plain way: one double division per
// vote, every window scanned whole, loops in the documented order. The tests
// hold the fast transforms to it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/arithmetic.h"
#include "core/plane.h"
#include "core/work_hooks.h"
#include "lines/line_list.h"

namespace vexo::reference {

struct HoughPeak {
    int32_t k;
    int32_t r;
    friend bool operator==(const HoughPeak&, const HoughPeak&) = default;
};

inline int32_t HoughSide(const GrayPlane& source) { return std::max(source.width, source.height); }

// The vote of one edge sample for position k on the first edge, as a double
// already rounded: along = y (horizontal) or x (vertical), divisor = x or y,
// scale = width - 1 or n - 1.
inline double HoughVote(int32_t along, int32_t divisor, int32_t scale, int32_t k) {
    const int32_t t = Mul32(along - k, scale);
    const double v = double(t) / double(divisor) + double(k);
    return std::nearbyint(v);
}

// Counters of the table after voting (n = the greater side).
inline std::vector<uint16_t> HoughVotes(const GrayPlane& source, bool vertical) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    const int32_t n = HoughSide(source);
    std::vector<uint16_t> table(std::size_t(n) * std::size_t(n), 0);
    for (int32_t y = vertical ? 1 : 0; y < height; ++y)
        for (int32_t x = vertical ? 0 : 1; x < width; ++x) {
            if (source.at(x, y) == 0) continue;
            for (int32_t k = 0; k < n; ++k) {
                const double r = vertical ? HoughVote(x, y, n - 1, k) : HoughVote(y, x, width - 1, k);
                if (r >= 0 && r < n) ++table[std::size_t(k) * n + std::size_t(r)];
            }
        }
    return table;
}

inline void HoughThreshold(std::vector<uint16_t>& table, int32_t threshold) {
    for (uint16_t& c : table)
        if (int32_t(c) < threshold) c = 0;
}

// Peaks in scan order; each found peak becomes n in the table.
inline std::vector<HoughPeak> HoughPeaks(std::vector<uint16_t>& table, int32_t n, int32_t radius) {
    std::vector<HoughPeak> peaks;
    for (int32_t k = radius; k <= n - 1 - radius; ++k)
        for (int32_t r = radius; r <= n - 1 - radius; ++r) {
            const uint16_t q = table[std::size_t(k) * n + r];
            if (q == 0) continue;
            uint16_t m = 0;
            for (int32_t i = k - radius; i <= k + radius; ++i)
                for (int32_t j = r - radius; j <= r + radius; ++j) m = std::max(m, table[std::size_t(i) * n + j]);
            if (m != q) continue;
            table[std::size_t(k) * n + r] = static_cast<uint16_t>(n);
            peaks.push_back({k, r});
        }
    return peaks;
}

// The whole transform: votes, one step, threshold, peaks drawn and recorded
// when both ends are inside the picture, two steps.
inline void Hough(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                  const WorkHooks& hooks, bool vertical) {
    const int32_t n = HoughSide(source);
    const int32_t radius = vertical ? 20 : 15;
    std::vector<uint16_t> table = HoughVotes(source, vertical);
    hooks.Step();
    HoughThreshold(table, threshold);
    for (const HoughPeak& p : HoughPeaks(table, n, radius)) {
        if (!vertical && p.k < source.height && p.r < source.height) {
            DrawLine(0, p.k, source.width - 1, p.r, marks, 100);
            AddLine(lines, kAppendHorizontal, p.k, p.r);
        }
        if (vertical && p.k < source.width && p.r < source.width) {
            DrawLine(p.k, 0, p.r, n - 1, marks, 100);
            AddLine(lines, kAppendVertical, p.k, p.r);
        }
    }
    hooks.Step();
    hooks.Step();
}

}  // namespace vexo::reference
