// Writes the outputs a run asked for: the PNG of the displayed picture, the
// report and the dump folder. Problems are told on standard error.
#pragma once

#include <string>

#include "app/workbench.h"
#include "cli/options.h"
#include "core/memory_screen.h"

namespace vexo::cli {

// Returns false when an asked-for file could not be written. A picture file
// whose picture does not exist (nothing loaded or displayed) is skipped, and
// said so, without counting as a failure.
bool WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                  const std::string& reportText);

}  // namespace vexo::cli
