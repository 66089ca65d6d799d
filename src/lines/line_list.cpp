#include "lines/line_list.h"

#include <cstring>
#include <iterator>
#include <new>

#include "core/arithmetic.h"
#include "core/errors.h"

namespace vexo {

namespace {

// Runs an insertion of the standard list, turning exhausted memory into the
// end of the program.
template <typename F>
auto Obtaining(F&& insert) {
    try {
        return insert();
    } catch (const std::bad_alloc&) {
        throw Terminate(kNodeOutOfMemory);
    }
}

inline void Put(Plane& plane, int64_t x, int64_t y, uint8_t value) {
    if (plane.contains(x, y)) plane.at(static_cast<int>(x), static_cast<int>(y)) = value;
}

}  // namespace

void LineList::Append(const Line& line) {
    Obtaining([&] { lines_.push_back(line); });
}

void LineList::Prepend(const Line& line) {
    Obtaining([&] { lines_.push_front(line); });
}

LineList::iterator LineList::InsertAfter(iterator position, const Line& line) {
    return Obtaining([&] { return lines_.insert(std::next(position), line); });
}

void AddLine(LineLists& lists, AddLineMode mode, int32_t a, int32_t b) {
    const Line line{a, b, 0};
    switch (mode) {
        case kAppendHorizontal: lists.horizontalLines.Append(line); break;
        case kAppendVertical: lists.verticalLines.Append(line); break;
        case kPrependVertical: lists.verticalLines.Prepend(line); break;
    }
}

// The walk runs in 64 bits: end points may be far outside the plane, and the
// loop ends at the end point or at the plane's last column / row.
void DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Plane& plane, uint8_t value) {
    const int64_t dx = int64_t(x1) - x0;
    const int64_t dy = int64_t(y1) - y0;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    const int64_t ax = 2 * adx;
    const int64_t ay = 2 * ady;
    const int sx = Sign(dx);
    const int sy = Sign(dy);
    int64_t x = x0;
    int64_t y = y0;
    if (ax > ay) {
        int64_t d = ay - adx;
        for (;;) {
            Put(plane, x, y, value);
            if (x == x1 || x == plane.width - 1) return;
            // A walk moving away from the last column never meets it; it ends
            // once it has left the plane for good.
            if ((sx < 0 && x < 0) || (sx > 0 && x >= plane.width)) return;
            if (d >= 0) {
                y += sy;
                d -= ax;
            }
            x += sx;
            d += ay;
        }
    } else {
        int64_t d = ax - ady;
        for (;;) {
            Put(plane, x, y, value);
            if (y == y1 || y == plane.height - 1) return;
            if ((sy < 0 && y < 0) || (sy > 0 && y >= plane.height)) return;
            if (d >= 0) {
                x += sx;
                d -= ay;
            }
            y += sy;
            d += ax;
        }
    }
}

void MarkDot(int32_t x, int32_t y, Plane& marks, uint8_t value) {
    for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox) Put(marks, int64_t(x) + ox, int64_t(y) + oy, value);
}

void ClearMarks(Plane& plane) {
    if (plane.data) std::memset(plane.data.get(), 0, plane.size());
}

}  // namespace vexo
