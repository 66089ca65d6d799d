#include "ui/view_overlay.h"

#include <QPainter>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace vexo {

namespace {

// A pixel of the gray picture has red = green = blue; every mark, line and
// label colour differs in at least one.
bool Coloured(const uchar* p) { return p[0] != p[1] || p[1] != p[2]; }

// Eight pixels (24 bytes) are all gray when every byte equals the next one
// within its pixel: byte j against byte j + 1 for j % 3 = 0 and 1. Read as
// three little-endian words, these masks pick those byte pairs.
constexpr uint64_t kPairMasks[3] = {0xFFFF00FFFF00FFFFull, 0xFF00FFFF00FFFF00ull, 0x00FFFF00FFFF00FFull};

// Reads 25 bytes: the 24 of the eight pixels and the one after them.
bool EightGray(const uchar* p) {
    uint64_t differ = 0;
    for (int i = 0; i < 3; ++i) {
        uint64_t here, next;
        std::memcpy(&here, p + 8 * i, 8);
        std::memcpy(&next, p + 8 * i + 1, 8);
        differ |= (here ^ next) & kPairMasks[i];
    }
    return differ == 0;
}

// Clears the bits of columns left .. right - 1.
void ClearBits(uint64_t* row, int left, int right) {
    for (int word = left / 64; word <= (right - 1) / 64; ++word) {
        uint64_t keep = 0;
        if (word == left / 64) keep |= ~(~uint64_t(0) << (left % 64));
        if (word == (right - 1) / 64 && right % 64 != 0) keep |= ~uint64_t(0) << (right % 64);
        row[word] &= keep;
    }
}

// How far a colour lies from gray: the pure mark colours reach 255, a pixel
// that a label's edge blends into the picture less.
int Chroma(QRgb c) {
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    return std::max({r, g, b}) - std::min({r, g, b});
}

// The control pixel that holds the left (top) edge of bitmap pixel v >= 0
// (truncation is the floor here); the margin keeps exact products such as
// 3 x (1/3) from rounding below 1.
int ControlPixel(int v, double zoom) { return int(v * zoom + 1e-9); }

}  // namespace

// Without the memory for the bits the picture still shows, only without
// this overlay.
void ColouredPixels::Reset() {
    wordsPerRow_ = bitmap_.isNull() ? 0 : (bitmap_.width() + 63) / 64;
    try {
        bits_.assign(std::size_t(wordsPerRow_) * std::size_t(bitmap_.isNull() ? 0 : bitmap_.height()), 0);
    } catch (const std::bad_alloc&) {
        bits_ = {};
        wordsPerRow_ = 0;
    }
    unread_ = {};
}

// Read when next needed: a picture shown from 100 % up costs nothing here.
void ColouredPixels::Update(const QRect& area) { unread_ |= area.intersected(bitmap_.rect()); }

void ColouredPixels::Read(const QRect& r) {
    if (bitmap_.isNull() || bitmap_.format() != QImage::Format_RGB888 || bits_.empty() || r.isEmpty()) return;
    const int left = r.left();
    const int right = r.right() + 1;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uint64_t* row = bits_.data() + std::size_t(y) * wordsPerRow_;
        ClearBits(row, left, right);
        const uchar* p = bitmap_.constScanLine(y) + 3 * left;
        int x = left;
        // Blocks of eight need one more pixel after them in the row.
        if constexpr (std::endian::native == std::endian::little) {
            for (; x + 8 < right; x += 8, p += 24) {
                if (EightGray(p)) continue;
                for (int k = 0; k < 8; ++k)
                    if (Coloured(p + 3 * k)) row[(x + k) / 64] |= uint64_t(1) << ((x + k) % 64);
            }
        }
        for (; x < right; ++x, p += 3)
            if (Coloured(p)) row[x / 64] |= uint64_t(1) << (x % 64);
    }
}

void ColouredPixels::Paint(QPainter& painter, const QRect& area, double zoom) {
    if (zoom >= 1.0 || bits_.empty()) return;
    Read(unread_);
    unread_ = {};
    const int w = bitmap_.width();
    const int h = bitmap_.height();
    const int left = std::clamp(int(std::floor(area.left() / zoom)), 0, w);
    const int top = std::clamp(int(std::floor(area.top() / zoom)), 0, h);
    const int right = std::clamp(int(std::ceil((area.right() + 1) / zoom)), 0, w);
    const int bottom = std::clamp(int(std::ceil((area.bottom() + 1) / zoom)), 0, h);
    if (left >= right || top >= bottom) return;
    const int x0 = ControlPixel(left, zoom);
    const int y0 = ControlPixel(top, zoom);
    QImage layer;  // made at the first coloured pixel
    for (int y = top; y < bottom; ++y) {
        const uint64_t* row = bits_.data() + std::size_t(y) * wordsPerRow_;
        const uchar* pixels = bitmap_.constScanLine(y);
        QRgb* controlRow = nullptr;
        for (int word = left / 64; word <= (right - 1) / 64; ++word) {
            uint64_t bits = row[word];
            if (word == left / 64) bits &= ~uint64_t(0) << (left % 64);
            if (word == (right - 1) / 64 && right % 64 != 0) bits &= ~uint64_t(0) >> (64 - right % 64);
            while (bits != 0) {
                const int x = word * 64 + std::countr_zero(bits);
                bits &= bits - 1;
                if (layer.isNull()) {
                    layer = QImage(ControlPixel(right - 1, zoom) - x0 + 1, ControlPixel(bottom - 1, zoom) - y0 + 1,
                                   QImage::Format_ARGB32_Premultiplied);
                    if (layer.isNull()) return;
                    layer.fill(Qt::transparent);
                }
                if (controlRow == nullptr)
                    controlRow = reinterpret_cast<QRgb*>(layer.scanLine(ControlPixel(y, zoom) - y0));
                const uchar* p = pixels + 3 * x;
                QRgb& shown = controlRow[ControlPixel(x, zoom) - x0];
                const QRgb colour = qRgb(p[0], p[1], p[2]);
                if (qAlpha(shown) == 0 || Chroma(colour) >= Chroma(shown)) shown = colour;
            }
        }
    }
    if (!layer.isNull()) painter.drawImage(QPoint(x0, y0), layer);
}

}  // namespace vexo
