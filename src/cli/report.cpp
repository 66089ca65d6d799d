#include "cli/report.h"

#include <cstdio>
#include <sstream>

#include "app/report_json.h"
#include "cli/shown_text.h"
#include "core/image_state.h"

namespace vexo::cli {

using nlohmann::ordered_json;

namespace {

std::string CornerText(const std::optional<Point>& p) {
    return p ? std::to_string(p->x) + "," + std::to_string(p->y) : "-";
}

std::string TwoDecimalsText(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

}  // namespace

ordered_json BuildReport(const std::string& picturePath, Workbench& workbench, const MemoryScreen& screen,
                         const std::vector<StepRecord>& steps) {
    ImageState& image = workbench.image();
    const bool loaded = image.loaded();
    ordered_json report;
    report["picture"] = FileNameOf(picturePath);
    report["loaded"] = loaded;
    report["width"] = loaded ? image.width : 0;
    report["height"] = loaded ? image.height : 0;
    report["stride"] = loaded ? image.stride : 0;
    if (loaded) report["source"] = SourceJson(image.source);
    report["activePlane"] = image.activePlane;
    report["caption"] = screen.caption;
    report["label"] = screen.readout;
    report["position"] = screen.positionReadout;
    report["log"] = screen.log;
    report["messages"] = MessagesJson(screen.messages);
    report["progress"] = {{"maximum", workbench.progress().maximum()},
                          {"position", workbench.progress().position()},
                          {"visible", workbench.progress().visible()}};
    ordered_json list = ordered_json::array();
    for (const StepRecord& step : steps) list.push_back(StepJson(step, image.source.scale));
    report["steps"] = std::move(list);
    return report;
}

namespace {

// The found grid: its size and kind, then every crossing in the file's pixels, row by row.
void FindGridSummary(std::ostringstream& out, const FindGridRecord& grid) {
    const Lattice& l = grid.source;
    if (grid.cancelled) {
        out << "find grid: cancelled\n";
        return;
    }
    if (!l.found) {
        out << "find grid: no grid (" << grid.milliseconds << " ms)\n";
        return;
    }
    out << "find grid: " << l.columns << " x " << l.rows << " cells, "
        << (l.kind == GridKind::Chessboard ? "chessboard" : "ruled") << ", score " << TwoDecimalsText(l.score) << " ("
        << grid.milliseconds << " ms)\n";
    out << "crossings (x,y in the file's pixels), row by row:\n";
    for (int j = 0; j <= l.rows; ++j) {
        out << " ";
        for (int i = 0; i <= l.columns; ++i) {
            const PointF& p = l.at(i, j);
            out << " " << TwoDecimalsText(p.x) << "," << TwoDecimalsText(p.y);
        }
        out << "\n";
    }
}

}  // namespace

std::string Summary(Workbench& workbench, const MemoryScreen& screen, const std::vector<StepRecord>& steps) {
    std::ostringstream out;
    out << ShownText(screen.caption) << "\n";
    const ImageState& image = workbench.image();
    if (image.loaded() && image.source.scale != 8) out << WorkingSizeText(image) << "\n";
    for (const RecordedMessage& m : screen.messages)
        out << (m.kind == RecordedMessage::Error ? "error: " : "message: ") << ShownText(m.text) << "\n";
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->grid) {
            FindGridSummary(out, *step->grid);
            return out.str();
        }
        if (step->operation) break;
    }
    const OperationRecord& last = workbench.lastOperation();
    if (last.sequence == 0) {
        out << "no operation ran\n";
        return out.str();
    }
    out << "operation " << last.operation << " (parameter \"" << ShownText(last.parameterText) << "\")\n";
    auto lines = [&out](const char* name, const std::vector<LineEnds>& list) {
        out << name << " lines: " << list.size() << "\n";
        for (const LineEnds& line : list) out << "  " << line.a << " " << line.b << "\n";
    };
    lines("horizontal", last.horizontalLines);
    lines("vertical", last.verticalLines);
    out << "cells: " << last.cells.size() << "\n";
    for (const Cell& cell : last.cells) {
        out << "  " << cell.label << " TL " << CornerText(cell.tl) << " TR " << CornerText(cell.tr) << " BL "
            << CornerText(cell.bl) << " BR " << CornerText(cell.br);
        if (cell.box)
            out << " box " << cell.box->left << "," << cell.box->top << "," << cell.box->right << ","
                << cell.box->bottom;
        out << "\n";
    }
    return out.str();
}

}  // namespace vexo::cli
