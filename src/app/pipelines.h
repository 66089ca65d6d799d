// The pipelines of the eighteen operations, one function each, and what they
// work with. A is the active plane and O the other one, both taken at the
// moment of each step; every step renders so the user watches the pipeline
// work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/operations.h"
#include "core/image_state.h"
#include "core/work_hooks.h"
#include "lines/cell.h"

namespace vexo {

class Workbench;
class ProgressBar;
class Screen;
struct LineLists;

// One run of an operation: the workbench's picture, lines and screen, and the
// operation's own table entry.
class Pipeline {
public:
    Pipeline(Workbench& bench, const OperationInfo& operation);

    ImageState& image();
    LineLists& lines();
    Screen& screen();
    ProgressBar& progress();
    // The workbench's event pump (the convolutions call it at fixed points).
    const EventPump& pump() const { return pump_; }
    // The pause points of long work: the workbench's pump, about every 50 ms.
    const EventPump& pause() const { return pause_; }
    // What the Hough transforms call back: a step of the progress bar, and
    // their pause points.
    const WorkHooks& houghHooks() const { return houghHooks_; }

    // Appends the operation's name to the title, when it has one.
    void Caption();
    // The parameter; the operation's message and fallback when it is negative.
    int32_t Parameter();
    // Shows the operation's invalid-parameter message and returns its fallback.
    int32_t RejectParameter();
    // The position of the segment-offset track bar.
    int32_t SegmentOffset() const;
    // Shows the plane with the marks over it; stops the operation once the
    // window is closing. A pause point comes first.
    void Render(const GrayPlane& plane);
    // Back to the loaded picture (see Workbench::Refresh), after a pause point.
    void Refresh(bool withSender);
    // Appends the lines to the log list.
    void ShowLog(const std::vector<std::string>& lines);
    // Adds labelled cells to the record of the operation.
    void RecordCells(const std::vector<Cell>& cells);
    // The stages of a grid search: the first stage that leaves no grid
    // possible names the outcome, unless the search finds its grid after all.
    // Computed beside the search, which runs on as it always does.
    void StageCameUpEmpty(const char* outcome);
    // Records the outcome of the grid search that has just ended.
    void EndGridSearch(bool found);

private:
    Workbench& bench_;
    const OperationInfo& operation_;
    const char* emptyStage_ = nullptr;
    EventPump pump_;
    EventPump pause_;
    WorkHooks houghHooks_;
};

void RunHorizontalSobel(Pipeline& p);
void RunVerticalSobel(Pipeline& p);
void RunEdgeSearch(Pipeline& p);
void RunSegmentation(Pipeline& p);
void RunHoughHorizontalLines(Pipeline& p);
void RunHoughVerticalLines(Pipeline& p);
void RunHoughCrossings(Pipeline& p);
void RunEraseHighIntensity(Pipeline& p);
void RunHorizontalChainFilter(Pipeline& p);
void RunVerticalChainFilter(Pipeline& p);
void RunHorizontalGapLines(Pipeline& p);
void RunVerticalGapLines(Pipeline& p);
void RunHistogramBand(Pipeline& p);
void RunChainGridSearch(Pipeline& p);
void RunHorizontalGridSearch(Pipeline& p);
void RunVerticalGridSearch(Pipeline& p);
void RunGridSearch(Pipeline& p);
void RunGridSearchLabelsOnly(Pipeline& p);

}  // namespace vexo
