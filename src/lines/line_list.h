// Line lists and the drawing primitives that write marks.
//
// Two lists hold the lines found during one operation: horizontalLines
// (a = row at column 0, b = row at the last column) and verticalLines
// (a = column at row 0, b = column at the far row). A list owns its lines;
// cleared, it is simply empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

#include "core/plane.h"

namespace vexo {

struct Line {
    int32_t a = 0;
    int32_t b = 0;
    uint8_t flag = 0;  // marks the lines of regular pairs during grid regularisation
};

// Lines in order. Every operation that adds a line throws
// Terminate("Out of memory by new(neu)!") when the line cannot be obtained,
// and then leaves the list as it was.
class LineList {
public:
    using iterator = std::list<Line>::iterator;
    using const_iterator = std::list<Line>::const_iterator;

    void Append(const Line& line);
    void Prepend(const Line& line);
    // Inserts the line right after `position` (which must be a line of this
    // list) and returns it.
    iterator InsertAfter(iterator position, const Line& line);
    // Removes the line at `position` and returns the one that followed it.
    iterator Remove(iterator position) { return lines_.erase(position); }
    void Clear() { lines_.clear(); }

    bool empty() const { return lines_.empty(); }
    std::size_t size() const { return lines_.size(); }
    Line& front() { return lines_.front(); }
    const Line& front() const { return lines_.front(); }
    Line& back() { return lines_.back(); }
    const Line& back() const { return lines_.back(); }
    iterator begin() { return lines_.begin(); }
    iterator end() { return lines_.end(); }
    const_iterator begin() const { return lines_.begin(); }
    const_iterator end() const { return lines_.end(); }

private:
    std::list<Line> lines_;
};

enum AddLineMode : int {
    kAppendHorizontal = 0,
    kAppendVertical = 1,
    kPrependVertical = 2,
};

struct LineLists {
    LineList horizontalLines;
    LineList verticalLines;
};

// Adds the line {a, b, flag 0} to the list the mode names, at its end or, for
// kPrependVertical, at its start.
void AddLine(LineLists& lists, AddLineMode mode, int32_t a, int32_t b);

// Bresenham from (x0, y0) towards (x1, y1); stops at the end point or at the
// plane's last column (x driving) or last row (y driving). Points of the walk
// outside the plane are skipped.
void DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Plane& plane, uint8_t value);
// The 3x3 square centred on (x, y), clipped to the plane.
void MarkDot(int32_t x, int32_t y, Plane& marks, uint8_t value);
void ClearMarks(Plane& plane);

}  // namespace vexo
