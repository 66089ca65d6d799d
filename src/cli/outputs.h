// Writes the outputs a run asked for: the PNG of the displayed picture, the
// report and the dump folder. Problems are told on standard error.
#pragma once

#include <string>

#include "cli/options.h"
#include "core/memory_screen.h"
#include "core/workbench.h"

namespace vexo::cli {

// Returns false when an asked-for file could not be written. Picture files
// are skipped (and said so) while no picture is loaded.
bool WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                  const std::string& reportText);

}  // namespace vexo::cli
