#include "find_grid/find_grid.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "core/label_text.h"

namespace vexo {

const char* GridKindName(GridKind kind) { return kind == GridKind::Chessboard ? "chessboard" : "ruled"; }

PointF Homography::Map(double u, double v) const {
    const double x = h[0] * u + h[1] * v + h[2];
    const double y = h[3] * u + h[4] * v + h[5];
    const double w = h[6] * u + h[7] * v + h[8];
    return {x / w, y / w};
}

Lattice FindGrid(const GrayPlane&, const WorkHooks&) { return {}; }

std::string CellName(int column, int row) { return CellLabelText(column, row); }

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

Lattice ToSourcePixels(const Lattice& lattice, int scale) {
    Lattice source = lattice;
    if (scale <= 0 || scale == 8) return source;
    const double k = 8.0 / scale;
    const double shift = (k - 1) / 2;
    for (PointF& p : source.crossings) p = {p.x * k + shift, p.y * k + shift};
    std::array<double, 9>& h = source.homography.h;
    for (int c = 0; c < 3; ++c) {
        h[c] = h[c] * k + shift * h[6 + c];
        h[3 + c] = h[3 + c] * k + shift * h[6 + c];
    }
    const double last = h[8];
    if (last != 0)
        for (double& e : h) e /= last;
    return source;
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
