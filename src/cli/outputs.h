// Writes the outputs a run asked for: the PNG of the displayed picture, the
// report and the dump folder. What went wrong is collected, not printed, so
// that parallel runs can tell it in order.
#pragma once

#include <string>
#include <vector>

#include "app/workbench.h"
#include "cli/options.h"
#include "cli/safe_output.h"
#include "core/memory_screen.h"

namespace vexo::cli {

struct OutputNote {
    std::string text;
    bool failed = false;  // a file not written for a fault, not merely skipped
};

struct OutputNotes {
    bool ok = true;                  // false when an asked-for file could not be written
    std::vector<OutputNote> lines;   // failures and skipped files, in order
    std::string firstFailure;        // the first output not written and why: "PATH: why"

    // Notes a failure, if there is one.
    void Add(const WriteResult& failure);
};

// The outputs of the one-picture form. A picture file whose picture does not
// exist (nothing loaded or displayed) is skipped, and said so, without
// counting as a failure. A report for standard output ("-") is written there.
OutputNotes WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                         const std::string& reportText);

// The displayed picture as PNG, skipped (and said so) when there is none.
void WriteDisplayPng(const std::string& path, const MemoryScreen& screen, OutputNotes& notes);

// The report as a file.
void WriteReport(const std::string& path, const std::string& reportText, OutputNotes& notes);

// Creates `dir` if needed and writes the planes, the marks, the display and
// the report there.
void WriteDumpFolder(const std::string& dir, Workbench& workbench, const MemoryScreen& screen,
                     const std::string& reportText, OutputNotes& notes);

// Creates `dir` if needed and writes there each cell of the grid the last
// Find Grid found, straightened from the file's own pixels, as NAME.png (A1
// first). Without a found grid nothing is written, and that is said.
void WriteCellsFolder(const std::string& dir, Workbench& workbench, OutputNotes& notes);

// The whole grid the last Find Grid found, straightened, as a gray PNG;
// skipped (and said so) without a found grid.
void WriteStraightenedGrid(const std::string& path, Workbench& workbench, OutputNotes& notes);

// The files WriteDumpFolder writes into `dir`.
std::vector<std::string> DumpFiles(const std::string& dir);

}  // namespace vexo::cli
