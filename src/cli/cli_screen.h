// The screen of vexo-cli: an in-memory display that also reports every
// message box on standard error as it happens (control characters shown
// escaped) and draws text with a real
// font, so that cell labels show in the pictures it writes.
//
// Text is DejaVu Sans (bold while the bold style is set) at 8 points on a
// 96 dpi screen, an 11-pixel em, antialiased. Without the font files the
// in-memory measuring stays and every character is drawn as a solid box, so
// labels remain visible.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "core/label_text.h"
#include "core/memory_screen.h"

namespace vexo::cli {

class CliScreen : public MemoryScreen {
public:
    // quiet: only error boxes are printed.
    explicit CliScreen(bool quiet);
    CliScreen(bool quiet, std::ostream& messageStream);
    ~CliScreen() override;

    void ErrorBox(const std::string& text) override;
    void PlainBox(const std::string& text) override;
    void ApplicationErrorBox(const std::string& text) override;
    TextExtent MeasureText(const std::string& text) override;
    void DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) override;

    // True when a font file was found and opened.
    bool hasFont() const;

private:
    void DrawBoxes(int x, int y, const ClipRect& clip, const std::string& text);

    bool quiet_;
    std::ostream& messageStream_;
    LabelFont font_;
};

}  // namespace vexo::cli
