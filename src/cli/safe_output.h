// Output files that never destroy anything.
//
// A regular file (or a name not taken yet) is written under a temporary name
// in its own folder, flushed to the disk and renamed over the target only
// when complete: a failed or interrupted write leaves the old file, or no
// file, and never a partial one under the final name. A symbolic link to a
// regular file keeps its link; the file it points to is replaced. A regular
// file that the user could not open for writing (write-protected) is left
// alone and the write fails, as the shell's ">" would. A target that exists
// and is not a regular file (a device, a pipe, a socket) is written in place
// and never removed or replaced, even when the write fails.
//
// "-", /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N
// name the descriptors the program was started with: they are written
// through the descriptor itself, at its offset and with its flags (appending
// where the shell appends), never opened anew, truncated or replaced.
//
// The temporary names of writes in progress are removed when the program is
// stopped by SIGINT, SIGTERM or SIGHUP (after InstallSignalCleanup).
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexo::cli {

// Why an output could not be written.
struct WriteFailure {
    std::string action;  // "cannot create", "cannot write", ...
    std::string path;    // as the output was named; "standard output" for "-"
    std::string why;     // in plain words: "No space left on device"

    // "cannot write PATH: why", for standard error.
    std::string Message() const { return action + " " + path + ": " + why; }
    // "PATH: why", for the summary.
    std::string Brief() const { return path + ": " + why; }
};
using WriteResult = std::optional<WriteFailure>;

// Writes the contents into the open file; false when that failed (errno
// tells why, or 0 for a reason of the writer's own, put in `why`).
using ContentWriter = std::function<bool(std::FILE* file, std::string& why)>;

// Writes `path` as above. Nothing on success.
WriteResult WriteFileSafely(const std::string& path, const ContentWriter& write);

// Writes the text whole to standard output. Its failures are told as
// "cannot write standard output: why".
WriteResult WriteStandardOutput(const std::string& text);

// Whether something was written to standard output; then the descriptor is
// closed, so that a failure the system reports only then (a full network
// disk) is told too. Call once, at the end.
WriteResult CloseStandardOutput();

// The descriptor that `path` names ("-" is standard output), if it names one.
std::optional<int> NamedDescriptor(const std::string& path);

// To be called first, before any file is opened: descriptors 0, 1 and 2 that
// the program was started without are taken by /dev/null, so that no file
// the program opens becomes one of them, and writes to them fail (EBADF) as
// they would have. The descriptors that `outputs` name are kept for their
// writes, so that a descriptor that was not open at the start never turns
// into a file the program opened itself.
void TakeStartingDescriptors(const std::vector<std::string>& outputs);

// Removes the temporary files of unfinished writes on the signals above, then
// lets the signal end the program as it would have. Signals that the program
// was started with ignored stay ignored. SIGPIPE and SIGXFSZ are ignored, so
// that writing to a pipe whose reader has gone, or past the file size limit,
// fails (EPIPE, EFBIG) as an output that could not be written and the other
// outputs are still written. Also reads the file creation mask, so it is
// best called once at the start, before any thread.
void InstallSignalCleanup();

}  // namespace vexo::cli
