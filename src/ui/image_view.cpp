#include "ui/image_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vexo {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
    overlays_.push_back(&colouredPixels_);
}

void ImageView::AddOverlay(ViewOverlay* overlay) {
    overlays_.push_back(overlay);
    update();
}

void ImageView::ShowInstead(QImage picture) {
    if (!picture.isNull() && picture.format() != QImage::Format_RGB888)
        picture = picture.convertToFormat(QImage::Format_RGB888);
    instead_ = std::move(picture);
    insteadColouredPixels_.Reset();
    insteadColouredPixels_.Update(instead_.rect());
    FitSizeToZoom();
    update();
}

bool ImageView::NewBitmap(int width, int height) {
    instead_ = QImage();
    insteadColouredPixels_.Reset();
    bitmap_ = QImage();  // release the old bitmap before asking for the new one
    bitmap_ = QImage(width, height, QImage::Format_RGB888);
    colouredPixels_.Reset();
    FitSizeToZoom();
    emit bitmapSized();
    return !bitmap_.isNull();
}

void ImageView::SetZoom(double zoom) {
    zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
    FitSizeToZoom();
    update();
}

void ImageView::FitSizeToZoom() {
    const QImage& picture = shown();
    if (picture.isNull()) {
        resize(0, 0);
        return;
    }
    resize(std::max(1, int(std::ceil(picture.width() * zoom_))), std::max(1, int(std::ceil(picture.height() * zoom_))));
}

// The pixel that holds the position, also at 100 % where a scaled screen
// gives positions between whole pixels.
QPoint ImageView::BitmapPoint(QPointF position) const {
    return {int(std::floor(position.x() / zoom_)), int(std::floor(position.y() / zoom_))};
}

// Only the exposed part is drawn: the bitmap pixels that cover it, scaled,
// then the overlays.
void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.setClipRect(area);
    if (!DrawPicture(painter, area)) return;
    if (!showsBitmap()) {
        insteadColouredPixels_.Paint(painter, area, zoom_);
        return;
    }
    for (ViewOverlay* overlay : overlays_) overlay->Paint(painter, area, zoom_);
}

bool ImageView::DrawPicture(QPainter& painter, const QRect& area) {
    const QImage& picture = shown();
    if (picture.isNull()) {
        painter.fillRect(area, palette().window());
        return false;
    }
    if (zoom_ == 1.0) {
        painter.drawImage(area.topLeft(), picture, area);
        return true;
    }
    const int left = std::clamp(int(std::floor(area.left() / zoom_)), 0, picture.width());
    const int top = std::clamp(int(std::floor(area.top() / zoom_)), 0, picture.height());
    const int right = std::clamp(int(std::ceil((area.right() + 1) / zoom_)), 0, picture.width());
    const int bottom = std::clamp(int(std::ceil((area.bottom() + 1) / zoom_)), 0, picture.height());
    if (left >= right || top >= bottom) {
        painter.fillRect(area, palette().window());
        return false;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    const QRectF source(left, top, right - left, bottom - top);
    const QRectF target(left * zoom_, top * zoom_, (right - left) * zoom_, (bottom - top) * zoom_);
    // Control pixels that the picture covers only in part (its last column
    // and row at some zooms) get the background first, so that nothing an
    // earlier zoom drew there stays.
    const QRect covered(QPoint(int(std::ceil(target.left())), int(std::ceil(target.top()))),
                        QPoint(int(std::floor(target.right())) - 1, int(std::floor(target.bottom())) - 1));
    const QRegion rest = QRegion(area) - QRegion(covered);
    for (const QRect& r : rest) painter.fillRect(r, palette().window());
    if (zoom_ > 1.0) {
        // Enlarged, only a small part shows: as 32-bit pixels it takes the
        // painter's quick way of scaling instead of its general one.
        painter.drawImage(target, picture.copy(source.toRect()).convertToFormat(QImage::Format_RGB32));
        return true;
    }
    painter.drawImage(target, picture, source);
    return true;
}

}  // namespace vexo
