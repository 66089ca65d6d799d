#include "core/memory_screen.h"

#include <algorithm>

#include "core/render.h"

namespace vexo {

void MemoryScreen::SizeDisplay(int width, int height) {
    displayWidth = width;
    displayHeight = height;
    hasBitmap = true;
    if (!keepDisplay) {
        display = {};
        return;
    }
    display.assign(std::size_t(width) * std::size_t(height) * 3, 255);
    const Rgb red{255, 0, 0};
    for (int x = 0; x < width; ++x) {
        PutPixel(x, 0, red);
        PutPixel(x, height - 1, red);
    }
    for (int y = 0; y < height; ++y) {
        PutPixel(0, y, red);
        PutPixel(width - 1, y, red);
    }
}

bool MemoryScreen::WriteDisplayRow(int row, const uint8_t* bgr, int pixels, std::string& systemMessage) {
    if (failRowWritesFrom >= 0 && row >= failRowWritesFrom) {
        systemMessage = failText;
        return false;
    }
    if (row < 0 || row >= displayHeight || display.empty()) {
        systemMessage = "The parameter is incorrect.";
        return false;
    }
    const int n = std::min(pixels, displayWidth);
    uint8_t* out = display.data() + std::size_t(row) * std::size_t(displayWidth) * 3;
    CopyBgrAsRgb(bgr, out, n);
    return true;
}

Rgb MemoryScreen::DisplayPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= displayWidth || y >= displayHeight || display.empty()) return {0, 0, 0};
    const uint8_t* p = display.data() + (std::size_t(y) * std::size_t(displayWidth) + std::size_t(x)) * 3;
    return {p[0], p[1], p[2]};
}

void MemoryScreen::ReadDisplayRow(int row, uint8_t* bgr, int pixels) const {
    int n = 0;
    if (row >= 0 && row < displayHeight && !display.empty()) {
        n = std::clamp(displayWidth, 0, std::max(pixels, 0));
        const uint8_t* p = display.data() + std::size_t(row) * std::size_t(displayWidth) * 3;
        for (int x = 0; x < n; ++x, p += 3, bgr += 3) {
            bgr[0] = p[2];
            bgr[1] = p[1];
            bgr[2] = p[0];
        }
    }
    if (pixels > n) std::fill(bgr, bgr + std::size_t(pixels - n) * 3, uint8_t(0));
}

void MemoryScreen::SetProgressDialogVisible(bool visible) {
    if (visible && !progressVisible) ++progressShows;
    progressVisible = visible;
}

void MemoryScreen::SetBusyCursor(bool busy) {
    if (busy != busyCursor) ++busyCursorChanges;
    busyCursor = busy;
}

void MemoryScreen::PumpEvents() {
    ++pumps;
    for (auto hook : pumpHooks) hook(pumpHookContext);
}

namespace {

int CodePoints(const std::string& text) {
    int n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

// Without a font: 7 x 13 pixels a character at the labels' own size.
TextExtent MemoryScreen::MeasureText(const std::string& text) {
    if (fontPixels <= 0) return {7 * CodePoints(text), 13};
    return {(7 * fontPixels + 5) / 11 * CodePoints(text), (13 * fontPixels + 5) / 11};
}

void MemoryScreen::DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) {
    texts.push_back({x, y, clip, text, fontColour, fontBold, fontPixels});
}

void MemoryScreen::PutPixel(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= displayWidth || y >= displayHeight || display.empty()) return;
    uint8_t* p = display.data() + (std::size_t(y) * std::size_t(displayWidth) + std::size_t(x)) * 3;
    p[0] = colour.red;
    p[1] = colour.green;
    p[2] = colour.blue;
}

}  // namespace vexo
