// Line lists and the drawing primitives that write marks.
//
// Two singly linked lists hold the lines found during one operation:
// horizontalLines (a = row at column 0, b = row at the last column) and
// verticalLines (a = column at row 0, b = column at the far row). Freeing a
// list resets its head only; the tail is meaningful only while the head is set.
#pragma once

#include <cstdint>

#include "core/plane.h"

namespace vexo {

struct LineNode {
    int32_t a = 0;
    int32_t b = 0;
    uint8_t flag = 0;
    LineNode* next = nullptr;
};

struct LineList {
    LineNode* head = nullptr;
    LineNode* tail = nullptr;
    bool empty() const { return head == nullptr; }
};

enum AddLineMode : int {
    kAppendHorizontal = 0,
    kAppendVertical = 1,
    kPrependVertical = 2,
};

void FreeLines(LineList& list);

struct LineLists {
    LineList horizontalLines;
    LineList verticalLines;

    LineLists() = default;
    LineLists(const LineLists&) = delete;
    LineLists& operator=(const LineLists&) = delete;
    ~LineLists() {
        FreeLines(horizontalLines);
        FreeLines(verticalLines);
    }
};

// Obtains a node {a, b, flag 0} and links it by mode. A node that cannot be
// obtained throws Terminate("Out of memory by new(neu)!"); nothing is added.
void AddLine(LineLists& lists, AddLineMode mode, int32_t a, int32_t b);
// Unlinks the node (which must be in the list) and frees it.
void RemoveLine(LineNode* node, LineList& list);

// Bresenham from (x0, y0) towards (x1, y1); stops at the end point or at the
// plane's last column (x driving) or last row (y driving). Points of the walk
// outside the plane are skipped.
void DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Plane& plane, uint8_t value);
// The 3x3 square centred on (x, y), clipped to the plane.
void MarkDot(int32_t x, int32_t y, Plane& marks, uint8_t value);
void ClearMarks(Plane& plane);

}  // namespace vexo
