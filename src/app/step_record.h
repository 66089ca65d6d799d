// One user action and what it left behind, as vexo-cli reports it for every
// step and the window exports for its last operation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/find_grid_record.h"
#include "app/operation_record.h"
#include "core/memory_screen.h"

namespace vexo {

// What the user did: pick an operation and press GO, click a shortcut
// button, type a parameter, move the track bar, tick or untick "Go on",
// press GO, press "R".
enum class StepKind { Op, Shortcut, Param, Offset, GoOn, NoGoOn, Go, Refresh, FindGrid };

// The name of a step kind in a report ("op", "go-on", ...).
const char* StepName(StepKind kind);

struct StepRecord {
    StepKind kind = StepKind::Go;
    std::optional<int> operation;  // the operation that ran during the step, if one did
    std::string parameterText;     // the parameter box when it ran, else at the step's end
    std::vector<RecordedMessage> messages;
    std::string caption;
    std::string label;
    int activePlane = 0;
    std::vector<std::string> logAdded;
    int progressMaximum = 0;
    int progressPosition = 0;
    std::vector<LineEnds> horizontalLines;
    std::vector<LineEnds> verticalLines;
    std::vector<Cell> cells;
    std::string outcome;     // of a grid search, else empty
    bool cancelled = false;  // the operation was stopped by Cancel
    std::optional<FindGridRecord> grid;  // the step was Find Grid
};

// Fills in what the step's operation left behind.
inline void TakeOperation(StepRecord& step, const OperationRecord& record) {
    step.operation = record.operation;
    step.parameterText = record.parameterText;
    step.horizontalLines = record.horizontalLines;
    step.verticalLines = record.verticalLines;
    step.cells = record.cells;
    step.outcome = record.outcome;
    step.cancelled = record.cancelled;
}

}  // namespace vexo
