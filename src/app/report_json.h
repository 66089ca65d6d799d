// The JSON of what an operation found, shared by vexo-cli's report and the
// window's grid export: one record per step, with its lines and its cells,
// and the picture file's own size. Fields come in a fixed order.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "app/step_record.h"
#include "core/image_state.h"

namespace vexo {

nlohmann::ordered_json MessagesJson(const std::vector<RecordedMessage>& messages);

// Cells with their corners, their corners in the file's own pixels for a
// picture decoded at M/8 (`scale`), and their label boxes.
nlohmann::ordered_json CellsJson(const std::vector<Cell>& cells, int scale);

// One step's record; `scale` as for CellsJson.
nlohmann::ordered_json StepJson(const StepRecord& step, int scale);

// {"width", "height", "scale": [M, 8]}: the file's own size and its scale.
nlohmann::ordered_json SourceJson(const SourceSize& source);

}  // namespace vexo
