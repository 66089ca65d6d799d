// The picture control: shows its bitmap at 1:1 from the top-left corner and
// is exactly as large as the bitmap.
#pragma once

#include <QImage>
#include <QWidget>

namespace vexo {

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage bitmap_;
};

}  // namespace vexo
