// The JSON of what an operation found, shared by vexo-cli's report and the
// window's grid export: one record per step, with its lines and its cells,
// and the picture file's own size. Fields come in a fixed order.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
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
// end; text values as EscapeInvalidUtf8 writes them.
std::string JsonText(const nlohmann::ordered_json& json);

// `json` with every text value as EscapeInvalidUtf8 writes it.
nlohmann::ordered_json WithValidUtf8(const nlohmann::ordered_json& json);

// The number of bytes of the valid UTF-8 character that starts at text[at]
// (shortest form, no surrogate, at most U+10FFFF); 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t at);

// The text with each byte that is not part of valid UTF-8 written as the
// four characters \xNN (lower-case hex): file names that are not UTF-8 stay
// apart from each other, and the text is UTF-8.
std::string EscapeInvalidUtf8(std::string_view text);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line
// break, quotes inside doubled.
std::string CsvField(const std::string& text);

}  // namespace vexo
