// The pipelines of the eighteen operations and the steps they share.
#include "app/pipelines.h"

#include "app/workbench.h"
#include "core/arithmetic.h"
#include "core/progress.h"
#include "core/screen.h"
#include "filters/chain_filter.h"
#include "filters/intensity.h"
#include "filters/sobel.h"
#include "lines/cells.h"
#include "lines/gap_lines.h"
#include "lines/grid.h"
#include "lines/hough.h"
#include "lines/line_list.h"

namespace vexo {

// ------------------------------------------------------------ the context

Pipeline::Pipeline(Workbench& bench, const OperationInfo& operation)
    : bench_(bench),
      operation_(operation),
      pump_([&bench] { bench.Pump(); }),
      pause_([&bench] { bench.Pause(); }),
      houghHooks_{[&bench] { bench.progress_.Step(); }, pause_} {}

ImageState& Pipeline::image() { return bench_.image_; }
LineLists& Pipeline::lines() { return *bench_.lines_; }
Screen& Pipeline::screen() { return bench_.screen_; }
ProgressBar& Pipeline::progress() { return bench_.progress_; }

void Pipeline::Caption() {
    if (operation_.captionSuffix != nullptr) screen().SetCaption(image().title + operation_.captionSuffix);
}

int32_t Pipeline::Parameter() {
    if (bench_.controls_.parameterValue >= 0) return bench_.controls_.parameterValue;
    return RejectParameter();
}

int32_t Pipeline::RejectParameter() {
    screen().ErrorBox(operation_.parameter.invalidMessage);
    return operation_.parameter.fallback;
}

int32_t Pipeline::SegmentOffset() const { return bench_.controls_.trackBar.position; }

// A render ends a step: the window gets its events before it, when they are
// due, so that work between pumps never adds up across steps.
void Pipeline::Render(const GrayPlane& plane) {
    bench_.Pause();
    bench_.RenderPlane(plane);
}

void Pipeline::Refresh(bool withSender) {
    bench_.Pause();
    bench_.Refresh(withSender);
}

void Pipeline::ShowLog(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) screen().LogAppend(line);
}

void Pipeline::RecordCells(const std::vector<Cell>& cells) {
    std::vector<Cell>& record = bench_.lastOperation_.cells;
    record.insert(record.end(), cells.begin(), cells.end());
}

void Pipeline::StageCameUpEmpty(const char* outcome) {
    if (emptyStage_ == nullptr) emptyStage_ = outcome;
}

// A search that passed every stage has two lines each way and so its grid;
// the last fallback only keeps the outcome a known text.
void Pipeline::EndGridSearch(bool found) {
    bench_.lastOperation_.outcome = found ? kGridFound : emptyStage_ != nullptr ? emptyStage_ : kEveryLineDropped;
}

namespace {

// ------------------------------------------------------------ shared steps

// Threshold of the horizontal Hough transform of the grid search: width div 4
// below 700, else width / 4.3 to nearest.
int32_t HorizontalHoughThreshold(int32_t width) {
    return width < 700 ? width / 4 : RoundQuotient(width, 4.3);
}

int32_t VerticalHoughThreshold(int32_t height) { return RoundQuotient(height, 4.0); }

// Convolution of A into O, then O becomes A.
void SobelFilter(Pipeline& p, const Kernel3x3& kernel) {
    ImageState& im = p.image();
    p.Caption();
    const int32_t threshold = p.Parameter();
    ConvolveThreshold(im.active(), im.other(), kernel, static_cast<uint8_t>(threshold & 0xFF), p.pump());
    im.Toggle();
    p.Render(im.active());
}

void HoughLines(Pipeline& p, bool vertical) {
    ImageState& im = p.image();
    p.Caption();
    p.progress().SetMaximum(4);
    p.progress().Step();
    ClearMarks(im.marks);
    const int32_t threshold = p.Parameter();
    if (vertical)
        HoughVertical(im.active(), im.marks, threshold, p.lines(), p.houghHooks());
    else
        HoughHorizontal(im.active(), im.marks, threshold, p.lines(), p.houghHooks());
    p.Render(im.active());
}

// The chain filter with the parameter as the minimum length, shown; returns
// that minimum.
int32_t ChainFilter(Pipeline& p, bool vertical) {
    ImageState& im = p.image();
    const int32_t minimum = p.Parameter();
    if (vertical)
        ChainFilterVertical(im.active(), minimum, p.pause());
    else
        ChainFilterHorizontal(im.active(), minimum, p.pause());
    p.Render(im.active());
    return minimum;
}

// The chain filter, then gap lines traced on its result.
void GapLines(Pipeline& p, bool vertical) {
    ImageState& im = p.image();
    const int32_t minimum = ChainFilter(p, vertical);
    ClearMarks(im.marks);
    if (vertical)
        GapLinesVertical(im.active(), im.marks, minimum, p.lines(), p.pause());
    else
        GapLinesHorizontal(im.active(), im.marks, minimum, p.lines(), p.pause());
    p.Render(im.active());
}

// A grid needs two lines each way: a line finder that leaves fewer has come
// up empty.
void CheckLinesFound(Pipeline& p, const LineList& list, const char* none) {
    if (list.size() < 2) p.StageCameUpEmpty(none);
}

// The regularizer needs a spacing at both ends, and leaves a grid only with
// two lines or more.
void CheckRegularized(Pipeline& p, const Regularized& result, const LineList& list) {
    if (result.spacingA == 0 || result.spacingB == 0) p.StageCameUpEmpty(kNoSpacingFound);
    if (list.size() < 2) p.StageCameUpEmpty(kEveryLineDropped);
}

// The horizontal phase of the grid search: horizontal edges, Hough lines over
// the loaded picture, regularised.
void HorizontalGridPhase(Pipeline& p) {
    ImageState& im = p.image();
    ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, p.pump());
    EraseHighIntensity(im.other(), im.active(), 200);
    p.Render(im.active());
    ClearMarks(im.marks);
    HoughHorizontal(im.active(), im.marks, HorizontalHoughThreshold(im.width), p.lines(), p.houghHooks());
    CheckLinesFound(p, p.lines().horizontalLines, kNoHorizontalLines);
    p.Refresh(false);
    const Regularized regularized = RegularizeHorizontal(p.lines(), im.marks);
    CheckRegularized(p, regularized, p.lines().horizontalLines);
    p.ShowLog(regularized.log);
}

// The vertical edges of the grid search, shown.
void VerticalEdgePhase(Pipeline& p) {
    ImageState& im = p.image();
    ConvolveThreshold(im.active(), im.other(), verticalSobelKernel, 50, p.pump());
    EraseHighIntensity(im.other(), im.active(), 150);
    p.Render(im.active());
}

// Hough lines over the vertical edges, regularised and shown.
void VerticalGridLines(Pipeline& p) {
    ImageState& im = p.image();
    HoughVertical(im.active(), im.marks, VerticalHoughThreshold(im.height), p.lines(), p.houghHooks());
    CheckLinesFound(p, p.lines().verticalLines, kNoVerticalLines);
    const Regularized regularized = RegularizeVertical(p.lines(), im.marks);
    CheckRegularized(p, regularized, p.lines().verticalLines);
    p.ShowLog(regularized.log);
    p.Render(im.active());
}

// True when at least one cell was labelled.
bool LabelAndRecordCells(Pipeline& p) {
    ImageState& im = p.image();
    const std::vector<Cell> cells = LabelCells(true, p.lines(), im.width, im.height, p.screen());
    p.RecordCells(cells);
    return !cells.empty();
}

// Both phases, then the loaded picture with the cell labels; with
// `labelsOnly` the grid lines are not shown under them.
void FullGridSearch(Pipeline& p, bool labelsOnly) {
    ImageState& im = p.image();
    HorizontalGridPhase(p);
    VerticalEdgePhase(p);
    VerticalGridLines(p);
    if (labelsOnly) ClearMarks(im.marks);
    p.Refresh(true);
    p.EndGridSearch(LabelAndRecordCells(p));
}

}  // namespace

// ------------------------------------------------------------ the operations

void RunHorizontalSobel(Pipeline& p) { SobelFilter(p, horizontalSobelKernel); }

void RunVerticalSobel(Pipeline& p) { SobelFilter(p, verticalSobelKernel); }

void RunEdgeSearch(Pipeline& p) {
    ImageState& im = p.image();
    p.Caption();
    const int32_t threshold = p.Parameter();
    SobelEdgeSearch(im.active(), im.marks, horizontalSobelKernel, verticalSobelKernel, threshold, p.pump());
    p.Render(im.active());
}

void RunSegmentation(Pipeline& p) {
    ImageState& im = p.image();
    p.Caption();
    uint8_t step = static_cast<uint8_t>(p.Parameter() & 0xFF);
    // A step of 0 cannot divide: it is an invalid size like a negative one.
    if (step == 0) step = static_cast<uint8_t>(p.RejectParameter());
    Segment(im.active(), im.other(), step, p.SegmentOffset());
    im.Toggle();
    p.Render(im.active());
}

void RunHoughHorizontalLines(Pipeline& p) { HoughLines(p, false); }

void RunHoughVerticalLines(Pipeline& p) { HoughLines(p, true); }

void RunHoughCrossings(Pipeline& p) {
    ImageState& im = p.image();
    p.Caption();
    p.progress().SetMaximum(9);
    ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, p.pump());
    p.progress().Step();
    const int32_t threshold = p.Parameter();
    ClearMarks(im.marks);
    HoughHorizontal(im.other(), im.marks, threshold, p.lines(), p.houghHooks());
    p.Render(im.active());
    ConvolveThreshold(im.active(), im.other(), verticalSobelKernel, 50, p.pump());
    p.progress().Step();
    HoughVertical(im.other(), im.marks, threshold, p.lines(), p.houghHooks());
    p.Render(im.active());
    p.screen().SetReadout("Hough: " + std::to_string(CrossMarks(true, p.lines(), im.marks)));
    p.progress().Step();
    p.Render(im.active());
}

void RunEraseHighIntensity(Pipeline& p) {
    ImageState& im = p.image();
    p.Caption();
    const int32_t limit = p.Parameter();
    EraseHighIntensity(im.active(), im.other(), limit);
    p.Render(im.other());
    im.Toggle();
}

void RunHorizontalChainFilter(Pipeline& p) { ChainFilter(p, false); }

void RunVerticalChainFilter(Pipeline& p) { ChainFilter(p, true); }

void RunHorizontalGapLines(Pipeline& p) { GapLines(p, false); }

void RunVerticalGapLines(Pipeline& p) { GapLines(p, true); }

void RunHistogramBand(Pipeline& p) {
    ImageState& im = p.image();
    const int32_t band = p.Parameter();
    const int mode = HistogramMode(im.active());
    p.screen().PlainBox("Pst je " + std::to_string(mode));
    HistogramBand(im.active(), mode, band);
    p.Render(im.active());
}

void RunChainGridSearch(Pipeline& p) {
    ImageState& im = p.image();
    ClearMarks(im.marks);
    ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, p.pump());
    im.Toggle();
    p.Render(im.active());
    ChainFilterHorizontal(im.active(), 80, p.pause());
    p.Render(im.active());
    GapLinesHorizontal(im.active(), im.marks, 80, p.lines(), p.pause());
    CheckLinesFound(p, p.lines().horizontalLines, kNoHorizontalLines);
    p.Render(im.active());
    // From the plane that was active when the operation started into the
    // horizontally processed one.
    ConvolveThreshold(im.other(), im.active(), verticalSobelKernel, 20, p.pump());
    p.Render(im.active());
    ChainFilterVertical(im.active(), 80, p.pause());
    p.Render(im.active());
    GapLinesVertical(im.active(), im.marks, 80, p.lines(), p.pause());
    CheckLinesFound(p, p.lines().verticalLines, kNoVerticalLines);
    p.Render(im.active());
    // Labelled after the last render, so the labels stay visible.
    p.EndGridSearch(LabelAndRecordCells(p));
}

// The halves of the grid search find their half: two lines or more.
void RunHorizontalGridSearch(Pipeline& p) {
    HorizontalGridPhase(p);
    p.Render(p.image().active());
    p.EndGridSearch(p.lines().horizontalLines.size() >= 2);
}

void RunVerticalGridSearch(Pipeline& p) {
    VerticalEdgePhase(p);
    ClearMarks(p.image().marks);
    VerticalGridLines(p);
    p.EndGridSearch(p.lines().verticalLines.size() >= 2);
}

void RunGridSearch(Pipeline& p) { FullGridSearch(p, false); }

void RunGridSearchLabelsOnly(Pipeline& p) { FullGridSearch(p, true); }

}  // namespace vexo
