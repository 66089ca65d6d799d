// The eighteen operations and the one table that says everything about each:
// its label, caption suffix, default parameter text, how its parameter is
// read, whether the segment-offset track bar belongs to it, and the pipeline
// that runs it. The dispatcher, the controls and the window read this table;
// nothing else knows operation numbers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vexo {

class Pipeline;

// Operation numbers as the operation list and the shortcut buttons show them.
enum class Operation : int {
    HorizontalSobel,        // 0
    VerticalSobel,          // 1
    EdgeSearch,             // 2
    Segmentation,           // 3
    HoughHorizontalLines,   // 4
    HoughVerticalLines,     // 5
    HoughCrossings,         // 6
    EraseHighIntensity,     // 7
    HorizontalChainFilter,  // 8
    VerticalChainFilter,    // 9
    HorizontalGapLines,     // 10
    VerticalGapLines,       // 11
    HistogramBand,          // 12
    ChainGridSearch,        // 13
    HorizontalGridSearch,   // 14
    VerticalGridSearch,     // 15
    GridSearch,             // 16
    GridSearchLabelsOnly,   // 17
};

inline constexpr int kOperationCount = 18;

// How an operation reads the parameter box. A parameter that is not a
// non-negative integer shows the message in an error box and the fallback
// stands in for it.
struct ParameterRule {
    bool read = false;                     // false: the box is ignored
    const char* invalidMessage = nullptr;  // set exactly when read
    int32_t fallback = 0;
};

using PipelineFunction = void (*)(Pipeline&);

// What the status line reports after an operation: the picture it changed,
// the lines it found, or the grid and its cells.
enum class OperationResult { Picture, HorizontalLines, VerticalLines, Crossings, Grid };

// How an operation is explained to the user: a short title for the status
// line, a plain description, what its parameter means with its useful range
// (nullptr when the parameter box is not read), and what it leaves to report.
struct OperationHelp {
    const char* title;
    const char* description;
    const char* parameter;
    OperationResult result;
};

struct OperationInfo {
    Operation operation;
    const char* label;          // item text of the operation list, hint of its button
    const char* captionSuffix;  // appended to the title when the operation starts, or nullptr
    const char* defaultText;    // written into the parameter box when chosen, or nullptr
    ParameterRule parameter;
    bool segmentOffset;         // the segment-offset track bar shows while it is chosen
    PipelineFunction run;
    OperationHelp help;
};

extern const std::array<OperationInfo, kOperationCount> OperationTable;

// The operation with this index, or nullptr when there is none.
const OperationInfo* FindOperation(int index);

// The parameter text as a signed 32-bit integer: leading spaces, an optional
// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x"
// or "0X". Anything else, an empty text, or a value outside the signed 32-bit
// range gives nothing.
std::optional<int32_t> ParseParameter(const std::string& text);

}  // namespace vexo
