// Find Grid's result as vexo-cli's report and the window's export give it:
// the grid object and the found cells.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "app/find_grid_record.h"
#include "lines/cell.h"

namespace vexo {

// {"found", "kind", "columns", "rows", "crossings", "homography", "score",
// "milliseconds"}: crossings in the file's own pixels with two decimals,
// crossings[j][i] the crossing of row line j and column line i; the
// homography from (i, j, 1) to the file's pixels with its last element 1.
nlohmann::ordered_json GridJson(const FindGridRecord& record);

// The found cells row by row, A1 first: corners in the working picture's
// pixels and in the file's own, each rounded from its crossing (halves to
// even), and the box inside the corners.
std::vector<Cell> LatticeCells(const FindGridRecord& record);

}  // namespace vexo
