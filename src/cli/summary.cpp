#include "cli/summary.h"

#include <nlohmann/json.hpp>
#include <string_view>

#include "app/report_json.h"
#include "cli/picture_list.h"

namespace vexo::cli {

using nlohmann::ordered_json;

namespace {

const char* const kColumns[] = {"file",          "loaded",         "width",          "height",
                                "source_width",  "source_height",  "scale",          "operation",
                                "horizontal_lines", "vertical_lines", "cells",       "grid_found",
                                "errors",        "first_error",    "exit_status",    "milliseconds",
                                "outcome",       "output_error"};

// A text that a spreadsheet would take for a formula starts with one of these.
bool LooksLikeFormula(const std::string& text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
}

std::string ScaleText(const SourceSize& source) { return std::to_string(source.scale) + "/8"; }

// The values of a row in column order; null where a value is missing.
ordered_json Values(const SummaryRow& row) {
    ordered_json values = ordered_json::array();
    auto optional = [](bool present, auto value) { return present ? ordered_json(value) : ordered_json(); };
    values.push_back(row.file);
    values.push_back(row.loaded);
    values.push_back(row.width);
    values.push_back(row.height);
    values.push_back(optional(row.source.has_value(), row.source ? row.source->width : 0));
    values.push_back(optional(row.source.has_value(), row.source ? row.source->height : 0));
    values.push_back(optional(row.source.has_value(), row.source ? ScaleText(*row.source) : std::string()));
    if (row.findGrid)
        values.push_back("find-grid");
    else
        values.push_back(optional(row.operation.has_value(), row.operation.value_or(0)));
    values.push_back(row.horizontalLines);
    values.push_back(row.verticalLines);
    values.push_back(row.cells);
    values.push_back(row.cells > 0);
    values.push_back(row.errors);
    values.push_back(row.firstError);
    values.push_back(row.exitStatus);
    values.push_back(row.milliseconds);
    values.push_back(row.outcome);
    values.push_back(row.outputError);
    return values;
}

}  // namespace

SummaryRow MakeSummaryRow(const std::string& file, Workbench& workbench, const MemoryScreen& screen,
                          const SessionResult& result, int exitStatus, std::chrono::milliseconds elapsed) {
    SummaryRow row;
    row.file = file;
    const ImageState& image = workbench.image();
    row.loaded = image.loaded();
    if (row.loaded) {
        row.width = image.width;
        row.height = image.height;
        row.source = image.source;
    }
    for (auto step = result.steps.rbegin(); step != result.steps.rend(); ++step) {
        if (step->grid) {
            // Find Grid: its lines are the lattice's, its cells those found.
            const Lattice& l = step->grid->lattice;
            row.findGrid = true;
            row.horizontalLines = l.found ? std::size_t(l.rows + 1) : 0;
            row.verticalLines = l.found ? std::size_t(l.columns + 1) : 0;
            row.cells = l.found ? std::size_t(l.columns) * std::size_t(l.rows) : 0;
            break;
        }
        if (!step->operation) continue;
        row.operation = step->operation;
        row.horizontalLines = step->horizontalLines.size();
        row.verticalLines = step->verticalLines.size();
        row.cells = step->cells.size();
        row.outcome = step->outcome;
        break;
    }
    for (const RecordedMessage& message : screen.messages) {
        if (message.kind != RecordedMessage::Error) continue;
        if (row.errors++ == 0) row.firstError = message.text;
    }
    row.exitStatus = exitStatus;
    row.milliseconds = elapsed.count();
    return row;
}

std::string CsvHeader() {
    std::string line;
    for (const char* column : kColumns) {
        if (!line.empty()) line += ',';
        line += column;
    }
    return line + "\r\n";
}

std::string CsvRow(const SummaryRow& row) {
    std::string line;
    bool first = true;
    for (const ordered_json& value : Values(row)) {
        if (!first) line += ',';
        first = false;
        if (value.is_string()) {
            const std::string text = EscapeInvalidUtf8(value.get_ref<const std::string&>());
            line += CsvField(LooksLikeFormula(text) ? "'" + text : text);
        }
        else if (!value.is_null())
            line += value.dump();
    }
    return line + "\r\n";
}

std::string JsonLine(const SummaryRow& row) {
    ordered_json object;
    const ordered_json values = Values(row);
    for (std::size_t i = 0; i < values.size(); ++i) object[kColumns[i]] = values[i];
    return WithValidUtf8(object).dump(-1, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool WantsJsonLines(const std::string& path) { return EndsWithIgnoringCase(path, ".jsonl"); }

}  // namespace vexo::cli
