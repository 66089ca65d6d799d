// Gap line tracing: follow the 255 paths of a thinned edge picture, jump the
// gaps between chains along the run's own direction, and fit one straight line
// to every run that is long enough.
//
// GapLinesHorizontal walks left to right and records rows at columns 0 and
// width - 1; GapLinesVertical walks top to bottom and records columns at rows
// 0 and height - 1. Both are the same procedure written in main / cross
// coordinates (main = the axis a step advances along, cross = the other one):
//   - starts are scanned main-outer, cross-inner;
//   - a step tries (m+1, c-1), (m+1, c), (m+1, c+1) and takes only the first
//     that holds 255;
//   - the extent of a run is always measured from its first sample S;
//   - at a chain end K whose extent reaches the minimum, a Bresenham walk from
//     K along S->K searches, after each step, the 15 samples (m, c-7..c+7)
//     across the main axis; the first 255 (smallest cross coordinate) is the
//     landing, unless it lies on the main axis's last index.
// Every sample is set to 200 as soon as the trace reaches it, so a trace can
// never land on itself. Line ends are num / den with wrapping 32-bit products,
// divided in double precision and rounded half to even.
//
// The event pump is offered before every main index of the scan and, within
// a trace, after every kStepsPerPause steps (chain steps and gap-walk steps);
// a pump that throws leaves the plane, the marks and the lines as far as the
// tracing got.

#include "lines/gap_lines.h"

#include <optional>

#include "core/arithmetic.h"

namespace vexo {

namespace {

constexpr uint8_t kChain = 255;
constexpr uint8_t kTraced = 200;
constexpr uint8_t kLandingDot = 100;
constexpr uint8_t kRunEndDot = 250;
constexpr uint8_t kLineMark = 50;
constexpr int32_t kWindowReach = 7;

// Steps of the traces between two offers of the event pump; a gap-walk step
// searches its whole window, so this is well under a millisecond of work.
constexpr uint32_t kStepsPerPause = uint32_t(1) << 12;

struct Point {
    int32_t m;  // main coordinate
    int32_t c;  // cross coordinate
};

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

class GapTracer {
public:
    GapTracer(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines, bool vertical,
              const EventPump& pump)
        : plane_(plane),
          marks_(marks),
          minimumExtent_(minimumExtent),
          lines_(lines),
          vertical_(vertical),
          mainSize_(vertical ? plane.height : plane.width),
          crossSize_(vertical ? plane.width : plane.height),
          pauses_(pump, kStepsPerPause) {}

    void Run() {
        for (int32_t m = 0; m < mainSize_; ++m) {
            pauses_.Pause();
            for (int32_t c = 0; c < crossSize_; ++c) {
                if (Sample(m, c) != kChain) continue;
                const Point s{m, c};
                Sample(m, c) = kTraced;
                const Point e = FollowChain(s);
                if (TooShort(s, e)) continue;
                Dot(s, kRunEndDot);
                Dot(e, kRunEndDot);
                if (s.m == e.m) continue;  // no single line through S and E
                RecordLine(s, e);
            }
        }
    }

private:
    bool Inside(int64_t m, int64_t c) const { return m >= 0 && c >= 0 && m < mainSize_ && c < crossSize_; }

    uint8_t& Sample(int32_t m, int32_t c) { return vertical_ ? plane_.at(c, m) : plane_.at(m, c); }

    void Dot(Point p, uint8_t value) {
        if (vertical_) {
            MarkDot(p.c, p.m, marks_, value);
        } else {
            MarkDot(p.m, p.c, marks_, value);
        }
    }

    bool TooShort(Point s, Point k) const { return int64_t(k.m) - s.m < int64_t(minimumExtent_); }

    // Follows the run that starts at S (already set to 200) and returns its
    // last sample E. One loop instead of one nesting level per sample: the
    // trace never comes back to try another branch, so nothing is pending.
    Point FollowChain(Point s) {
        Point k = s;
        for (;;) {
            pauses_.Step();
            if (std::optional<Point> next = ForwardNeighbour(k)) {
                k = *next;
                Sample(k.m, k.c) = kTraced;
                continue;
            }
            // k ends its chain.
            if (TooShort(s, k)) return k;
            const std::optional<Point> g = BridgeGap(s, k);
            if (!g || g->m >= mainSize_ - 1) return k;  // a landing on the last index counts as none
            Dot(*g, kLandingDot);
            k = *g;
            Sample(k.m, k.c) = kTraced;
        }
    }

    std::optional<Point> ForwardNeighbour(Point k) {
        const int64_t m = int64_t(k.m) + 1;
        for (int64_t dc = -1; dc <= 1; ++dc) {
            const int64_t c = int64_t(k.c) + dc;
            if (Inside(m, c) && Sample(int32_t(m), int32_t(c)) == kChain) return Point{int32_t(m), int32_t(c)};
        }
        return std::nullopt;
    }

    std::optional<Point> SearchWindow(int64_t m, int64_t c) {
        for (int64_t o = -kWindowReach; o <= kWindowReach; ++o) {
            if (Inside(m, c + o) && Sample(int32_t(m), int32_t(c + o)) == kChain) {
                return Point{int32_t(m), int32_t(c + o)};
            }
        }
        return std::nullopt;
    }

    // Bresenham walk from K along S->K. Horizontally x drives only when
    // |dx| > |dy|; vertically y drives unless |dx| > |dy|: on a tie y drives
    // in both procedures. The walk always ends: each step moves the driving
    // coordinate by exactly one towards a bound that stops it (the main
    // axis's last index or below 0; the cross axis's last index or more than
    // 7 below 0). A walk without direction (S = K) searches its window once.
    std::optional<Point> BridgeGap(Point s, Point k) {
        const int64_t dm = int64_t(k.m) - s.m;
        const int64_t dc = int64_t(k.c) - s.c;
        const int64_t am = 2 * Abs(dm);
        const int64_t ac = 2 * Abs(dc);
        const int sm = Sign(dm);
        const int sc = Sign(dc);
        const bool mainDrives = vertical_ ? am >= ac : am > ac;
        const bool still = dm == 0 && dc == 0;
        const int64_t mainLast = int64_t(mainSize_) - 1;
        const int64_t crossLast = int64_t(crossSize_) - 1;
        int64_t d = mainDrives ? ac - Abs(dm) : am - Abs(dc);
        int64_t pm = k.m;
        int64_t pc = k.c;
        for (;;) {
            pauses_.Count(1);  // offered at the trace's next step
            if (pm >= mainLast || pm < 0) return std::nullopt;
            if (!mainDrives && pc >= crossLast) return std::nullopt;
            if (pc < -kWindowReach || pc > crossLast + kWindowReach) return std::nullopt;
            if (mainDrives) {
                if (d >= 0) {
                    pc += sc;
                    d -= am;
                }
                pm += sm;
                d += ac;
            } else {
                if (d >= 0) {
                    pm += sm;
                    d -= ac;
                }
                pc += sc;
                d += am;
            }
            if (std::optional<Point> landing = SearchWindow(pm, pc)) return landing;
            if (still) return std::nullopt;
        }
    }

    // The line through S and E, extended to cross positions at main 0 and at
    // the main axis's last index. S.m != E.m here.
    void RecordLine(Point s, Point e) {
        const int32_t mainLast = mainSize_ - 1;
        const int32_t num = Sub32(Mul32(s.m, e.c), Mul32(s.c, e.m));
        const int32_t den = Sub32(s.m, e.m);
        if (den == 0) return;
        const int32_t farNum = Sub32(num, Mul32(Sub32(e.c, s.c), mainLast));
        const std::optional<int32_t> a = RoundToInt32(double(num) / double(den));
        const std::optional<int32_t> b = RoundToInt32(double(farNum) / double(den));
        if (!a || !b) return;
        const bool drawn = *a >= 0 && *a < crossSize_ && *b >= 0 && *b < crossSize_;
        if (vertical_) {
            if (drawn) DrawLine(*a, 0, *b, mainLast, marks_, kLineMark);
            AddLine(lines_, kAppendVertical, *a, *b);
        } else {
            if (drawn) DrawLine(0, *a, mainLast, *b, marks_, kLineMark);
            AddLine(lines_, kAppendHorizontal, *a, *b);
        }
    }

    GrayPlane& plane_;
    MarkPlane& marks_;
    const int32_t minimumExtent_;
    LineLists& lines_;
    const bool vertical_;
    const int32_t mainSize_;
    const int32_t crossSize_;
    PauseCounter pauses_;  // a pause before every main index, a step per trace step
};

// The marks must share the picture's geometry; anything else is a caller
// error that is left without effect rather than written out of bounds.
bool Usable(const GrayPlane& plane, const MarkPlane& marks) {
    return plane && marks && plane.width > 0 && plane.height > 0 && marks.width == plane.width &&
           marks.height == plane.height;
}

}  // namespace

void GapLinesHorizontal(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines,
                        const EventPump& pump) {
    if (!Usable(plane, marks)) return;
    GapTracer(plane, marks, minimumExtent, lines, false, pump).Run();
}

void GapLinesVertical(GrayPlane& plane, MarkPlane& marks, int32_t minimumExtent, LineLists& lines,
                      const EventPump& pump) {
    if (!Usable(plane, marks)) return;
    GapTracer(plane, marks, minimumExtent, lines, true, pump).Run();
}

}  // namespace vexo
