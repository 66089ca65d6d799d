// Zoom and fit: only how the displayed bitmap is drawn. Zooming keeps the
// picture point the user looked at (the centre of the view, or the point
// under the mouse for Ctrl+wheel) where it was on the screen.
#include <QAction>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace vexo {

namespace {

// The steps of Zoom In and Zoom Out.
constexpr std::array<double, 17> kZoomSteps = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3,
                                                1.0 / 2,  2.0 / 3,  1.0,     1.5,     2.0,     3.0,
                                                4.0,      6.0,      8.0,     12.0,    16.0};

}  // namespace

double MainWindow::zoom() const { return imageView_->zoom(); }

void MainWindow::SetZoom(double zoom) { ApplyZoom(zoom, std::nullopt); }

void MainWindow::ZoomIn() {
    if (fitToWindow_) return;
    const double now = zoom();
    for (double step : kZoomSteps)
        if (step > now * 1.0001) {
            SetZoom(step);
            return;
        }
}

void MainWindow::ZoomOut() {
    if (fitToWindow_) return;
    const double now = zoom();
    for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it)
        if (*it < now / 1.0001) {
            SetZoom(*it);
            return;
        }
}

void MainWindow::OnImageWheel(QWheelEvent* event) {
    if (fitToWindow_ || imageView_->bitmap().isNull()) return;
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    const double now = zoom();
    double target = now;
    if (delta > 0) {
        for (double step : kZoomSteps)
            if (step > now * 1.0001) {
                target = step;
                break;
            }
    } else {
        for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it)
            if (*it < now / 1.0001) {
                target = *it;
                break;
            }
    }
    const QPointF inViewport = pictureScroll_->viewport()->mapFromGlobal(event->globalPosition());
    ApplyZoom(target, inViewport);
}

// `anchor`: a point of the viewport that keeps showing the same picture
// point; the viewport's centre when none is given.
void MainWindow::ApplyZoom(double newZoom, std::optional<QPointF> anchor) {
    newZoom = std::clamp(newZoom, kMinZoom, kMaxZoom);
    const double old = zoom();
    QScrollBar* h = pictureScroll_->horizontalScrollBar();
    QScrollBar* v = pictureScroll_->verticalScrollBar();
    const QPointF at = anchor.value_or(QPointF(pictureScroll_->viewport()->width() / 2.0,
                                               pictureScroll_->viewport()->height() / 2.0));
    // The picture point under the anchor, in bitmap pixels.
    const QPointF picture((h->value() + at.x()) / old, (v->value() + at.y()) / old);
    imageView_->SetZoom(newZoom);
    h->setValue(int(std::lround(picture.x() * newZoom - at.x())));
    v->setValue(int(std::lround(picture.y() * newZoom - at.y())));
    statusLine_->SetZoom(zoom());
    UpdateActions();
}

double MainWindow::FitZoom() const {
    const QImage& bitmap = imageView_->bitmap();
    if (bitmap.isNull()) return 1.0;
    const QSize room = pictureScroll_->maximumViewportSize();
    // A hair below the exact ratio, so rounding up never asks for a scroll bar.
    const double fit = std::min(double(room.width()) / bitmap.width(), double(room.height()) / bitmap.height());
    return std::clamp(fit * (1 - 1e-9), kMinZoom, kMaxZoom);
}

void MainWindow::SetFitToWindow(bool fit) {
    fitToWindow_ = fit;
    if (fit) ApplyZoom(FitZoom(), std::nullopt);
    UpdateActions();
}

void MainWindow::RefitIfFitted() {
    if (fitToWindow_) ApplyZoom(FitZoom(), std::nullopt);
    statusLine_->SetZoom(zoom());
}

}  // namespace vexo
