// The report of a run: the state at the end and one record per step, as
// JSON with a fixed field order, and the short text summary for a terminal.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/report_json.h"
#include "app/workbench.h"
#include "cli/session.h"
#include "core/memory_screen.h"

namespace vexo::cli {

nlohmann::ordered_json BuildReport(const std::string& picturePath, Workbench& workbench,
                                   const MemoryScreen& screen, const std::vector<StepRecord>& steps);


// The caption, every message, then the lines and cells of the last operation,
// or the grid found when Find Grid ran after it; texts shown escaped (ShownText).
std::string Summary(Workbench& workbench, const MemoryScreen& screen, const std::vector<StepRecord>& steps);

}  // namespace vexo::cli
