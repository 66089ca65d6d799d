#include "app/grid_export.h"

#include "app/report_json.h"
#include "core/image_state.h"

namespace vexo {

std::string GridJson(const std::string& picture, const SourceSize& source, const StepRecord& step) {
    nlohmann::ordered_json out;
    out["picture"] = picture;
    out["source"] = SourceJson(source);
    out["steps"] = nlohmann::ordered_json::array({StepJson(step, source.scale)});
    return JsonText(out);
}

namespace {

// Two fields, x and y; empty when the corner could not be computed.
std::string CornerFields(const std::optional<Point>& p, int scale, bool source) {
    if (!p) return ",";
    if (!source) return std::to_string(p->x) + "," + std::to_string(p->y);
    return std::to_string(SourceCoordinate(p->x, scale)) + "," + std::to_string(SourceCoordinate(p->y, scale));
}

}  // namespace

std::string GridCsv(const SourceSize& source, const StepRecord& step) {
    std::string out =
        "label,column,row,tl_x,tl_y,tr_x,tr_y,bl_x,bl_y,br_x,br_y,"
        "source_tl_x,source_tl_y,source_tr_x,source_tr_y,source_bl_x,source_bl_y,source_br_x,source_br_y\r\n";
    for (const Cell& cell : step.cells) {
        out.append(CsvField(cell.label)).append(",");
        out.append(std::to_string(cell.column)).append(",").append(std::to_string(cell.row));
        for (bool inSource : {false, true})
            for (const auto* corner : {&cell.tl, &cell.tr, &cell.bl, &cell.br})
                out.append(",").append(CornerFields(*corner, source.scale, inSource));
        out.append("\r\n");
    }
    return out;
}

}  // namespace vexo
