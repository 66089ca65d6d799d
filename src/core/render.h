// Rendering a gray plane with the mark plane over it into the displayed
// picture, and the colours of the mark codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/screen.h"

namespace vexo {

// What a nonzero mark code shows: 100 green, 50 yellow, 200 blue, any other
// nonzero code red.
Rgb MarkColour(uint8_t code);

// Writes `stride`-pixel rows (the gray sample, or the colour of its mark,
// then black padding) from the top, then repaints. A row that cannot be
// written shows the system's text (at most 100 characters) in an error box and
// ends the render; the repaint still happens. `row` is the reused row buffer.
// A screen that wants no rows gets only the repaint.
void RenderPlane(const GrayPlane& plane, const MarkPlane& marks, int stride, Screen& screen,
                 std::vector<uint8_t>& row);

// Copies `pixels` pixels of 3 bytes from blue, green, red order into red,
// green, blue order.
void CopyBgrAsRgb(const uint8_t* bgr, uint8_t* rgb, int pixels);

// At most `limit` characters of a UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t limit);

}  // namespace vexo
