// What the picture control draws over the picture, in control pixels, after
// the picture itself: overlays stay sharp and visible at every zoom, however
// the picture under them is scaled.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

class QPainter;

namespace vexo {

class ViewOverlay {
public:
    virtual ~ViewOverlay() = default;
    // `area`: the part of the control being painted; `zoom`: control pixels
    // per bitmap pixel.
    virtual void Paint(QPainter& painter, const QRect& area, double zoom) = 0;
};

// The coloured pixels of the displayed bitmap: the marks, lines and cell
// labels drawn over the gray picture. From 100 % up they show as the bitmap
// does; below it, where smoothing would average a one-pixel line away, each
// control pixel that covers a coloured bitmap pixel shows that colour (where
// several meet, the most colourful, so that a label's blended edge never
// hides its letters; the last in reading order among equals). It keeps one
// bit per bitmap pixel, read again for every area of the bitmap written by the
// time it is next drawn below 100 %.
class ColouredPixels : public ViewOverlay {
public:
    explicit ColouredPixels(const QImage& bitmap) : bitmap_(bitmap) {}

    // The bitmap got a new size (and contents yet to be written): no pixel
    // counts as coloured until an update has read it.
    void Reset();
    // The bitmap's pixels in `area` were written.
    void Update(const QRect& area);

    void Paint(QPainter& painter, const QRect& area, double zoom) override;

private:
    // Notes which pixels of `area` are coloured.
    void Read(const QRect& area);

    const QImage& bitmap_;
    QRect unread_;  // written since the bits were last read
    int wordsPerRow_ = 0;
    std::vector<uint64_t> bits_;  // row by row, bit x % 64 of word x / 64
};

}  // namespace vexo
