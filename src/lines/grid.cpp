// Grid spacing and regularization of the Hough line lists.
//
// EstimateSpacing votes the distances of successive lines into 256 bins of
// 16-bit wrapping counters, each distance d spreading the weights T - |i - d|
// over the bins d - T .. d + T; a window that does not fit inside 0..255 is
// dropped whole. The lowest bin with the greatest count is the spacing, and
// every pair whose distance lies strictly within T of it is flagged.
//
// RegularizeVertical keeps the flagged vertical lines and extrapolates at the
// right and left ends towards a grid of 9 or 13 lines (or the picture's edge).
// RegularizeHorizontal fills gaps of about two spacings, drops a line that
// crowds a regular pair and a first line that is more than 7 pixels off the
// spacing, then keeps the flagged lines. Both draw every line they keep or add
// into the mark plane with code 200: vertical lines from (a, 0) to
// (b, lineSide - 1), horizontal lines from (0, a) to (W - 1, b).
//
// Line ends are arbitrary 32-bit values, so every distance and sum is taken in
// 64 bits; a distance is logged as its exact value. The log lines go back to
// the caller, which shows them, with the two spacings.
#include "lines/grid.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "core/arithmetic.h"

namespace vexo {

namespace {

constexpr uint8_t kGridMark = kMarkBlue;  // 200

int64_t End(const Line& line, LineEnd end) { return end == LineEnd::A ? line.a : line.b; }

bool Within(int64_t d, int64_t spacing, int64_t tolerance) {
    return spacing - tolerance < d && d < spacing + tolerance;
}

void DrawVertical(const Line& line, int32_t lineSide, MarkPlane& marks) {
    DrawLine(line.a, 0, line.b, lineSide - 1, marks, kGridMark);
}

void DrawHorizontal(const Line& line, MarkPlane& marks) {
    DrawLine(0, line.a, marks.width - 1, line.b, marks, kGridMark);
}

}  // namespace

SpacingEstimate EstimateSpacing(LineList& list, LineEnd end, int tolerance) {
    SpacingEstimate estimate;
    if (list.empty()) return estimate;
    const int64_t t = tolerance;
    std::array<uint16_t, 256> bins{};
    for (auto p = list.begin(), q = std::next(p); q != list.end(); p = q++) {
        const int64_t d = End(*q, end) - End(*p, end);
        estimate.log.push_back(std::to_string(d));
        if (d < 0 || d > 255 || d - t < 0 || d + t > 255) continue;
        for (int64_t i = d - t; i <= d + t; ++i) {
            const int64_t weight = t - std::llabs(i - d);
            bins[i] = static_cast<uint16_t>(bins[i] + static_cast<uint16_t>(weight));
        }
    }
    int spacing = 0;
    uint16_t best = 0;
    for (int i = 0; i < 256; ++i) {
        if (bins[i] > best) {
            best = bins[i];
            spacing = i;
        }
    }
    for (auto p = list.begin(), q = std::next(p); q != list.end(); p = q++) {
        const int64_t d = End(*q, end) - End(*p, end);
        if (Within(d, spacing, t)) {
            p->flag = 1;
            q->flag = 1;
        }
    }
    estimate.log.push_back("ideal:" + std::to_string(spacing));
    estimate.spacing = spacing;
    return estimate;
}

namespace {

// The spacings at both ends, with the log lines of both estimates.
struct Spacings {
    int64_t a = 0;
    int64_t b = 0;
    std::vector<std::string> log;
};

Regularized Result(Spacings& spacings) {
    return {std::move(spacings.log), static_cast<int>(spacings.a), static_cast<int>(spacings.b)};
}

Spacings EstimateBothEnds(LineList& list, int tolerance) {
    SpacingEstimate a = EstimateSpacing(list, LineEnd::A, tolerance);
    const SpacingEstimate b = EstimateSpacing(list, LineEnd::B, tolerance);
    a.log.insert(a.log.end(), b.log.begin(), b.log.end());
    return {a.spacing, b.spacing, std::move(a.log)};
}

}  // namespace

Regularized RegularizeVertical(LineLists& lines, MarkPlane& marks) {
    LineList& list = lines.verticalLines;
    const int64_t w = marks.width;
    const int32_t lineSide = std::max(marks.width, marks.height);
    const int tolerance = RoundQuotient(marks.width, 60);
    Spacings spacings = EstimateBothEnds(list, tolerance);
    const int64_t sa = spacings.a;
    const int64_t sb = spacings.b;

    // Filter pass: keep and draw the flagged lines.
    int n = 0;
    bool firstDropped = false;
    for (auto line = list.begin(); line != list.end();) {
        if (line->flag == 1) {
            ++n;
            DrawVertical(*line, lineSide, marks);
            ++line;
        } else {
            if (line == list.begin()) firstDropped = true;
            line = list.Remove(line);
        }
    }
    if (list.empty()) return Result(spacings);  // nothing to extrapolate from

    // Append phase. A step that would repeat the tail (zero spacings, or the
    // far end pinned at W - 1 with Sa = 0) ends it, as no stop below would.
    for (;;) {
        const Line& tail = list.back();
        if (n == 13) break;
        if (n == 9 && w - tail.a <= 3 * sa) break;
        if (tail.a + sa > w) break;
        if (tail.b + sb > w + 1) break;
        const int64_t a = tail.a + sa;
        const int64_t b = std::min<int64_t>(tail.b + sb, w - 1);
        if (a == tail.a && b == tail.b) break;
        AddLine(lines, kAppendVertical, static_cast<int32_t>(a), static_cast<int32_t>(b));
        ++n;
        DrawVertical(list.back(), lineSide, marks);
    }

    // Without its first line the grid grows on the left only from exactly 8
    // lines, and then by at most one.
    if (firstDropped && n != 8) return Result(spacings);

    for (;;) {
        const Line& head = list.front();
        if (n == 9 || n == 13) break;
        if (head.a - sa < 0) break;
        if (head.b - sb < 0) break;
        if (sa == 0 && sb == 0) break;  // the new line would repeat the head
        AddLine(lines, kPrependVertical, static_cast<int32_t>(head.a - sa), static_cast<int32_t>(head.b - sb));
        ++n;
        DrawVertical(list.front(), lineSide, marks);
    }

    // Edge completions: from 10 to 12 lines, one line ending on the right
    // edge, then one ending on the left edge.
    if (n >= 10 && n <= 12 && list.back().a + sa <= w && w - list.back().b > sb / 2) {
        AddLine(lines, kAppendVertical, static_cast<int32_t>(list.back().a + sa), static_cast<int32_t>(w - 1));
        DrawVertical(list.back(), lineSide, marks);
        ++n;
    }
    if (n >= 10 && n <= 12 && list.front().a - sa >= 0) {
        AddLine(lines, kPrependVertical, static_cast<int32_t>(list.front().a - sa), 0);
        DrawVertical(list.front(), lineSide, marks);
    }
    return Result(spacings);
}

Regularized RegularizeHorizontal(LineLists& lines, MarkPlane& marks) {
    LineList& list = lines.horizontalLines;
    const int64_t tolerance = std::min(12, RoundQuotient(marks.height, 100));
    Spacings spacings = EstimateBothEnds(list, static_cast<int>(tolerance));
    const int64_t sa = spacings.a;
    const int64_t sb = spacings.b;

    // Gap pass. After an insertion the new line becomes cur, so a gap of
    // about k spacings receives k - 1 lines one spacing apart; after a removal
    // the pair of cur and the following line is not examined.
    auto prev = list.end();  // none yet
    auto cur = list.begin();
    while (cur != list.end() && std::next(cur) != list.end()) {
        const auto next = std::next(cur);
        const int64_t dA = int64_t(next->a) - cur->a;
        const int64_t dB = int64_t(next->b) - cur->b;
        if (dA < 0 || dB < 0) {
            cur->flag = 0;
        } else if (dA > 2 * sa - tolerance && dB > 2 * sb - tolerance) {
            // A missing line. With both spacings 0 the new line would repeat
            // cur for ever; a line whose ends do not fit 32 bits is not made.
            const int64_t a = cur->a + sa;
            const int64_t b = cur->b + sb;
            if ((sa != 0 || sb != 0) && a <= INT32_MAX && b <= INT32_MAX)
                list.InsertAfter(cur, Line{static_cast<int32_t>(a), static_cast<int32_t>(b), 1});
        } else if (dA < sa - tolerance && dB < sb - tolerance) {
            // next crowds cur: drop next when the pair before cur is regular.
            if (prev == list.end()) {
                cur->flag = 0;
            } else {
                const int64_t pA = int64_t(cur->a) - prev->a;
                const int64_t pB = int64_t(cur->b) - prev->b;
                if (Within(pA, sa, tolerance) || Within(pB, sb, tolerance)) {
                    const auto after = list.Remove(next);
                    if (after != list.end()) after->flag = 1;
                } else {
                    cur->flag = 0;
                }
            }
        }
        prev = cur;
        cur = std::next(cur);
    }

    // The first line must lie within a fixed 7 pixels of the spacing at both ends.
    if (list.size() >= 2 && list.front().flag == 1) {
        Line& head = list.front();
        const Line& second = *std::next(list.begin());
        const int64_t dA = int64_t(second.a) - head.a;
        const int64_t dB = int64_t(second.b) - head.b;
        if (std::llabs(dA - sa) > 7 || std::llabs(dB - sb) > 7) head.flag = 0;
    }

    for (auto line = list.begin(); line != list.end();) {
        if (line->flag == 1) {
            DrawHorizontal(*line, marks);
            ++line;
        } else {
            line = list.Remove(line);
        }
    }
    return Result(spacings);
}

}  // namespace vexo
