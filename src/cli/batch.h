// vexo-cli over several pictures: every picture runs the steps in a fresh
// workbench of its own, as it would alone, several at once; the outputs go
// under each picture's NAME and one summary row per picture comes out in
// argument order, whatever order the pictures finish in.
#pragma once

#include "cli/options.h"

namespace vexo::cli {

// True when the command line asks for the form for several pictures: more
// than one picture, a folder, or an option only that form has.
bool WantsBatch(const Options& options);

// Runs the whole command line in that form; returns the exit status: 1 for
// a usage error found on disk before anything ran, else the most serious
// status of any picture in the order 3, 2, 4, 0.
int RunBatch(const Options& options);

}  // namespace vexo::cli
