// What an operation leaves behind for a report: its lines and its cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lines/cell.h"

namespace vexo {

struct LineEnds {
    int32_t a = 0;
    int32_t b = 0;
};

// Where a grid search (operations 13 to 17) ended: its grid, or the first of
// its stages that left no grid possible.
inline constexpr const char* kGridFound = "grid found";
inline constexpr const char* kNoHorizontalLines = "no horizontal lines";
inline constexpr const char* kNoVerticalLines = "no vertical lines";
inline constexpr const char* kNoSpacingFound = "no spacing found";
inline constexpr const char* kEveryLineDropped = "every line dropped";

// What the last operation left behind for a report.
struct OperationRecord {
    uint64_t sequence = 0;  // counts the operations run so far
    int operation = -1;
    std::string parameterText;
    std::vector<LineEnds> horizontalLines;  // as they stood just before they were freed
    std::vector<LineEnds> verticalLines;
    std::vector<Cell> cells;
    bool cancelled = false;  // stopped by Cancel before its pipeline ended
    std::string outcome;     // of a grid search that ended, else empty
};

}  // namespace vexo
