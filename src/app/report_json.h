// The JSON of what an operation found, shared by vexo-cli's report and the
// window's grid export: one record per step, with its lines and its cells,
// and the picture file's own size. Fields come in a fixed order.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/step_record.h"
#include "core/image_state.h"

namespace vexo {

nlohmann::ordered_json MessagesJson(const std::vector<RecordedMessage>& messages);

// Cells with their corners, their corners in the file's own pixels for a
// picture decoded at M/8 (`scale`), and their label boxes.
nlohmann::ordered_json CellsJson(const std::vector<Cell>& cells, int scale);

// One step's record; `scale` as for CellsJson. "cancelled" appears only for
// a cancelled operation, "outcome" only for a grid search.
nlohmann::ordered_json StepJson(const StepRecord& step, int scale);

// {"width", "height", "scale": [M, 8]}: the file's own size and its scale.
nlohmann::ordered_json SourceJson(const SourceSize& source);

// The JSON text as written to a file: indented by two, a line break at the
// end; bytes that are not UTF-8 become U+FFFD.
std::string JsonText(const nlohmann::ordered_json& json);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line
// break, quotes inside doubled.
std::string CsvField(const std::string& text);

}  // namespace vexo
