#include "cli/cli_screen.h"

#include <algorithm>
#include <iostream>

#include "cli/shown_text.h"

namespace vexo::cli {

CliScreen::CliScreen(bool quiet) : CliScreen(quiet, std::cerr) {}

CliScreen::CliScreen(bool quiet, std::ostream& messageStream)
    : quiet_(quiet), messageStream_(messageStream) {}

CliScreen::~CliScreen() = default;

bool CliScreen::hasFont() const { return font_.hasFace(); }

void CliScreen::ErrorBox(const std::string& text) {
    MemoryScreen::ErrorBox(text);
    messageStream_ << "error: " << ShownText(text) << std::endl;
}

void CliScreen::ApplicationErrorBox(const std::string& text) {
    MemoryScreen::ApplicationErrorBox(text);
    messageStream_ << "error: " << ShownText(text) << std::endl;
}

void CliScreen::PlainBox(const std::string& text) {
    MemoryScreen::PlainBox(text);
    if (!quiet_) messageStream_ << "message: " << ShownText(text) << std::endl;
}

TextExtent CliScreen::MeasureText(const std::string& text) {
    if (const auto extent = font_.Measure(text, fontBold, fontPixels)) return *extent;
    return MemoryScreen::MeasureText(text);
}

void CliScreen::DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) {
    MemoryScreen::DrawTextClipped(x, y, clip, text);  // keeps the record of drawn texts
    const RgbCanvas canvas{display.data(), displayWidth, displayHeight, std::ptrdiff_t(displayWidth) * 3};
    if (display.size() != std::size_t(displayWidth) * std::size_t(displayHeight) * 3) return;
    if (font_.Draw(canvas, x, y, clip, text, fontColour, fontBold, fontPixels)) return;
    const ClipRect area{std::max(clip.left, 0), std::max(clip.top, 0), std::min(clip.right, displayWidth),
                        std::min(clip.bottom, displayHeight)};
    if (area.left < area.right && area.top < area.bottom) DrawBoxes(x, y, area, text);
}

// Without a font: each character as a solid 5 x 9 box inside its 7 x 13 cell.
void CliScreen::DrawBoxes(int x, int y, const ClipRect& area, const std::string& text) {
    const std::size_t count = DecodeUtf8(text).size();
    for (std::size_t i = 0; i < count; ++i) {
        const long cellX = long(x) + 7 * long(i);
        for (long py = long(y) + 2; py < long(y) + 11; ++py) {
            if (py < area.top || py >= area.bottom) continue;
            for (long px = cellX + 1; px < cellX + 6; ++px) {
                if (px < area.left || px >= area.right) continue;
                PutPixel(static_cast<int>(px), static_cast<int>(py), fontColour);
            }
        }
    }
}

}  // namespace vexo::cli
