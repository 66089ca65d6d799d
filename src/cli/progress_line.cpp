#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "cli/shown_text.h"

namespace vexo::cli {

namespace {

constexpr int kBarWidth = 20;
constexpr auto kTerminalInterval = std::chrono::milliseconds(200);
constexpr auto kLineInterval = std::chrono::seconds(1);

std::size_t CodePoints(const std::string& text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

// The end of `text` in at most `room` code points, "..." in front when cut.
std::string Tail(const std::string& text, std::size_t room) {
    if (CodePoints(text) <= room) return text;
    if (room <= 3) return std::string(std::min<std::size_t>(room, 3), '.');
    std::size_t keep = room - 3;
    std::size_t begin = text.size();
    while (begin > 0 && keep > 0) {
        --begin;
        if ((uint8_t(text[begin]) & 0xC0) != 0x80) --keep;
    }
    return "..." + text.substr(begin);
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

}  // namespace

std::string DurationText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 359999) return "--:--";
    const long total = std::lround(seconds);
    const long hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
    return text;
}

std::string ProgressLine(std::size_t done, std::size_t total, const std::string& current, double elapsedSeconds,
                         int columns) {
    done = std::min(done, total);
    const std::size_t filled = total == 0 ? kBarWidth : done * kBarWidth / total;
    const std::size_t percent = total == 0 ? 100 : done * 100 / total;
    const double left = done == 0 ? -1.0 : elapsedSeconds / double(done) * double(total - done);
    const std::string time = done == total ? "done in " + DurationText(elapsedSeconds) : DurationText(left) + " left";
    const int digits = int(std::to_string(total).size());
    char counts[96];
    std::snprintf(counts, sizeof counts, "] %*zu/%zu %3zu%%  %s", digits, done, total, percent, time.c_str());
    std::string line = "[";
    line.append(filled, '#');
    line.append(kBarWidth - filled, '-');
    line += counts;
    const std::size_t width = std::size_t(std::max(columns - 1, 0));
    if (!current.empty() && line.size() + 2 < width) {
        const std::size_t room = width - line.size() - 2;
        line += "  ";
        line += Tail(ShownText(current), room);
    }
    return line;
}

ProgressPrinter::ProgressPrinter(std::FILE* stream, bool terminal, std::size_t total)
    : stream_(stream), terminal_(terminal), total_(total) {
    if (terminal_) columns_ = TerminalColumns(stream_);
}

void ProgressPrinter::Update(std::size_t done, const std::string& current, bool force) {
    if (!current.empty()) current_ = current;
    const Clock::time_point now = Clock::now();
    if (!force && visible_ && now - shown_ < (terminal_ ? kTerminalInterval : kLineInterval)) return;
    // Elsewhere than on a terminal a line is printed only for news.
    if (!force && !terminal_ && (now - start_ < kLineInterval || done == shownDone_)) return;
    shown_ = now;
    Show(done);
}

void ProgressPrinter::Show(std::size_t done) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    const std::string line = ProgressLine(done, total_, current_, elapsed, columns_);
    shownDone_ = done;
    if (terminal_)
        std::fprintf(stream_, "\r%s\033[K", line.c_str());
    else
        std::fprintf(stream_, "%s\n", line.c_str());
    std::fflush(stream_);
    visible_ = true;
}

void ProgressPrinter::Clear() {
    if (!terminal_ || !visible_) return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    visible_ = false;
}

void ProgressPrinter::Finish(std::size_t done) {
    current_.clear();
    Show(done);
    if (terminal_) std::fputs("\n", stream_);
    std::fflush(stream_);
}

}  // namespace vexo::cli
