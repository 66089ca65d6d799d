#include "core/render.h"

#include <cstring>

#include "core/pixel_loop.h"

namespace vexo {

Rgb MarkColour(uint8_t code) {
    switch (code) {
        case kMarkGreen: return {0, 255, 0};
        case kMarkYellow: return {255, 255, 0};
        case kMarkBlue: return {0, 0, 255};
        default: return {255, 0, 0};
    }
}

VEXO_PIXEL_LOOP void RenderPlane(const GrayPlane& plane, const MarkPlane& marks, int stride, Screen& screen,
                                 std::vector<uint8_t>& row) {
    const int width = plane.width;
    const int height = screen.WantsDisplayRows() ? plane.height : 0;
    if (height > 0) row.assign(std::size_t(stride) * 3, 0);
    for (int r = 0; r < height; ++r) {
        const uint8_t* gray = plane.row(r);
        const uint8_t* mark = marks.row(r);
        uint8_t* out = row.data();
        for (int x = 0; x < width; ++x, out += 3) {
            if (mark[x] == 0) {
                out[0] = out[1] = out[2] = gray[x];
            } else {
                const Rgb c = MarkColour(mark[x]);
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        }
        std::memset(out, 0, std::size_t(stride - width) * 3);
        std::string message;
        if (!screen.WriteDisplayRow(r, row.data(), stride, message)) {
            screen.ErrorBox(FirstCharacters(message, 100));
            break;
        }
    }
    screen.RepaintNow();
}

VEXO_PIXEL_LOOP void CopyBgrAsRgb(const uint8_t* bgr, uint8_t* rgb, int pixels) {
    for (int x = 0; x < pixels; ++x) {
        rgb[3 * x + 0] = bgr[3 * x + 2];
        rgb[3 * x + 1] = bgr[3 * x + 1];
        rgb[3 * x + 2] = bgr[3 * x + 0];
    }
}

std::string FirstCharacters(const std::string& text, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (count == limit) return text.substr(0, i);
            ++count;
        }
    }
    return text;
}

}  // namespace vexo
