#include "lines/line_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/arithmetic.h"
#include "core/errors.h"

namespace vexo {

void AddLine(LineLists& lists, AddLineMode mode, int32_t a, int32_t b) {
    auto* node = new (std::nothrow) LineNode;
    if (node == nullptr) throw Terminate(kNodeOutOfMemory);
    node->a = a;
    node->b = b;
    node->flag = 0;
    node->next = nullptr;
    LineList& list = mode == kAppendHorizontal ? lists.horizontalLines : lists.verticalLines;
    if (mode == kPrependVertical) {
        // Prepending to an empty list also makes the node the tail, so a
        // later append never links behind a stale tail.
        if (list.head == nullptr) list.tail = node;
        node->next = list.head;
        list.head = node;
        return;
    }
    if (list.head == nullptr) {
        list.head = node;
    } else {
        list.tail->next = node;
    }
    list.tail = node;
}

void RemoveLine(LineNode* node, LineList& list) {
    if (node == list.head) {
        if (list.tail == node) list.tail = nullptr;
        list.head = node->next;
        delete node;
        return;
    }
    LineNode* pred = list.head;
    while (pred != nullptr && pred->next != node) pred = pred->next;
    if (pred == nullptr) return;  // not in this list
    if (node == list.tail) {
        pred->next = nullptr;
        list.tail = pred;
    } else {
        pred->next = node->next;
    }
    delete node;
}

void FreeLines(LineList& list) {
    LineNode* node = list.head;
    while (node != nullptr) {
        LineNode* next = node->next;
        delete node;
        node = next;
    }
    list.head = nullptr;  // the tail keeps its stale value
}

namespace {

inline void Put(Plane& plane, int64_t x, int64_t y, uint8_t value) {
    if (plane.contains(x, y)) plane.at(static_cast<int>(x), static_cast<int>(y)) = value;
}

}  // namespace

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
