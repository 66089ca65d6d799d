#include "find_grid/subdivision.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "find_grid/geometry.h"

namespace vexo::grid {

namespace {

constexpr int kMostParts = 10;
constexpr double kSmallestPart = 4;        // pixels: the finer cells' side at least
constexpr double kSubdividedShare = 0.75;  // of the cuts that must show as lines
constexpr double kLeastContrast = 4;       // gray levels between a finer line and the paper beside it
constexpr double kContrastShare = 0.1;     // of the cell's own lines' contrast, at least
constexpr double kLineWindow = 0.2;        // of a part: how far from its place a cut's line may lie

// The unit square onto a cell: (u, v) in 0..1 to picture pixels.
Matrix3 CellMap(const PointF& tl, const PointF& tr, const PointF& br, const PointF& bl) {
    const cv::Point2f square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const cv::Point2f quad[4] = {{float(tl.x), float(tl.y)},
                                 {float(tr.x), float(tr.y)},
                                 {float(br.x), float(br.y)},
                                 {float(bl.x), float(bl.y)}};
    const cv::Mat m = cv::getPerspectiveTransform(square, quad);
    Matrix3 h;
    for (int k = 0; k < 9; ++k) h[std::size_t(k)] = m.at<double>(k / 3, k % 3);
    return h;
}

double Sample(const GrayPlane& picture, const PointF& p) {
    const double x = std::clamp(p.x, 0.0, picture.width - 1.0), y = std::clamp(p.y, 0.0, picture.height - 1.0);
    const int x0 = std::min(static_cast<int>(x), picture.width - 2 < 0 ? 0 : picture.width - 2);
    const int y0 = std::min(static_cast<int>(y), picture.height - 2 < 0 ? 0 : picture.height - 2);
    const int x1 = std::min(x0 + 1, picture.width - 1), y1 = std::min(y0 + 1, picture.height - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = picture.at(x0, y0) * (1 - fx) + picture.at(x1, y0) * fx;
    const double bottom = picture.at(x0, y1) * (1 - fx) + picture.at(x1, y1) * fx;
    return top * (1 - fy) + bottom * fy;
}

bool Inside(const GrayPlane& picture, const PointF& p) {
    return p.x >= 0 && p.y >= 0 && p.x <= picture.width - 1 && p.y <= picture.height - 1;
}

// A cell's profiles: the mean gray along each of `n` lines across it (u fixed
// for `across`, v fixed for `down`), over each of kPieces pieces of the
// middle of their length, with lines dark (light lines' profiles are turned
// over). A line of the grid shows in every piece; a blot in one.
constexpr int kPieces = 4;

struct CellProfiles {
    std::vector<double> across[kPieces], down[kPieces];
};

CellProfiles ReadProfiles(const GrayPlane& picture, const Matrix3& map, int n, int m, bool darkLines) {
    CellProfiles p;
    for (int piece = 0; piece < kPieces; ++piece) {
        p.across[piece].assign(std::size_t(n), 0.0);
        p.down[piece].assign(std::size_t(n), 0.0);
    }
    for (int a = 0; a < n; ++a) {
        const double u = double(a) / (n - 1);
        for (int piece = 0; piece < kPieces; ++piece) {
            double sumAcross = 0, sumDown = 0;
            for (int b = 0; b < m; ++b) {
                const double v = 0.1 + 0.8 * (piece + (b + 0.5) / m) / kPieces;
                sumAcross += Sample(picture, ApplyToPoint(map, u, v));
                sumDown += Sample(picture, ApplyToPoint(map, v, u));
            }
            p.across[piece][std::size_t(a)] = darkLines ? sumAcross / m : 255 - sumAcross / m;
            p.down[piece][std::size_t(a)] = darkLines ? sumDown / m : 255 - sumDown / m;
        }
    }
    return p;
}

// The darkest and the mean of a profile over u in [from, to].
double Darkest(const std::vector<double>& p, double from, double to) {
    const int n = int(p.size());
    const int a = std::clamp(static_cast<int>(std::floor(from * (n - 1))), 0, n - 1);
    const int b = std::clamp(static_cast<int>(std::ceil(to * (n - 1))), 0, n - 1);
    double least = 1e9;
    for (int k = a; k <= b; ++k) least = std::min(least, p[std::size_t(k)]);
    return least;
}

double Mean(const std::vector<double>& p, double from, double to) {
    const int n = int(p.size());
    const int a = std::clamp(static_cast<int>(std::lround(from * (n - 1))), 0, n - 1);
    const int b = std::clamp(static_cast<int>(std::lround(to * (n - 1))), a, n - 1);
    double sum = 0;
    for (int k = a; k <= b; ++k) sum += p[std::size_t(k)];
    return sum / (b - a + 1);
}

// Whether cut u of a profile cut into parts of `part` shows as a line
// darker than the paper on both sides of it by `least`.
bool CutShows(const std::vector<double>& p, double u, double part, double least) {
    const double w = kLineWindow * part;
    const double line = Darkest(p, u - w, u + w);
    const double before = Mean(p, u - part / 2 - w, u - part / 2 + w);
    const double after = Mean(p, u + part / 2 - w, u + part / 2 + w);
    return std::min(before, after) - line >= least;
}

// How many of the k - 1 cuts into k parts show as lines in all pieces of a
// cell's length but one at most.
int CutsShown(const std::vector<double> (&pieces)[kPieces], int k, double least) {
    const double part = 1.0 / k;
    int shown = 0;
    for (int c = 1; c < k; ++c) {
        int in = 0;
        for (const std::vector<double>& p : pieces) in += CutShows(p, c * part, part, least);
        shown += in >= kPieces - 1;
    }
    return shown;
}

}  // namespace

Subdivision FindSubdivision(const GrayPlane& picture, const std::vector<PointF>& crossings, int columns, int rows,
                            bool darkLines) {
    Subdivision parts;
    if (columns < 1 || rows < 1 || crossings.size() != std::size_t(columns + 1) * std::size_t(rows + 1))
        return parts;
    auto at = [&](int i, int j) { return crossings[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; };
    double across = 0, down = 0;  // mean cell sides
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            across += (Distance(at(i, j), at(i + 1, j)) + Distance(at(i, j + 1), at(i + 1, j + 1))) / 2;
            down += (Distance(at(i, j), at(i, j + 1)) + Distance(at(i + 1, j), at(i + 1, j + 1))) / 2;
        }
    across /= columns * rows;
    down /= columns * rows;
    const int mostAcross = std::min(kMostParts, static_cast<int>(across / kSmallestPart));
    const int mostDown = std::min(kMostParts, static_cast<int>(down / kSmallestPart));
    if (mostAcross < 2 && mostDown < 2) return parts;

    // Shown cuts per count of parts, over the cells wholly on the picture.
    std::vector<int> shownAcross(kMostParts + 1, 0), shownDown(kMostParts + 1, 0);
    int cells = 0;
    const int n = std::clamp(static_cast<int>(std::ceil(2 * std::max(across, down))), 16, 400);
    const int m = std::clamp(static_cast<int>(std::ceil(0.2 * std::min(across, down))), 2, 10);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const PointF tl = at(i, j), tr = at(i + 1, j), br = at(i + 1, j + 1), bl = at(i, j + 1);
            if (!Inside(picture, tl) || !Inside(picture, tr) || !Inside(picture, br) || !Inside(picture, bl)) continue;
            ++cells;
            const CellProfiles p = ReadProfiles(picture, CellMap(tl, tr, br, bl), n, m, darkLines);
            for (int dir = 0; dir < 2; ++dir) {
                const std::vector<double>(&pieces)[kPieces] = dir == 0 ? p.across : p.down;
                // The cell's own lines at its two ends against its paper, on
                // the whole length.
                std::vector<double> profile(pieces[0].size(), 0.0);
                for (const std::vector<double>& piece : pieces)
                    for (std::size_t a = 0; a < profile.size(); ++a) profile[a] += piece[a] / kPieces;
                std::vector<double> sorted = profile;
                std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
                const double paper = sorted[sorted.size() / 2];
                const double ends = (Darkest(profile, 0, 0.06) + Darkest(profile, 0.94, 1)) / 2;
                const double least = std::max(kLeastContrast, kContrastShare * (paper - ends));
                const int most = dir == 0 ? mostAcross : mostDown;
                for (int k = 2; k <= most; ++k)
                    (dir == 0 ? shownAcross : shownDown)[std::size_t(k)] += CutsShown(pieces, k, least);
            }
        }
    if (cells == 0) return parts;
    auto largest = [cells](const std::vector<int>& shown, int most) {
        for (int k = most; k >= 2; --k)
            if (shown[std::size_t(k)] >= kSubdividedShare * (k - 1) * cells) return k;
        return 1;
    };
    parts.columns = largest(shownAcross, mostAcross);
    parts.rows = largest(shownDown, mostDown);
    return parts;
}

std::vector<PointF> SubdividedCrossings(const std::vector<PointF>& crossings, int columns, int rows,
                                        const Subdivision& parts) {
    auto at = [&](int i, int j) { return crossings[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; };
    std::vector<Matrix3> maps(std::size_t(columns) * std::size_t(rows));
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
            maps[std::size_t(j) * std::size_t(columns) + std::size_t(i)] =
                CellMap(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    const int fc = columns * parts.columns, fr = rows * parts.rows;
    std::vector<PointF> fine(std::size_t(fc + 1) * std::size_t(fr + 1));
    for (int b = 0; b <= fr; ++b)
        for (int a = 0; a <= fc; ++a) {
            const int ci = a / parts.columns, cj = b / parts.rows;
            const bool onColumnLine = a % parts.columns == 0, onRowLine = b % parts.rows == 0;
            PointF& p = fine[std::size_t(b) * std::size_t(fc + 1) + std::size_t(a)];
            if (onColumnLine && onRowLine) {
                p = at(ci, cj);
                continue;
            }
            // The cells whose sides hold the point.
            double sx = 0, sy = 0;
            int count = 0;
            for (int i = onColumnLine ? ci - 1 : ci; i <= ci; ++i)
                for (int j = onRowLine ? cj - 1 : cj; j <= cj; ++j) {
                    if (i < 0 || j < 0 || i >= columns || j >= rows) continue;
                    const PointF q = ApplyToPoint(maps[std::size_t(j) * std::size_t(columns) + std::size_t(i)],
                                                  double(a - i * parts.columns) / parts.columns,
                                                  double(b - j * parts.rows) / parts.rows);
                    sx += q.x;
                    sy += q.y;
                    ++count;
                }
            p = {sx / count, sy / count};
        }
    return fine;
}

}  // namespace vexo::grid
