#include "find_grid/crossing_refinement.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>

#include <opencv2/calib3d.hpp>

namespace vexo::grid {

namespace {

constexpr double kChessContrast = 50;   // gray levels between a chessboard's two tones at least
constexpr int kChessMinSquares = 6;
constexpr double kChessShare = 0.35;    // of the lattice's cells a chessboard covers at least
constexpr double kToneMargin = 0.3;     // of the contrast: how near a tone a square must read
constexpr double kChessAgreement = 0.5; // a chessboard's squares that read their tone, net of twice those that read the other

// Bilinear sample at (x, y); -1 outside the picture.
inline double Sample(const GrayPlane& p, double x, double y) {
    if (!(x >= 0 && y >= 0 && x <= p.width - 1 && y <= p.height - 1)) return -1;
    const int x0 = std::min(static_cast<int>(x), std::max(0, p.width - 2));
    const int y0 = std::min(static_cast<int>(y), std::max(0, p.height - 2));
    const int dx = x0 + 1 < p.width ? 1 : 0;
    const std::size_t dy = y0 + 1 < p.height ? std::size_t(p.width) : 0;
    const uint8_t* q = p.begin() + std::size_t(y0) * std::size_t(p.width) + std::size_t(x0);
    const double fx = x - x0, fy = y - y0;
    const double top = q[0] + (q[dx] - q[0]) * fx;
    const double bottom = q[dy] + (q[dy + std::size_t(dx)] - q[dy]) * fx;
    return top + (bottom - top) * fy;
}

// Sub-sample place of the extreme at index k of the n values d (of `sign`
// times d a maximum): the centroid of its lobe, the values of that sign
// within two samples of it. A blurred side's lobe is symmetric about the
// side, so its centroid does not lean towards the nearest sample as a
// parabola through the peak does.
double Vertex(const double* d, int n, int k, double sign = 1) {
    double sum = 0, weighted = 0;
    for (int j = std::max(0, k - 2); j <= std::min(n - 1, k + 2); ++j) {
        const double w = sign * d[j];
        if (w <= 0) continue;
        sum += w;
        weighted += w * j;
    }
    return sum > 0 ? weighted / sum : k;
}

// What a profile across an edge must show.
enum class Expect {
    Nothing,       // nothing to see (a light square against the margin)
    Rising,        // a chessboard step, dark to light along the normal
    Falling,       // light to dark
    DarkLine,      // a ruled line darker than its sides
    LightLine,     // lighter
    DarkBorder,    // the border of a ruled grid: a dark line, or a step of either direction
    LightBorder,   // a light line, or a step
};

constexpr double kStep = 0.5;         // pixels between profile samples
constexpr int kMostSteps = 48;        // profile samples at most (twice the widest reach over the step)
constexpr int kMostProfiles = 16;     // profiles across one edge at most
constexpr int kFirstProfiles = 8;     // in the first pass
constexpr double kNearest = 3;        // pixels: how far from the found crossings the next passes look at least
constexpr double kNearWidths = 1.5;   // and in the grid's thickest lines' widths
constexpr double kInLine = 1.5;      // pixels: how near its neighbours' curve an edge's point lies at least
constexpr double kInLineShare = 0.05; // of the edge's length
constexpr double kShownEdge = 0.7;   // share of an edge's profiles that must show it
constexpr double kHopeless = 0.35;   // share of a family's edges that show, below which a lattice is no grid
constexpr int kPasses = 5;            // measurements at most, each from the crossings the last one found
constexpr double kSettled = 0.15;     // pixels: crossings that move less have settled
constexpr std::size_t kBentPoints = 10;  // points a line needs to be fitted as bent
constexpr double kBentLength = 20;    // pixels a line's points must spread along it to be fitted as bent
constexpr double kOnLine = 0.75;      // pixels: how near its edge's straight line a measured point lies
constexpr double kLineWidth = 12;     // pixels between the two sides of a ruled line at most
constexpr double kWidestBorderOfCell = 0.4;  // of the typical cell side: the widest border line at most
constexpr double kBorderOfThick = 2;         // the widest border line, in the grid's thickest inner lines
constexpr double kComparable = 0.4;   // of the profile's strongest step: what may be the line
constexpr double kLinedShare = 0.7;   // of a cell's width: how much of it a line inside must cross
constexpr double kInsideShare = 0.4;  // of the grid's lines' typical strength: a line inside at least
constexpr double kAboveNoise = 3.5;   // a step against the profile's median change
constexpr double kWidestShare = 3;    // of the grid's typical line width: the widest line it has
constexpr double kWidthSlack = 1.5;   // pixels added to that
constexpr double kMinDifference = 1;  // gray levels a side of a line or step must change per sample
constexpr double kReach = 0.2;        // of the spacing of the lines: how far across an edge its line is looked for
constexpr double kFirstReach = 4;     // pixels: on the first look, at least as far as this
constexpr double kFirstReachShare = 0.35;  // or this share of the spacing, if less

// What a profile must show, beyond the kind of line or step.
struct Looking {
    double floor = kMinDifference;  // least change per half pixel of a side of a line or of a step
    double aboveNoise = 0;          // if above 0: a side also stands this many times above the profile's median change
    double widest = kLineWidth;     // pixels between the sides of a line at most
    double widestBorder = kLineWidth;  // the same for its border line
    double lineWidth = 0;           // the grid's typical line width, pixels (0: not known yet)
    double thickWidth = 0;          // the width of its thickest inner lines (the blocks of a sudoku)
    int inside = 0;                 // at a grid's border: the side of the grid, +1 or -1 along the normal
    double near = 0;                // if above 0: the line lies within this many pixels of the place looked at
    int most = kMostProfiles;       // profiles across an edge at most
    bool smoothSteps = false;       // a step not found inside the grid is looked for again on the smoothed profile
};

// What a profile showed.
struct Found {
    double offset = 0;    // along the normal, pixels
    double strength = 0;  // change per half pixel of a step, or of a line's weaker side
    double width = 0;     // pixels between a line's sides; 0 for a step
};

// A grid's border line wider than this many of its thickest inner lines is
// a frame around the grid rather than its border line.
constexpr double kFrameWidths = 1.5;

// Where, along the normal from c, the line or step lies; false when the
// profile does not show what is expected.
bool MeasureAcross(const GrayPlane& picture, Expect expect, const PointF& c, const PointF& normal, double reach,
                   const Looking& looking, Found& out) {
    if (expect == Expect::Nothing) return false;
    if (expect == Expect::DarkBorder || expect == Expect::LightBorder) {
        const bool dark = expect == Expect::DarkBorder;
        Looking wide = looking;
        wide.widest = looking.widestBorder;
        const bool line = MeasureAcross(picture, dark ? Expect::DarkLine : Expect::LightLine, c, normal, reach, wide, out);
        const bool frame = line && looking.thickWidth > 0 && out.width > kFrameWidths * looking.thickWidth + 1;
        if (line && !frame) return true;
        // A border line that runs into a frame of its own tone: its middle
        // lies half a line's width into the frame from the frame's inner
        // side (when the grid's side is known).
        if (frame) {
            if (looking.inside == 0) return false;
            out.offset += looking.inside * (0.5 * out.width - 0.5 * looking.lineWidth);
            out.width = looking.lineWidth;
            return true;
        }
        for (const Expect step : {Expect::Rising, Expect::Falling}) {
            if (!MeasureAcross(picture, step, c, normal, reach, looking, out)) continue;
            const bool lineTowardsMinus = (step == Expect::Rising) == dark;
            out.offset += (lineTowardsMinus ? -0.5 : 0.5) * looking.lineWidth;
            return true;
        }
        return false;
    }
    const int n = std::min(static_cast<int>(reach / kStep), kMostSteps / 2);
    double d[kMostSteps];
    const int size = 2 * n;
    double previous = Sample(picture, c.x - n * kStep * normal.x, c.y - n * kStep * normal.y);
    if (previous < 0) return false;
    for (int k = -n + 1; k <= n; ++k) {
        const double v = Sample(picture, c.x + k * kStep * normal.x, c.y + k * kStep * normal.y);
        if (v < 0) return false;
        d[k + n - 1] = v - previous;  // at k - 0.5
        previous = v;
    }
    auto place = [&](double k) { return (k - n + 0.5) * kStep; };
    double floor = looking.floor;
    // Where the profile should be mostly flat, the steps of a line stand out
    // from its noise: at least a few times its typical change from one
    // sample to the next.
    if (looking.aboveNoise > 0) {
        double changes[kMostSteps];
        for (int i = 0; i < size; ++i) changes[i] = std::abs(d[i]);
        std::nth_element(changes, changes + size / 2, changes + size);
        floor = std::max(floor, looking.aboveNoise * changes[size / 2]);
    }
    // The rising and the falling steps of the profile: its local extremes.
    int rises[kMostSteps], falls[kMostSteps];
    int riseCount = 0, fallCount = 0;
    double strongest = 0;
    auto extremes = [&] {
        riseCount = fallCount = 0;
        strongest = 0;
        for (int k = 0; k < size; ++k) {
            const double v = d[k];
            const double before = k > 0 ? d[k - 1] : 0, after = k + 1 < size ? d[k + 1] : 0;
            if (v >= floor && v >= before && v > after) rises[riseCount++] = k;
            if (-v >= floor && v <= before && v < after) falls[fallCount++] = k;
            strongest = std::max(strongest, std::abs(v));
        }
    };
    extremes();
    // Of the steps (or pairs of steps) strong enough beside the strongest
    // one, the nearest the expected place: a digit or a stroke next to the
    // line is often as strong as the line itself, but farther away.
    double best = 1e300;
    bool found = false;
    auto consider = [&](double at, double strength, double width) {
        if (strength < kComparable * strongest || std::abs(at) >= best) return;
        best = std::abs(at);
        out = {at, strength, width};
        found = true;
    };
    switch (expect) {
        case Expect::Rising:
        case Expect::Falling: {
            const bool rising = expect == Expect::Rising;
            auto lookForSteps = [&] {
                const int* steps = rising ? rises : falls;
                const int* others = rising ? falls : rises;
                const int stepCount = rising ? riseCount : fallCount, otherCount = rising ? fallCount : riseCount;
                for (int s = 0; s < stepCount; ++s) {
                    const int k = steps[s];
                    const double step = std::abs(d[k]);
                    // A step, not the side of a line: nothing as strong the
                    // other way right beside it.
                    bool lone = true;
                    for (int o = 0; o < otherCount; ++o)
                        if (std::abs(others[o] - k) * kStep <= kLineWidth && std::abs(d[others[o]]) > 0.5 * step)
                            lone = false;
                    if (lone) consider(place(Vertex(d, size, k, rising ? 1 : -1)), step, 0);
                }
            };
            lookForSteps();
            if (found || !looking.smoothSteps || looking.inside != 0) return found;
            // Noise beside a blurred step passes for changes the other way
            // beside it: the changes once more, smoothed over about two
            // pixels.
            double smooth[kMostSteps];
            for (int k = 0; k < size; ++k) {
                double sum = 0, weight = 0;
                for (int o = std::max(0, k - 2); o <= std::min(size - 1, k + 2); ++o) {
                    sum += (3 - std::abs(o - k)) * d[o];
                    weight += 3 - std::abs(o - k);
                }
                smooth[k] = sum / weight;
            }
            std::copy(smooth, smooth + size, d);
            extremes();
            lookForSteps();
            return found;
        }
        case Expect::DarkLine:
        case Expect::LightLine: {
            const bool dark = expect == Expect::DarkLine;
            for (int fi = 0; fi < fallCount; ++fi)
                for (int ri = 0; ri < riseCount; ++ri) {
                    const int f = falls[fi], r = rises[ri];
                    const int first = dark ? f : r, second = dark ? r : f;
                    if (second <= first || (second - first) * kStep > looking.widest) continue;
                    const double a = -d[f], b = d[r];
                    if (a < 0.3 * b || b < 0.3 * a) continue;
                    const double sideF = place(Vertex(d, size, f, -1)), sideR = place(Vertex(d, size, r));
                    consider(0.5 * (sideF + sideR), std::min(a, b), std::abs(sideR - sideF));
                }
            return found;
        }
        default: return false;
    }
}

double CellMean(const GrayPlane& picture, const Matrix3& h, int i, int j) {
    double s = 0;
    int n = 0;
    for (int b = 0; b < 3; ++b)
        for (int a = 0; a < 3; ++a) {
            const PointF p = ApplyToPoint(h, i + 0.3 + 0.2 * a, j + 0.3 + 0.2 * b);
            const double v = Sample(picture, p.x, p.y);
            if (v < 0) continue;
            s += v;
            ++n;
        }
    return n > 0 ? s / n : -1;
}

}  // namespace

Tones ReadTones(const GrayPlane& picture, const Matrix3& h, int& i0, int& j0, int& i1, int& j1) {
    Tones tones;
    const int nc = i1 - i0, nr = j1 - j0;
    std::vector<double> means(std::size_t(nc) * std::size_t(nr), -1);
    std::vector<double> known;
    double cells = 0, cellCount = 0;
    for (int j = 0; j < nr; ++j)
        for (int i = 0; i < nc; ++i) {
            const double m = CellMean(picture, h, i0 + i, j0 + j);
            means[std::size_t(j) * std::size_t(nc) + std::size_t(i)] = m;
            if (m < 0) continue;
            known.push_back(m);
            cells += m;
            ++cellCount;
        }
    // Two tones of the cells, split where the two classes are most distinct
    // (Otsu's rule on the cells' means).
    std::sort(known.begin(), known.end());
    double bestSplit = 0, dark = 0, light = 0;
    {
        double total = 0;
        for (double m : known) total += m;
        double below = 0;
        for (std::size_t k = 1; k < known.size(); ++k) {
            below += known[k - 1];
            const double n0 = double(k), n1 = double(known.size() - k);
            const double m0 = below / n0, m1 = (total - below) / n1;
            const double between = n0 * n1 * (m1 - m0) * (m1 - m0);
            if (between > bestSplit) {
                bestSplit = between;
                dark = m0;
                light = m1;
            }
        }
    }
    if (light - dark >= kChessContrast) {
        // +1 where a cell reads the tone its parity asks for, -1 where it
        // reads the other, 0 where it reads neither (covered); the board is
        // the rectangle of cells that adds up to the most, for one parity.
        const double margin = kToneMargin * (light - dark);
        int bestSum = 0, bestParity = 0, bi0 = 0, bj0 = 0, bi1 = 0, bj1 = 0;
        std::vector<int> column(static_cast<std::size_t>(nc));
        for (int parity = 0; parity < 2; ++parity)
            for (int ja = 0; ja < nr; ++ja) {
                std::fill(column.begin(), column.end(), 0);
                for (int jb = ja; jb < nr; ++jb) {
                    for (int i = 0; i < nc; ++i) {
                        const double m = means[std::size_t(jb) * std::size_t(nc) + std::size_t(i)];
                        const bool wantsDark = ((i0 + i + j0 + jb) % 2 + 2) % 2 == parity;
                        const bool readsDark = m >= 0 && m < dark + margin, readsLight = m > light - margin;
                        if ((wantsDark && readsDark) || (!wantsDark && readsLight)) column[std::size_t(i)] += 1;
                        if ((wantsDark && readsLight) || (!wantsDark && readsDark) || m < 0) column[std::size_t(i)] -= 2;
                    }
                    int run = 0, start = 0;
                    for (int i = 0; i < nc; ++i) {
                        if (run <= 0) {
                            run = 0;
                            start = i;
                        }
                        run += column[std::size_t(i)];
                        if (run > bestSum) {
                            bestSum = run;
                            bestParity = parity;
                            bi0 = start;
                            bi1 = i + 1;
                            bj0 = ja;
                            bj1 = jb + 1;
                        }
                    }
                }
            }
        const int area = (bi1 - bi0) * (bj1 - bj0);
        // The board must be most of what the lattice holds, or squares that
        // happen to alternate (a page's cells with and without a digit)
        // would pass for one.
        if (bi1 - bi0 >= 2 && bj1 - bj0 >= 2 && area >= kChessMinSquares && area >= kChessShare * nc * nr &&
            bestSum >= kChessAgreement * area) {
            tones.kind = GridKind::Chessboard;
            tones.darkParity = bestParity;
            i1 = i0 + bi1;
            j1 = j0 + bj1;
            i0 += bi0;
            j0 += bj0;
            return tones;
        }
    }
    // Ruled: lines darker or lighter than the cells.
    double lines = 0, lineCount = 0;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i < i1; ++i)
            for (double t : {0.3, 0.5, 0.7}) {
                const PointF p = ApplyToPoint(h, i + t, j);
                const double v = Sample(picture, p.x, p.y);
                if (v >= 0) lines += v, ++lineCount;
            }
    tones.darkLines = lineCount == 0 || cellCount == 0 || lines / lineCount <= cells / cellCount;
    return tones;
}

void FitChessboardExtent(const GrayPlane& picture, const Matrix3& h, const Tones& tones, int& i0, int& j0, int& i1,
                         int& j1) {
    constexpr double kKnownShare = 0.3;  // squares of the right tone a line needs at least
    constexpr double kWrongShare = 0.3;  // squares of the wrong tone a line may have at most (pieces on a board)
    // The two tones' means over the board as it stands.
    double sum[2] = {0, 0};
    int count[2] = {0, 0};
    for (int j = j0; j < j1; ++j)
        for (int i = i0; i < i1; ++i) {
            const double m = CellMean(picture, h, i, j);
            if (m < 0) continue;
            const int dark = (((i + j) % 2 + 2) % 2) == tones.darkParity;
            sum[dark] += m;
            ++count[dark];
        }
    if (count[0] == 0 || count[1] == 0) return;
    const double light = sum[0] / count[0], dark = sum[1] / count[1];
    // Whether the squares of column i (or row j) from a to b keep the
    // alternation. A square reads dark or light when its mean lies near that
    // tone's mean, else it is covered (a piece, a finger) and says nothing;
    // the line keeps the alternation when squares of its own tones are many
    // and squares of the wrong tone few.
    const double contrast = light - dark;
    // How well a line of squares keeps the alternation (the share of its
    // squares that read their own tone, less twice the share that read the
    // wrong one), and whether that is enough. Squares of both tones must
    // read theirs: beyond a board's edge its paper's margin reads light in
    // every square, and the dark ones there read as covered.
    auto quality = [&](bool column, int at, int a, int b, bool& enough) {
        int agree = 0, disagree = 0, agreeing[2] = {0, 0};
        for (int k = a; k < b; ++k) {
            const int i = column ? at : k, j = column ? k : at;
            const double m = CellMean(picture, h, i, j);
            if (m < 0) {
                ++disagree;  // off the picture
                continue;
            }
            const bool isDark = (((i + j) % 2 + 2) % 2) == tones.darkParity;
            const bool readsDark = m < dark + kToneMargin * contrast;
            const bool readsLight = m > light - kToneMargin * contrast;
            if ((isDark && readsDark) || (!isDark && readsLight)) ++agree, ++agreeing[isDark];
            if ((isDark && readsLight) || (!isDark && readsDark)) ++disagree;
        }
        const int total = b - a;
        enough = agree >= std::max(2.0, kKnownShare * total) && disagree <= kWrongShare * total &&
                 agree >= 2 * disagree && agreeing[0] > 0 && agreeing[1] > 0;
        return (agree - 2.0 * disagree) / std::max(1, total);
    };
    constexpr int kLargest = 64;
    // Shrink first, the worst line at a time, so that lines off the board do
    // not spoil the reading of the others; then grow while lines beyond keep
    // the alternation.
    for (;;) {
        double worst = 1e300;
        int side = -1;
        for (int s = 0; s < 4; ++s) {
            const bool column = s < 2;
            if ((column && i1 - i0 <= 2) || (!column && j1 - j0 <= 2)) continue;
            const int at = s == 0 ? i0 : s == 1 ? i1 - 1 : s == 2 ? j0 : j1 - 1;
            bool enough;
            const double q = column ? quality(true, at, j0, j1, enough) : quality(false, at, i0, i1, enough);
            if (!enough && q < worst) {
                worst = q;
                side = s;
            }
        }
        if (side < 0) break;
        if (side == 0) ++i0;
        if (side == 1) --i1;
        if (side == 2) ++j0;
        if (side == 3) --j1;
    }
    for (int round = 0; round < kLargest; ++round) {
        bool changed = false, enough;
        quality(true, i0 - 1, j0, j1, enough);
        if (enough && i1 - i0 < kLargest) --i0, changed = true;
        quality(true, i1, j0, j1, enough);
        if (enough && i1 - i0 < kLargest) ++i1, changed = true;
        quality(false, j0 - 1, i0, i1, enough);
        if (enough && j1 - j0 < kLargest) --j0, changed = true;
        quality(false, j1, i0, i1, enough);
        if (enough && j1 - j0 < kLargest) ++j1, changed = true;
        if (!changed) break;
    }
}

namespace {

// The points measured on each cell edge of the lattice.
struct EdgeReadings {
    int nc = 0, nr = 0;  // crossings per row and per column
    std::vector<std::vector<PointF>> horizontal, vertical;

    std::vector<PointF>& h(int i, int j) { return horizontal[std::size_t(j) * std::size_t(nc) + std::size_t(i)]; }
    std::vector<PointF>& v(int i, int j) { return vertical[std::size_t(j) * std::size_t(nc) + std::size_t(i)]; }
};

// Whether a cell of the lattice (indices from 0) is dark, light, or off the
// board, for a chessboard.
int Tone(const Tones& tones, int i, int j, int columns, int rows, int i0, int j0) {
    if (i < 0 || j < 0 || i >= columns || j >= rows) return 0;
    return (((i + i0 + j + j0) % 2 + 2) % 2) == tones.darkParity ? -1 : 1;
}

Expect ExpectAcross(const Tones& tones, int toneMinus, int tonePlus, bool border) {
    if (tones.kind == GridKind::Ruled) {
        if (border) return tones.darkLines ? Expect::DarkBorder : Expect::LightBorder;
        return tones.darkLines ? Expect::DarkLine : Expect::LightLine;
    }
    if (toneMinus < 0 && tonePlus >= 0) return Expect::Rising;
    if (tonePlus < 0 && toneMinus >= 0) return Expect::Falling;
    return Expect::Nothing;
}

// Measures the edge p-q across at points along its middle part; returns the
// share of them where the picture shows what is expected, on one straight
// line (NaN when nothing is expected).
// `spacing` is the distance to the neighbouring parallel lines: how far
// across the edge the profile may reach. Points count as on the line within
// `onLine` pixels of the line fitted to them (0: a little more on long
// edges, which may bend). The lines and steps found go to `found`.
double MeasureEdge(const GrayPlane& picture, Expect expect, const PointF& p, const PointF& q, double spacing,
                   const Looking& looking, std::vector<PointF>& out, std::vector<Found>* found = nullptr,
                   double onLine = 0) {
    out.clear();
    const double length = Distance(p, q);
    if (expect == Expect::Nothing) return NAN;
    if (length < 4) return 0;
    const PointF along = (1 / length) * (q - p);
    const PointF normal{-along.y, along.x};
    // The first look (nothing near known yet) reaches a few pixels at
    // least: the lattice from the search may lie that far off lines only a
    // few pixels apart.
    double reach = kReach * spacing;
    if (looking.near == 0) reach = std::max(reach, std::min(kFirstReach, kFirstReachShare * spacing));
    reach = std::clamp(reach, 2.0, 10.0);
    if (looking.near > 0) reach = std::min(reach, looking.near);
    const int samples = std::clamp(static_cast<int>(length / 3), 3, looking.most);
    for (int k = 0; k < samples; ++k) {
        const double t = 0.2 + 0.6 * (k + 0.5) / samples;
        const PointF c = p + t * (q - p);
        Found f;
        if (MeasureAcross(picture, expect, c, normal, reach, looking, f) && std::abs(f.offset) < 0.8 * reach) {
            out.push_back(c + f.offset * normal);
            if (found) found->push_back(f);
        }
    }
    Vec3 line;
    if (out.size() < 2 || !FitLine(out, {}, line)) return double(out.size() >= 2 ? 0 : out.size()) / samples;
    const double tolerance = onLine > 0 ? onLine : std::max(kOnLine, 0.03 * length);
    int on = 0;
    for (const PointF& x : out) on += std::abs(Dot(line, Point(x))) <= tolerance;
    return double(on) / samples;
}

// A line of the grid near a crossing: a straight base line and offsets
// from it that may bend with the position along it (a page that is not
// flat, a lens).
struct Curve {
    PointF origin, along, normal;
    double a = 0, b = 0, c = 0;  // offset = a + b s + c s^2 at s along the base line

    PointF At(double s) const { return origin + s * along + (a + s * (b + c * s)) * normal; }
    // The tangent at s, as a line with a unit normal.
    Vec3 Tangent(double s) const {
        const PointF p = At(s);
        PointF d = along + (b + 2 * c * s) * normal;
        const double n = std::hypot(d.x, d.y);
        d = {d.x / n, d.y / n};
        return {-d.y, d.x, -(-d.y * p.x + d.x * p.y)};
    }
    double Position(const PointF& p) const { return (p.x - origin.x) * along.x + (p.y - origin.y) * along.y; }
};

// Fits a curve to points: bent (quadratic) when there are enough of them
// along a good length and `mayBend`, else straight. False for fewer than
// four points.
bool FitCurve(const std::vector<PointF>& points, Curve& curve, bool mayBend = true) {
    Vec3 base;
    if (points.size() < 4 || !FitLine(points, {}, base)) return false;
    PointF mean{0, 0};
    for (const PointF& p : points) mean = mean + (1.0 / points.size()) * p;
    curve.origin = mean;
    curve.normal = {base.x, base.y};
    curve.along = {base.y, -base.x};
    double lo = 1e300, hi = -1e300;
    for (const PointF& p : points) {
        lo = std::min(lo, curve.Position(p));
        hi = std::max(hi, curve.Position(p));
    }
    curve.a = curve.b = curve.c = 0;
    if (!mayBend || points.size() < kBentPoints || hi - lo < kBentLength) return true;
    // Least squares offset = a + b s + c s^2, in s scaled to about one: the
    // normal equations, solved by Cramer's rule.
    const double scale = 2 / (hi - lo);
    double m[3][3] = {}, r[3] = {};
    for (const PointF& p : points) {
        const double s = curve.Position(p) * scale;
        const double o = (p.x - mean.x) * curve.normal.x + (p.y - mean.y) * curve.normal.y;
        const double row[3] = {1, s, s * s};
        for (int u = 0; u < 3; ++u) {
            r[u] += o * row[u];
            for (int v = 0; v < 3; ++v) m[u][v] += row[u] * row[v];
        }
    }
    auto det = [](const double (&a)[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    if (!(std::abs(d) > 1e-12)) return true;
    double k[3];
    for (int col = 0; col < 3; ++col) {
        double a[3][3];
        for (int u = 0; u < 3; ++u)
            for (int v = 0; v < 3; ++v) a[u][v] = v == col ? r[u] : m[u][v];
        k[col] = det(a) / d;
    }
    curve.a = k[0];
    curve.b = k[1] * scale;
    curve.c = k[2] * scale * scale;
    return std::isfinite(curve.a) && std::isfinite(curve.b) && std::isfinite(curve.c);
}

// Where two curves meet: their tangents met again at the point each curve
// passes nearest the last meeting point.
bool MeetCurves(const Curve& first, const Curve& second, PointF& x) {
    if (!Meet(first.Tangent(0), second.Tangent(0), x)) return false;
    for (int round = 0; round < 3; ++round) {
        PointF next;
        if (!Meet(first.Tangent(first.Position(x)), second.Tangent(second.Position(x)), next)) return false;
        x = next;
    }
    return std::isfinite(x.x) && std::isfinite(x.y);
}

}  // namespace

MeasuredCrossings RefineCrossings(const GrayPlane& picture, const Tones& tones, const Matrix3& gridToPicture, int i0,
                                  int j0, int i1, int j1, const std::vector<PointF>* start) {
    MeasuredCrossings out;
    out.columns = i1 - i0;
    out.rows = j1 - j0;
    const int nc = out.columns + 1, nr = out.rows + 1;
    const std::size_t count = std::size_t(nc) * std::size_t(nr);
    auto at = [nc](int i, int j) { return std::size_t(j) * std::size_t(nc) + std::size_t(i); };
    out.homography = Multiply(gridToPicture, {1, 0, double(i0), 0, 1, double(j0), 0, 0, 1});
    std::vector<PointF> place(count);
    for (int j = 0; j < nr; ++j)
        for (int i = 0; i < nc; ++i) place[at(i, j)] = ApplyToPoint(out.homography, i, j);
    if (start && start->size() == count) place = *start;

    EdgeReadings readings;
    readings.nc = nc;
    readings.nr = nr;
    readings.horizontal.resize(count);
    readings.vertical.resize(count);
    std::vector<PointF> points;
    out.crossings = place;
    out.measured.assign(count, 0);
    out.horizontalShown.assign(count, NAN);
    out.verticalShown.assign(count, NAN);
    // What the edges must show: after the first pass, lines no wider than a
    // few times the grid's own (the lines of text beside a grid are wider).
    std::vector<Found> found;  // the lines and steps the last pass found on the edges
    std::vector<Found> inner;  // those of them on inner edges
    // The strengths of the lines and steps found on inner edges, per line of
    // each family.
    std::vector<std::vector<double>> perLine[2];
    Looking looking;
    looking.smoothSteps = tones.kind == GridKind::Chessboard;
    double widestBorder = kLineWidth;
    {
        std::vector<double> sides;
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i) {
                if (i + 1 < nc) sides.push_back(Distance(place[at(i, j)], place[at(i + 1, j)]));
                if (j + 1 < nr) sides.push_back(Distance(place[at(i, j)], place[at(i, j + 1)]));
            }
        if (!sides.empty()) {
            std::nth_element(sides.begin(), sides.begin() + std::ptrdiff_t(sides.size() / 2), sides.end());
            widestBorder = kWidestBorderOfCell * sides[sides.size() / 2];
        }
    }
    for (int pass = 0; pass < kPasses; ++pass) {
        perLine[0].assign(std::size_t(nr), {});
        perLine[1].assign(std::size_t(nc), {});
        if (!inner.empty()) {
            std::vector<double> widths;
            for (const Found& f : inner)
                if (f.width > 0) widths.push_back(f.width);
            if (!widths.empty()) {
                std::sort(widths.begin(), widths.end());
                looking.lineWidth = widths[widths.size() / 2];
                looking.thickWidth = widths[widths.size() * 9 / 10];
                looking.widest = std::min(kLineWidth, kWidestShare * looking.lineWidth + kWidthSlack);
                // A grid with thick inner lines (a sudoku's blocks) may have
                // a border thicker still, wider than a line of text beside a
                // grid at the usual sizes when taken close up.
                looking.widestBorder = std::max(
                    kLineWidth, std::min(widestBorder, kBorderOfThick * looking.thickWidth + kWidthSlack));
            }
        }
        found.clear();
        inner.clear();
        // The first pass looks wide and coarsely from the lattice's places;
        // the next ones look near the crossings it found, with every profile.
        looking.most = pass == 0 ? kFirstProfiles : kMostProfiles;
        looking.near = pass == 0 ? 0 : std::max(kNearest, kNearWidths * looking.thickWidth);
        // Measure every edge between the current places of its crossings.
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i) {
                if (i + 1 < nc) {
                    const PointF& p = place[at(i, j)];
                    const PointF& q = place[at(i + 1, j)];
                    // The cell on the normal's side of a horizontal edge.
                    const PointF below = ApplyToPoint(out.homography, i + 0.5, j + 0.5);
                    const PointF normal{-(q.y - p.y), q.x - p.x};
                    const bool belowIsPlus = (below.x - p.x) * normal.x + (below.y - p.y) * normal.y > 0;
                    const int up = Tone(tones, i, j - 1, out.columns, out.rows, i0, j0);
                    const int down = Tone(tones, i, j, out.columns, out.rows, i0, j0);
                    // The nearer of the rows above and below.
                    const PointF mid = ApplyToPoint(out.homography, i + 0.5, j);
                    const double spacing = std::min(Distance(mid, ApplyToPoint(out.homography, i + 0.5, j - 1)),
                                                    Distance(mid, ApplyToPoint(out.homography, i + 0.5, j + 1)));
                    Looking here = looking;
                    if (j == 0) here.inside = belowIsPlus ? 1 : -1;
                    if (j == nr - 1) here.inside = belowIsPlus ? -1 : 1;
                    const std::size_t before = inner.size();
                    out.horizontalShown[at(i, j)] = MeasureEdge(
                        picture, ExpectAcross(tones, belowIsPlus ? up : down, belowIsPlus ? down : up, j == 0 || j == nr - 1),
                        p, q, spacing, here, readings.h(i, j), j == 0 || j == nr - 1 ? &found : &inner);
                    for (std::size_t k = before; k < inner.size(); ++k)
                        perLine[0][std::size_t(j)].push_back(inner[k].strength);
                }
                if (j + 1 < nr) {
                    const PointF& p = place[at(i, j)];
                    const PointF& q = place[at(i, j + 1)];
                    const PointF right = ApplyToPoint(out.homography, i + 0.5, j + 0.5);
                    const PointF normal{-(q.y - p.y), q.x - p.x};
                    const bool rightIsPlus = (right.x - p.x) * normal.x + (right.y - p.y) * normal.y > 0;
                    const int left = Tone(tones, i - 1, j, out.columns, out.rows, i0, j0);
                    const int here = Tone(tones, i, j, out.columns, out.rows, i0, j0);
                    const PointF mid = ApplyToPoint(out.homography, i, j + 0.5);
                    const double spacing = std::min(Distance(mid, ApplyToPoint(out.homography, i - 1, j + 0.5)),
                                                    Distance(mid, ApplyToPoint(out.homography, i + 1, j + 0.5)));
                    Looking side = looking;
                    if (i == 0) side.inside = rightIsPlus ? 1 : -1;
                    if (i == nc - 1) side.inside = rightIsPlus ? -1 : 1;
                    const std::size_t before = inner.size();
                    out.verticalShown[at(i, j)] = MeasureEdge(
                        picture, ExpectAcross(tones, rightIsPlus ? left : here, rightIsPlus ? here : left, i == 0 || i == nc - 1),
                        p, q, spacing, side, readings.v(i, j), i == 0 || i == nc - 1 ? &found : &inner);
                    for (std::size_t k = before; k < inner.size(); ++k)
                        perLine[1][std::size_t(i)].push_back(inner[k].strength);
                }
            }
        // Each crossing where the gently bent lines fitted to the points of
        // the edges around it meet: two edges each side, three inwards at a
        // border.
        std::fill(out.measured.begin(), out.measured.end(), 0);
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i) {
                // A border line is one line from end to end (its outer
                // crossings often show on one side only); an inner line is
                // read near the crossing.
                auto gather = [&](bool row, int at, int n, std::vector<PointF>& into) {
                    into.clear();
                    const bool border = row ? (j == 0 || j == nr - 1) : (i == 0 || i == nc - 1);
                    const int before = at >= 2 ? 2 : at, after = n - 1 - at >= 2 ? 2 : n - 1 - at;
                    const int from = border ? 0 : at - (after < 2 ? std::min(at, 3) : before);
                    const int to = border ? n - 1 : at + (before < 2 ? std::min(n - 1 - at, 3) : after);
                    for (int k = from; k < to; ++k) {
                        const auto& e = row ? readings.h(k, j) : readings.v(i, k);
                        into.insert(into.end(), e.begin(), e.end());
                    }
                };
                Curve row, column;
                gather(true, i, nc, points);
                const bool haveRow = FitCurve(points, row);
                gather(false, j, nr, points);
                const bool haveColumn = haveRow && FitCurve(points, column);
                PointF x;
                if (haveRow && haveColumn && MeetCurves(row, column, x)) {
                    out.crossings[at(i, j)] = x;
                    out.measured[at(i, j)] = 1;
                }
            }
        // The homography of the measured crossings that agree with it.
        std::vector<cv::Point2f> gridPoints, picturePoints;
        std::vector<std::size_t> which;
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i)
                if (out.measured[at(i, j)]) {
                    gridPoints.emplace_back(float(i), float(j));
                    picturePoints.emplace_back(float(out.crossings[at(i, j)].x), float(out.crossings[at(i, j)].y));
                    which.push_back(at(i, j));
                }
        double cell = 0;
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i + 1 < nc; ++i) cell += Distance(place[at(i, j)], place[at(i + 1, j)]);
        cell /= std::max(1, (nc - 1) * nr);
        if (gridPoints.size() >= 8) {
            std::vector<uchar> inliers;
            cv::Mat fit = cv::findHomography(gridPoints, picturePoints, cv::RANSAC, std::max(1.5, 0.08 * cell), inliers,
                                             500, 0.995);
            if (!fit.empty()) {
                std::vector<cv::Point2f> g2, p2;
                for (std::size_t k = 0; k < inliers.size(); ++k) {
                    if (inliers[k]) {
                        g2.push_back(gridPoints[k]);
                        p2.push_back(picturePoints[k]);
                    } else {
                        out.measured[which[k]] = 0;
                    }
                }
                if (g2.size() >= 6) {
                    const cv::Mat ls = cv::findHomography(g2, p2, 0);
                    if (!ls.empty()) fit = ls;
                }
                for (int k = 0; k < 9; ++k) out.homography[std::size_t(k)] = fit.at<double>(k / 3, k % 3);
            }
        }
        // Crossings without a measurement: the homography's place, moved as
        // the measured crossings around it are moved.
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i) {
                if (out.measured[at(i, j)]) continue;
                double sw = 0, dx = 0, dy = 0;
                for (int b = std::max(0, j - 2); b <= std::min(nr - 1, j + 2); ++b)
                    for (int a = std::max(0, i - 2); a <= std::min(nc - 1, i + 2); ++a) {
                        if (!out.measured[at(a, b)]) continue;
                        const PointF model = ApplyToPoint(out.homography, a, b);
                        const double w = 1.0 / ((a - i) * (a - i) + (b - j) * (b - j));
                        sw += w;
                        dx += w * (out.crossings[at(a, b)].x - model.x);
                        dy += w * (out.crossings[at(a, b)].y - model.y);
                    }
                const PointF model = ApplyToPoint(out.homography, i, j);
                out.crossings[at(i, j)] = sw > 0 ? PointF{model.x + dx / sw, model.y + dy / sw} : model;
            }
        // Done once no crossing moves any more; at once when the first
        // look shows too little of the lattice for it to be a grid.
        double moved = 0;
        for (std::size_t k = 0; k < count; ++k) moved = std::max(moved, Distance(place[k], out.crossings[k]));
        place = out.crossings;
        if (pass == 0) {
            for (const auto* shares : {&out.horizontalShown, &out.verticalShown}) {
                int edges = 0, solid = 0;
                for (double v : *shares)
                    if (!std::isnan(v)) ++edges, solid += v >= kShownEdge;
                if (edges == 0 || solid < kHopeless * edges) {
                    out.hopeless = true;
                    return out;
                }
            }
        }
        if (pass > 0 && moved < kSettled) break;
    }
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    for (int f = 0; f < 2; ++f) {
        std::vector<double> all;
        out.lineStrength[f].assign(perLine[f].size(), NAN);
        for (std::size_t l = 0; l < perLine[f].size(); ++l) {
            std::vector<double>& v = perLine[f][l];
            if (v.empty()) continue;
            all.insert(all.end(), v.begin(), v.end());
            out.lineStrength[f][l] = median(v);
        }
        if (!all.empty()) out.strength[f] = median(all);
    }
    // An edge of the grid lies where its line, read on the edges beside it,
    // goes on; what happens to show on an edge off the grid (a line of text
    // beside it) does not: the share of each edge's points that lie on the
    // curve of its neighbours.
    out.horizontalAligned.assign(count, 1.0);
    out.verticalAligned.assign(count, 1.0);
    {
        std::vector<PointF> beside;
        auto inLine = [&](bool row, int i, int j) {
            const std::vector<PointF>& own = row ? readings.h(i, j) : readings.v(i, j);
            if (own.empty()) return 1.0;
            beside.clear();
            const int here = row ? i : j, n = row ? nc - 1 : nr - 1;  // edges along the line
            for (int k = std::max(0, here - 2); k <= std::min(n - 1, here + 2); ++k) {
                if (k == here) continue;
                const auto& e = row ? readings.h(k, j) : readings.v(i, k);
                beside.insert(beside.end(), e.begin(), e.end());
            }
            // Beyond the last edge of a line a bend would be carried on
            // from one side only, far too much under strong perspective:
            // the line is carried on straight there.
            const bool end = here == 0 || here == n - 1;
            Curve curve;
            if (!FitCurve(beside, curve, !end)) return 1.0;
            const double length = Distance(place[at(i, j)], row ? place[at(i + 1, j)] : place[at(i, j + 1)]);
            const double tolerance = std::max(kInLine, kInLineShare * length);
            int aligned = 0;
            for (const PointF& x : own) {
                const double s = curve.Position(x);
                aligned += std::abs(Dot(curve.Tangent(s), Point(x))) <= tolerance;
            }
            return double(aligned) / double(own.size());
        };
        for (int j = 0; j < nr; ++j)
            for (int i = 0; i < nc; ++i) {
                if (i + 1 < nc) out.horizontalAligned[at(i, j)] = inLine(true, i, j);
                if (j + 1 < nr) out.verticalAligned[at(i, j)] = inLine(false, i, j);
            }
    }
    // Lines inside the cells, parallel to their sides and across most of
    // them: the lines of a page of text, a finer ruling, the second side of
    // a window. A ruled grid's cells hold none (a digit is shorter than its
    // cell); a chessboard's squares are plain, and are not looked into.
    out.lined.assign(std::size_t(out.columns) * std::size_t(out.rows), 0);
    found.insert(found.end(), inner.begin(), inner.end());
    if (tones.kind == GridKind::Ruled && !found.empty()) {
        const Expect line = tones.darkLines ? Expect::DarkLine : Expect::LightLine;
        // A line inside must be a fair share as strong as the grid's own.
        std::vector<double> strengths;
        for (const Found& f : found) strengths.push_back(f.strength);
        std::nth_element(strengths.begin(), strengths.begin() + std::ptrdiff_t(strengths.size() / 2), strengths.end());
        const Looking inside{std::max(kMinDifference, kInsideShare * strengths[strengths.size() / 2]), kAboveNoise,
                             looking.widest};

        std::vector<PointF> ignored;
        for (int j = 0; j < out.rows; ++j)
            for (int i = 0; i < out.columns; ++i) {
                const PointF tl = out.crossings[at(i, j)], tr = out.crossings[at(i + 1, j)];
                const PointF bl = out.crossings[at(i, j + 1)], br = out.crossings[at(i + 1, j + 1)];
                auto point = [&](double u, double v) {
                    return (1 - v) * ((1 - u) * tl + u * tr) + v * ((1 - u) * bl + u * br);
                };
                const double width = (Distance(tl, tr) + Distance(bl, br)) / 2;
                const double height = (Distance(tl, bl) + Distance(tr, br)) / 2;
                // A line across the middle of the cell, then one down it; each
                // is looked for a fifth of the cell either side.
                const bool lined =
                    MeasureEdge(picture, line, point(0, 0.5), point(1, 0.5), height, inside, ignored, nullptr, kOnLine) >=
                        kLinedShare ||
                    MeasureEdge(picture, line, point(0.5, 0), point(0.5, 1), width, inside, ignored, nullptr, kOnLine) >=
                        kLinedShare;
                out.lined[std::size_t(j) * std::size_t(out.columns) + std::size_t(i)] = lined;
            }
    }
    return out;
}

double LineUnevenness(const GrayPlane& picture, const MeasuredCrossings& m, bool darkLines, int family, int i0,
                      int j0, int i1, int j1) {
    const int nc = m.columns + 1;
    auto at = [&](int i, int j) { return m.crossings[std::size_t(j) * std::size_t(nc) + std::size_t(i)]; };
    std::vector<double> ratios;
    std::vector<double> line, paper, changes;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            // The edge from (i, j) along the family, and the parallel edge
            // one line over (inwards at the far border).
            const bool rows = family == 0;
            if (rows ? i == i1 : j == j1) continue;
            const PointF p = at(i, j), q = rows ? at(i + 1, j) : at(i, j + 1);
            const int oi = rows ? i : (i < i1 ? i + 1 : i - 1), oj = rows ? (j < j1 ? j + 1 : j - 1) : j;
            const PointF op = at(oi, oj), oq = rows ? at(oi + 1, oj) : at(oi, oj + 1);
            const double length = Distance(p, q);
            const int n = std::clamp(static_cast<int>(0.6 * length / 2), 0, 40);
            if (n < 4) continue;
            line.clear();
            paper.clear();
            changes.clear();
            bool off = false;
            for (int k = 0; k < n; ++k) {
                const double t = 0.2 + 0.6 * (k + 0.5) / n;
                const PointF c = p + t * (q - p);
                const PointF beside = c + 0.5 * ((op + t * (oq - op)) - c);  // halfway to the next line
                const double v = Sample(picture, c.x, c.y), w = Sample(picture, beside.x, beside.y);
                if (v < 0 || w < 0) {
                    off = true;
                    break;
                }
                line.push_back(darkLines ? v : 255 - v);
                paper.push_back(darkLines ? w : 255 - w);
                if (k > 0) changes.push_back(std::abs(line[std::size_t(k)] - line[std::size_t(k) - 1]));
            }
            if (off) continue;
            auto median = [](std::vector<double>& v) {
                std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
                return v[v.size() / 2];
            };
            const double contrast = median(paper) - median(line);
            if (contrast <= 0) {
                ratios.push_back(1e9);
                continue;
            }
            double change = 0;
            for (double d : changes) change += d;
            ratios.push_back(change / double(changes.size()) / contrast);
        }
    if (ratios.empty()) return 0;
    std::nth_element(ratios.begin(), ratios.begin() + std::ptrdiff_t(ratios.size() / 2), ratios.end());
    return ratios[ratios.size() / 2];
}

}  // namespace vexo::grid
