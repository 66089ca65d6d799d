#include "app/report_json.h"

#include "app/grid_report.h"

namespace vexo {

using nlohmann::ordered_json;

const char* StepName(StepKind kind) {
    switch (kind) {
        case StepKind::Op: return "op";
        case StepKind::FindGrid: return "find-grid";
        case StepKind::Shortcut: return "shortcut";
        case StepKind::Param: return "param";
        case StepKind::Offset: return "offset";
        case StepKind::GoOn: return "go-on";
        case StepKind::NoGoOn: return "no-go-on";
        case StepKind::Go: return "go";
        case StepKind::Refresh: return "refresh";
    }
    return "?";
}

namespace {

ordered_json Lines(const std::vector<LineEnds>& lines) {
    ordered_json list = ordered_json::array();
    for (const LineEnds& line : lines) list.push_back({{"a", line.a}, {"b", line.b}});
    return list;
}

ordered_json Corner(const std::optional<Point>& p) {
    if (!p) return nullptr;
    return ordered_json::array({p->x, p->y});
}

ordered_json SourceCorner(const std::optional<Point>& p, int scale) {
    if (!p) return nullptr;
    return ordered_json::array({SourceCoordinate(p->x, scale), SourceCoordinate(p->y, scale)});
}

}  // namespace

ordered_json MessagesJson(const std::vector<RecordedMessage>& messages) {
    ordered_json list = ordered_json::array();
    for (const RecordedMessage& m : messages)
        list.push_back({{"kind", m.kind == RecordedMessage::Error ? "error" : "info"}, {"text", m.text}});
    return list;
}

ordered_json CellsJson(const std::vector<Cell>& cells, int scale) {
    ordered_json list = ordered_json::array();
    for (const Cell& cell : cells) {
        ordered_json item;
        item["label"] = cell.label;
        item["column"] = cell.column;
        item["row"] = cell.row;
        item["corners"] = {{"TL", Corner(cell.tl)}, {"TR", Corner(cell.tr)},
                           {"BL", Corner(cell.bl)}, {"BR", Corner(cell.br)}};
        if (cell.source) {
            const CellCorners& s = *cell.source;
            item["sourceCorners"] = {{"TL", {s.tl.x, s.tl.y}}, {"TR", {s.tr.x, s.tr.y}},
                                     {"BL", {s.bl.x, s.bl.y}}, {"BR", {s.br.x, s.br.y}}};
        } else {
            item["sourceCorners"] = {{"TL", SourceCorner(cell.tl, scale)}, {"TR", SourceCorner(cell.tr, scale)},
                                     {"BL", SourceCorner(cell.bl, scale)}, {"BR", SourceCorner(cell.br, scale)}};
        }
        if (cell.box)
            item["box"] = ordered_json::array({cell.box->left, cell.box->top, cell.box->right, cell.box->bottom});
        else
            item["box"] = nullptr;
        list.push_back(std::move(item));
    }
    return list;
}

ordered_json StepJson(const StepRecord& step, int scale) {
    ordered_json item;
    item["step"] = StepName(step.kind);
    if (step.operation) item["operation"] = *step.operation;
    if (step.cancelled) item["cancelled"] = true;
    item["parameterText"] = step.parameterText;
    item["messages"] = MessagesJson(step.messages);
    item["caption"] = step.caption;
    item["label"] = step.label;
    item["activePlane"] = step.activePlane;
    item["logAdded"] = step.logAdded;
    item["progress"] = {{"maximum", step.progressMaximum}, {"position", step.progressPosition}};
    item["horizontalLines"] = Lines(step.horizontalLines);
    item["verticalLines"] = Lines(step.verticalLines);
    item["cells"] = CellsJson(step.cells, scale);
    if (!step.outcome.empty()) item["outcome"] = step.outcome;
    if (step.grid) item["grid"] = GridJson(*step.grid);
    return item;
}

std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? uint8_t(text[i]) : uint8_t(0); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong form
        if (lead == 0xED) high = 0x9F;  // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong form
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return at + length <= text.size() ? length : 0;
}

std::string EscapeInvalidUtf8(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Length(text, i);
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const uint8_t b = uint8_t(text[i++]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

namespace {

bool AllUtf8(const ordered_json& json) {
    if (json.is_string()) {
        const std::string& text = json.get_ref<const std::string&>();
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) return false;
            i += length;
        }
        return true;
    }
    if (json.is_structured())
        for (const ordered_json& item : json)
            if (!AllUtf8(item)) return false;
    return true;
}

void EscapeStrings(ordered_json& json) {
    if (json.is_string()) {
        json = EscapeInvalidUtf8(json.get_ref<const std::string&>());
    } else if (json.is_structured()) {
        for (ordered_json& item : json) EscapeStrings(item);
    }
}

}  // namespace

ordered_json WithValidUtf8(const ordered_json& json) {
    ordered_json copy = json;
    if (!AllUtf8(json)) EscapeStrings(copy);
    return copy;
}

std::string JsonText(const ordered_json& json) {
    if (AllUtf8(json)) return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
    return WithValidUtf8(json).dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

ordered_json SourceJson(const SourceSize& source) {
    return {{"width", source.width}, {"height", source.height}, {"scale", ordered_json::array({source.scale, 8})}};
}

}  // namespace vexo
