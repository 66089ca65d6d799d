// The summary of a run over several pictures: one row per picture, as CSV
// (RFC 4180: a header row, fields quoted when they hold a comma, a quote or
// a line break, quotes doubled, lines ending in CR LF) or as JSON Lines (one
// object per line with the same keys, numbers and true/false as JSON values,
// null where the CSV field is empty).
//
// A text field of the CSV that starts with =, +, -, @, a tab or a carriage
// return gets a ' in front, so that a spreadsheet shows it instead of running
// it as a formula; JSON Lines keep the text exact. In both, a byte that is
// not part of valid UTF-8 is written as \xNN.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/workbench.h"
#include "cli/session.h"
#include "core/memory_screen.h"

namespace vexo::cli {

struct SummaryRow {
    std::string file;  // the path as found
    bool loaded = false;
    int width = 0;
    int height = 0;
    std::optional<SourceSize> source;  // none when nothing was loaded
    std::optional<int> operation;      // of the last step that ran one
    bool findGrid = false;             // that step was Find Grid (its operation is shown as find-grid)
    std::size_t horizontalLines = 0;   // of that step
    std::size_t verticalLines = 0;
    std::size_t cells = 0;
    std::size_t errors = 0;  // error boxes of the whole run
    std::string firstError;
    int exitStatus = 0;
    int64_t milliseconds = 0;  // load and steps
    std::string outcome;       // of a grid search in that step, else empty
    std::string outputError;   // the first output that could not be written: "PATH: why"
};

// The row of a picture after its session.
SummaryRow MakeSummaryRow(const std::string& file, Workbench& workbench, const MemoryScreen& screen,
                          const SessionResult& result, int exitStatus, std::chrono::milliseconds elapsed);

std::string CsvHeader();
std::string CsvRow(const SummaryRow& row);
std::string JsonLine(const SummaryRow& row);

// JSON Lines for a file name ending in ".jsonl" (any case), else CSV.
bool WantsJsonLines(const std::string& path);

}  // namespace vexo::cli
