// The picture control: shows its bitmap from the top-left corner at a zoom
// factor and is exactly as large as the zoomed bitmap. Zoom changes only how
// the bitmap is drawn: nearest neighbour from 100 % up, smoothed below, with
// the overlays over it (first the bitmap's own coloured pixels, which stay
// visible when smoothing would lose them). Mouse positions map back to
// bitmap pixels. Another picture may be shown in the bitmap's place, by the
// same rules; the bitmap meanwhile stays as it is and may still be written.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <vector>

#include "ui/view_overlay.h"

namespace vexo {

inline constexpr double kMinZoom = 1.0 / 16;
inline constexpr double kMaxZoom = 16.0;

class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);

    QImage& bitmap() { return bitmap_; }
    const QImage& bitmap() const { return bitmap_; }
    // Replaces the bitmap by a width x height one (Format_RGB888, contents
    // undefined) and sizes the control to it. False when the bitmap could not
    // be allocated; the control then holds no bitmap.
    bool NewBitmap(int width, int height);
    // Whoever writes into bitmap() says where, once written (the control
    // then knows its coloured pixels); it repaints as it sees fit.
    void BitmapChanged(const QRect& area) { colouredPixels_.Update(area); }
    // Drawn over the picture after the coloured pixels, in the order added;
    // the control does not own it.
    void AddOverlay(ViewOverlay* overlay);

    // Shows `picture` (Format_RGB888) instead of the bitmap, without the
    // overlays but with its own coloured pixels kept visible; a null picture
    // shows the bitmap again. A new bitmap also ends it.
    void ShowInstead(QImage picture);
    bool showsBitmap() const { return instead_.isNull(); }
    // What the control shows: the bitmap, or the picture shown instead.
    const QImage& shown() const { return instead_.isNull() ? bitmap_ : instead_; }

    double zoom() const { return zoom_; }
    // Clamped to 1/16 .. 16; resizes the control.
    void SetZoom(double zoom);
    // The pixel of the shown picture under a position in the control (it may
    // lie outside the picture).
    QPoint BitmapPoint(QPointF position) const;

signals:
    // The bitmap got a new size (a picture was loaded).
    void bitmapSized();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The bitmap scaled into `area`; false when there is nothing to draw over.
    bool DrawPicture(QPainter& painter, const QRect& area);
    void FitSizeToZoom();

    QImage bitmap_;
    QImage instead_;
    double zoom_ = 1.0;
    ColouredPixels colouredPixels_{bitmap_};
    ColouredPixels insteadColouredPixels_{instead_};
    std::vector<ViewOverlay*> overlays_;
};

}  // namespace vexo
