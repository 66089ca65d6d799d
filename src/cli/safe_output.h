// Output files that never destroy anything.
//
// A regular file (or a name not taken yet) is written under a temporary name
// in its own folder, flushed to the disk and renamed over the target only
// when complete: a failed or interrupted write leaves the old file, or no
// file, and never a partial one under the final name. A symbolic link to a
// regular file keeps its link; the file it points to is replaced. A target
// that exists and is not a regular file (a device, a pipe, a socket) is
// written in place and never removed or replaced, even when the write fails.
//
// The temporary names of writes in progress are removed when the program is
// stopped by SIGINT, SIGTERM, SIGHUP or SIGPIPE (after InstallSignalCleanup).
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexo::cli {

// Writes the contents into the open file; false when that failed (errno
// tells why, or 0 for a reason of the writer's own, put in `why`).
using ContentWriter = std::function<bool(std::FILE* file, std::string& why)>;

// Writes `path` as above. Empty on success, else "cannot create PATH: why"
// or "cannot write PATH: why".
std::string WriteFileSafely(const std::string& path, const ContentWriter& write);

// Removes the temporary files of unfinished writes on the signals above, then
// lets the signal end the program as it would have. Signals that the program
// was started with ignored stay ignored. Also reads the file creation mask, so
// it is best called once at the start, before any thread.
void InstallSignalCleanup();

// The first output that is the same file as one of the inputs (same device
// and inode, symbolic links followed), as "OUTPUT is the picture INPUT";
// nothing when there is none. Paths that do not exist match nothing.
std::optional<std::string> OutputOverwritesInput(const std::vector<std::string>& outputs,
                                                 const std::vector<std::string>& inputs);

}  // namespace vexo::cli
