// The pipelines of the eighteen operations. A is the active plane and O the
// other one, both taken at the moment of each step; every step renders so the
// user watches the pipeline work.
#include "core/arithmetic.h"
#include "core/workbench.h"
#include "filters/chain_filter.h"
#include "filters/intensity.h"
#include "filters/sobel.h"
#include "lines/cells.h"
#include "lines/gap_lines.h"
#include "lines/grid.h"
#include "lines/hough.h"

namespace vexo {

namespace {

// Threshold of the horizontal Hough transform of the grid search: width div 4
// below 700, else width / 4.3 to nearest.
int32_t HorizontalHoughThreshold(int32_t width) {
    return width < 700 ? width / 4 : RoundQuotient(width, 4.3);
}

int32_t VerticalHoughThreshold(int32_t height) { return RoundQuotient(height, 4.0); }

}  // namespace

void Workbench::RunFilterPipeline(int index) {
    ImageState& im = image_;
    const EventPump pump = [this] { Pump(); };
    switch (index) {
        case 0:
        case 1: {
            Caption(index);
            const int32_t p = Parameter(index);
            ConvolveThreshold(im.active(), im.other(), index == 0 ? horizontalSobelKernel : verticalSobelKernel,
                              static_cast<uint8_t>(p & 0xFF), pump);
            im.Toggle();
            RenderPlane(im.active());
            break;
        }
        case 2: {
            Caption(index);
            const int32_t p = Parameter(index);
            SobelEdgeSearch(im.active(), im.marks, horizontalSobelKernel, verticalSobelKernel, p, pump);
            RenderPlane(im.active());
            break;
        }
        case 3: {
            Caption(index);
            uint8_t step = static_cast<uint8_t>(Parameter(index) & 0xFF);
            if (step == 0) {
                // A step of 0 cannot divide: it is an invalid size like a negative one.
                screen_.ErrorBox(OperationTable[3].invalidMessage);
                step = static_cast<uint8_t>(OperationTable[3].fallback);
            }
            Segment(im.active(), im.other(), step, controls_.trackBar.position);
            im.Toggle();
            RenderPlane(im.active());
            break;
        }
        case 7: {
            Caption(index);
            const int32_t p = Parameter(index);
            EraseHighIntensity(im.active(), im.other(), p);
            RenderPlane(im.other());
            im.Toggle();
            break;
        }
        case 8:
        case 9: {
            const int32_t p = Parameter(index);
            if (index == 8)
                ChainFilterHorizontal(im.active(), p);
            else
                ChainFilterVertical(im.active(), p);
            RenderPlane(im.active());
            break;
        }
        case 12: {
            const int32_t p = Parameter(index);
            const int mode = HistogramMode(im.active());
            screen_.PlainBox("Pst je " + std::to_string(mode));
            HistogramBand(im.active(), mode, p);
            RenderPlane(im.active());
            break;
        }
        default:
            break;
    }
}

void Workbench::RunLinePipeline(int index) {
    ImageState& im = image_;
    const EventPump pump = [this] { Pump(); };
    const int32_t nh = HorizontalHoughThreshold(im.width);
    const int32_t nv = VerticalHoughThreshold(im.height);
    const WorkHooks hough{[this] { progress_.Step(); }, {}};
    auto ShowLog = [this](const std::vector<std::string>& lines) {
        for (const std::string& line : lines) screen_.LogAppend(line);
    };

    // Operations 14, 16 and 17 start alike: horizontal edges, Hough lines over
    // the loaded picture, regularised.
    auto horizontalGrid = [&] {
        ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, pump);
        EraseHighIntensity(im.other(), im.active(), 200);
        RenderPlane(im.active());
        ClearMarks(im.marks);
        HoughHorizontal(im.active(), im.marks, nh, lines_, hough);
        Refresh(false);
        ShowLog(RegularizeHorizontal(lines_, im.marks));
    };
    auto verticalGrid = [&] {
        ConvolveThreshold(im.active(), im.other(), verticalSobelKernel, 50, pump);
        EraseHighIntensity(im.other(), im.active(), 150);
        RenderPlane(im.active());
    };
    auto labelCells = [&] {
        auto cells = LabelCells(true, lines_, im.width, im.height, screen_);
        lastOperation_.cells.insert(lastOperation_.cells.end(), cells.begin(), cells.end());
    };

    switch (index) {
        case 4:
        case 5: {
            Caption(index);
            progress_.SetMaximum(4);
            progress_.Step();
            ClearMarks(im.marks);
            const int32_t p = Parameter(index);
            if (index == 4)
                HoughHorizontal(im.active(), im.marks, p, lines_, hough);
            else
                HoughVertical(im.active(), im.marks, p, lines_, hough);
            RenderPlane(im.active());
            break;
        }
        case 6: {
            Caption(index);
            progress_.SetMaximum(9);
            ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, pump);
            progress_.Step();
            const int32_t p = Parameter(index);
            ClearMarks(im.marks);
            HoughHorizontal(im.other(), im.marks, p, lines_, hough);
            RenderPlane(im.active());
            ConvolveThreshold(im.active(), im.other(), verticalSobelKernel, 50, pump);
            progress_.Step();
            HoughVertical(im.other(), im.marks, p, lines_, hough);
            RenderPlane(im.active());
            screen_.SetReadout("Hough: " + std::to_string(CrossMarks(true, lines_, im.marks)));
            progress_.Step();
            RenderPlane(im.active());
            break;
        }
        case 10:
        case 11: {
            const int32_t p = Parameter(index);
            if (index == 10)
                ChainFilterHorizontal(im.active(), p);
            else
                ChainFilterVertical(im.active(), p);
            RenderPlane(im.active());
            ClearMarks(im.marks);
            if (index == 10)
                GapLinesHorizontal(im.active(), im.marks, p, lines_);
            else
                GapLinesVertical(im.active(), im.marks, p, lines_);
            RenderPlane(im.active());
            break;
        }
        case 13: {
            ClearMarks(im.marks);
            ConvolveThreshold(im.active(), im.other(), horizontalSobelKernel, 50, pump);
            im.Toggle();
            RenderPlane(im.active());
            ChainFilterHorizontal(im.active(), 80);
            RenderPlane(im.active());
            GapLinesHorizontal(im.active(), im.marks, 80, lines_);
            RenderPlane(im.active());
            // From the plane that was active when the operation started into
            // the horizontally processed one.
            ConvolveThreshold(im.other(), im.active(), verticalSobelKernel, 20, pump);
            RenderPlane(im.active());
            ChainFilterVertical(im.active(), 80);
            RenderPlane(im.active());
            GapLinesVertical(im.active(), im.marks, 80, lines_);
            RenderPlane(im.active());
            // Labelled after the last render, so the labels stay visible.
            labelCells();
            break;
        }
        case 14:
            horizontalGrid();
            RenderPlane(im.active());
            break;
        case 15:
            verticalGrid();
            ClearMarks(im.marks);
            HoughVertical(im.active(), im.marks, nv, lines_, hough);
            ShowLog(RegularizeVertical(lines_, im.marks));
            RenderPlane(im.active());
            break;
        case 16:
        case 17:
            horizontalGrid();
            verticalGrid();
            HoughVertical(im.active(), im.marks, nv, lines_, hough);
            ShowLog(RegularizeVertical(lines_, im.marks));
            RenderPlane(im.active());
            if (index == 17) ClearMarks(im.marks);
            Refresh(true);
            labelCells();
            break;
        default:
            break;
    }
}

}  // namespace vexo
