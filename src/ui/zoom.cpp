// Zoom, fit and panning: only how the displayed bitmap is drawn and which
// part of it shows. Zooming keeps the picture point the user looked at (the
// centre of the view, or the point under the mouse for Ctrl+wheel) where it
// was on the screen; zooming by step leaves Fit to Window.
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
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

// Where Space is a character the user types.
bool TakesText(const QWidget* widget) {
    if (qobject_cast<const QLineEdit*>(widget) != nullptr || qobject_cast<const QAbstractSpinBox*>(widget) != nullptr)
        return true;
    const auto* box = qobject_cast<const QComboBox*>(widget);
    return box != nullptr && box->isEditable();
}

}  // namespace

double MainWindow::zoom() const { return imageView_->zoom(); }

void MainWindow::SetZoom(double zoom) { ApplyZoom(zoom, std::nullopt); }

double MainWindow::ZoomStep(bool up) const {
    const double now = zoom();
    if (up) {
        for (double step : kZoomSteps)
            if (step > now * 1.0001) return step;
    } else {
        for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it)
            if (*it < now / 1.0001) return *it;
    }
    return now;
}

void MainWindow::ZoomIn() {
    if (imageView_->shown().isNull()) return;
    SetFitToWindow(false);
    SetZoom(ZoomStep(true));
}

void MainWindow::ZoomOut() {
    if (imageView_->shown().isNull()) return;
    SetFitToWindow(false);
    SetZoom(ZoomStep(false));
}

void MainWindow::OnImageWheel(QWheelEvent* event) {
    if (imageView_->shown().isNull()) return;
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    SetFitToWindow(false);
    const QPointF inViewport = pictureScroll_->viewport()->mapFromGlobal(event->globalPosition());
    ApplyZoom(ZoomStep(delta > 0), inViewport);
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
    const QImage& bitmap = imageView_->shown();
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

// --- Panning ---

bool MainWindow::OnPanEvent(QObject* watched, QEvent* event) {
    QScrollBar* h = pictureScroll_->horizontalScrollBar();
    QScrollBar* v = pictureScroll_->verticalScrollBar();
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool pans = mouse->button() == Qt::MiddleButton || (mouse->button() == Qt::LeftButton && spaceHeld_);
            if (!pans) return false;
            if (panWidget_ != nullptr) return true;  // a second button during a drag
            panWidget_ = qobject_cast<QWidget*>(watched);
            panButton_ = mouse->button();
            panStart_ = mouse->globalPosition();
            panScrollStart_ = {h->value(), v->value()};
            // Moves reach the drag wherever the mouse goes, as for the splitter.
            if (panWidget_ != nullptr) panWidget_->grabMouse();
            UpdatePanCursor();
            return true;
        }
        case QEvent::MouseMove: {
            if (panWidget_ == nullptr) return false;
            const QPointF moved = static_cast<QMouseEvent*>(event)->globalPosition() - panStart_;
            h->setValue(panScrollStart_.x() - int(std::lround(moved.x())));
            v->setValue(panScrollStart_.y() - int(std::lround(moved.y())));
            return false;  // the readouts still follow the mouse
        }
        case QEvent::MouseButtonRelease: {
            if (panWidget_ == nullptr || static_cast<QMouseEvent*>(event)->button() != panButton_) return false;
            panWidget_->releaseMouse();
            panWidget_ = nullptr;
            panButton_ = Qt::NoButton;
            UpdatePanCursor();
            return true;
        }
        default: return false;
    }
}

bool MainWindow::OnSpaceKey(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space) return false;
    if (event->type() == QEvent::KeyRelease) {
        if (!spaceHeld_) return false;
        if (!event->isAutoRepeat()) SetSpaceHeld(false);
        return true;
    }
    if (spaceHeld_) return true;  // the key repeating
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (!isActiveWindow() || imageView_->shown().isNull()) return false;
    if (!pictureScroll_->viewport()->underMouse() && !pictureScroll_->hasFocus()) return false;
    if (TakesText(QApplication::focusWidget())) return false;
    SetSpaceHeld(true);
    return true;
}

void MainWindow::SetSpaceHeld(bool held) {
    if (held == spaceHeld_) return;
    spaceHeld_ = held;
    UpdatePanCursor();
}

// An open hand while Space readies a drag, a closed one while dragging.
void MainWindow::UpdatePanCursor() {
    for (QWidget* widget : {static_cast<QWidget*>(imageView_), pictureScroll_->viewport()}) {
        if (panWidget_ != nullptr)
            widget->setCursor(Qt::ClosedHandCursor);
        else if (spaceHeld_)
            widget->setCursor(Qt::OpenHandCursor);
        else
            widget->unsetCursor();
    }
}

}  // namespace vexo
