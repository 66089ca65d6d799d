#include "ui/image_view.h"

#include <QPaintEvent>
#include <QPainter>

namespace vexo {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
}

bool ImageView::NewBitmap(int width, int height) {
    bitmap_ = QImage();  // release the old bitmap before asking for the new one
    bitmap_ = QImage(width, height, QImage::Format_RGB888);
    if (bitmap_.isNull()) {
        resize(0, 0);
        return false;
    }
    resize(width, height);
    return true;
}

void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, palette().window());
    if (!bitmap_.isNull()) painter.drawImage(area.topLeft(), bitmap_, area);
}

}  // namespace vexo
