// One run of vexo-cli: loads the picture as a click in the file list would,
// replays the steps through the workbench's handlers and records, after each
// step, what the window would show and what the step's operation left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "cli/options.h"
#include "core/memory_screen.h"

namespace vexo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNotLoaded = 2;
inline constexpr int kExitTerminated = 3;
inline constexpr int kExitOutputFailed = 4;

struct SessionResult {
    int status = kExitOk;  // kExitOk, kExitNotLoaded or kExitTerminated
    std::vector<StepRecord> steps;
};

// Runs the steps of the command line on `picture` on a fresh workbench built
// on `screen`. Steps still run after a failed load (the handlers then do
// nothing but change the controls); they stop once the workbench has been
// told to end.
SessionResult RunSession(const std::string& picture, const Options& options, Workbench& workbench,
                         MemoryScreen& screen);

}  // namespace vexo::cli
