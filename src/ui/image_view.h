// The picture control: shows its bitmap from the top-left corner at a zoom
// factor and is exactly as large as the zoomed bitmap. Zoom changes only how
// the bitmap is drawn: nearest neighbour from 100 % up, smoothed below. Mouse
// positions map back to bitmap pixels.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

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

    double zoom() const { return zoom_; }
    // Clamped to 1/16 .. 16; resizes the control.
    void SetZoom(double zoom);
    // The bitmap pixel under a position in the control (it may lie outside the bitmap).
    QPoint BitmapPoint(QPointF position) const;

signals:
    // The bitmap got a new size (a picture was loaded).
    void bitmapSized();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FitSizeToZoom();

    QImage bitmap_;
    double zoom_ = 1.0;
};

}  // namespace vexo
