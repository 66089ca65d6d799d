// The progress line of a run over several pictures, on standard error:
//   [#######-------------]  37/500   7%  0:42 left  photos/IMG_0037.jpg
// On a terminal it is redrawn in place a few times a second; elsewhere (with
// --progress) it is printed as a line of its own, at most once a second and
// only when more pictures are done.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace vexo::cli {

// "M:SS" below an hour, else "H:MM:SS"; "--:--" for an unknown time.
std::string DurationText(double seconds);

// The line for `done` of `total` pictures after `elapsedSeconds`, `current`
// being the picture started last. The time left is the mean time per
// finished picture times the pictures left; once all are done, the time
// taken is shown instead. The file name is shown escaped (ShownText) and
// shortened from its start ("...") so that the line fits in `columns` - 1
// characters.
std::string ProgressLine(std::size_t done, std::size_t total, const std::string& current, double elapsedSeconds,
                         int columns);

class ProgressPrinter {
public:
    // `terminal`: redraw in place; else print lines of their own.
    ProgressPrinter(std::FILE* stream, bool terminal, std::size_t total);

    // Shows the state if enough time has passed since the last showing, or
    // always with `force`.
    void Update(std::size_t done, const std::string& current, bool force = false);
    // Removes the line from the terminal, so that a message can be printed.
    void Clear();
    // Shows the final state and ends the line.
    void Finish(std::size_t done);

private:
    using Clock = std::chrono::steady_clock;
    void Show(std::size_t done);

    std::FILE* stream_;
    bool terminal_;
    std::size_t total_;
    int columns_ = 80;
    std::string current_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point shown_{};
    bool visible_ = false;
    std::size_t shownDone_ = std::size_t(-1);
};

}  // namespace vexo::cli
