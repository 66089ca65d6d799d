// Text drawn onto the displayed picture (cell labels), the same wherever the
// picture is shown or written: DejaVu Sans, bold while asked for, at 8 points
// on a 96 dpi screen (an 11-pixel em), antialiased, blended into RGB pixels
// with the coverage rounded to nearest. Without the font files there is no
// face and the caller falls back to its own drawing.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "core/rgb.h"
#include "core/screen.h"

namespace vexo {

// RGB pixels, 3 bytes each in the order red, green, blue; rows `bytesPerLine`
// bytes apart, top row first.
struct RgbCanvas {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;
};

class LabelFont {
public:
    LabelFont();
    ~LabelFont();
    LabelFont(const LabelFont&) = delete;
    LabelFont& operator=(const LabelFont&) = delete;

    // A font file was found and opened.
    bool hasFace() const;
    // Advance width and line height; nothing without a face. `pixels` is the
    // em's height, 0 for the labels' own 11 pixels.
    std::optional<TextExtent> Measure(const std::string& text, bool bold, int pixels = 0) const;
    // Draws text with the top-left of its line at (x, y), clipped to `clip`
    // and to the canvas. False without a face (nothing drawn).
    bool Draw(RgbCanvas canvas, int x, int y, const ClipRect& clip, const std::string& text, Rgb colour, bool bold,
              int pixels = 0) const;

private:
    struct Faces;
    Faces& faces() const;
    mutable std::unique_ptr<Faces> faces_;
};

// "A1", "B1", ...: the character 64 + column, then the row in decimal (UTF-8).
std::string CellLabelText(int column, int row);

// The code points of a UTF-8 text; a byte that does not start a valid
// sequence stands for itself (read as Latin-1).
std::u32string DecodeUtf8(const std::string& text);

}  // namespace vexo
