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

// What the last operation left behind for a report.
struct OperationRecord {
    uint64_t sequence = 0;  // counts the operations run so far
    int operation = -1;
    std::string parameterText;
    std::vector<LineEnds> horizontalLines;  // as they stood just before they were freed
    std::vector<LineEnds> verticalLines;
    std::vector<Cell> cells;
    bool cancelled = false;  // stopped by Cancel before its pipeline ended
};

}  // namespace vexo
