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

std::string Fields(int64_t x, int64_t y) { return std::to_string(x) + "," + std::to_string(y); }

// Two fields, x and y; empty when the corner could not be computed.
std::string CornerFields(const std::optional<Point>& p, int scale, bool source) {
    if (!p) return ",";
    if (!source) return Fields(p->x, p->y);
    return Fields(SourceCoordinate(p->x, scale), SourceCoordinate(p->y, scale));
}

}  // namespace

std::string GridCsv(const SourceSize& source, const StepRecord& step) {
    std::string out =
        "label,column,row,tl_x,tl_y,tr_x,tr_y,bl_x,bl_y,br_x,br_y,"
        "source_tl_x,source_tl_y,source_tr_x,source_tr_y,source_bl_x,source_bl_y,source_br_x,source_br_y\r\n";
    for (const Cell& cell : step.cells) {
        out.append(CsvField(cell.label)).append(",");
        out.append(std::to_string(cell.column)).append(",").append(std::to_string(cell.row));
        for (const auto* corner : {&cell.tl, &cell.tr, &cell.bl, &cell.br})
            out.append(",").append(CornerFields(*corner, source.scale, false));
        // A found grid's cells carry their corners in the file's pixels,
        // rounded from its own crossings, as the JSON gives them.
        if (cell.source) {
            for (const Point* corner : {&cell.source->tl, &cell.source->tr, &cell.source->bl, &cell.source->br})
                out.append(",").append(Fields(corner->x, corner->y));
        } else {
            for (const auto* corner : {&cell.tl, &cell.tr, &cell.bl, &cell.br})
                out.append(",").append(CornerFields(*corner, source.scale, true));
        }
        out.append("\r\n");
    }
    return out;
}

}  // namespace vexo
