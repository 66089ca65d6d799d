#include "ui/bevel_panel.h"

#include <QPainter>
#include <qdrawutil.h>

namespace vexo {

BevelPanel::BevelPanel(QWidget* parent) : QWidget(parent) {}

void BevelPanel::SetBevels(int borderWidth, int innerBevel) {
    borderWidth_ = borderWidth;
    innerBevel_ = innerBevel;
    update();
}

void BevelPanel::SetCaption(const QString& caption, const QColor& colour) {
    caption_ = caption;
    captionColour_ = colour;
    update();
}

void BevelPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    qDrawShadePanel(&painter, rect(), pal, false, 1);
    if (innerBevel_ > 0) {
        const int inset = 1 + borderWidth_;
        qDrawShadePanel(&painter, rect().adjusted(inset, inset, -inset, -inset), pal, true, innerBevel_);
    }
    if (!caption_.isEmpty()) {
        painter.setPen(captionColour_);
        painter.drawText(rect(), Qt::AlignCenter, caption_);
    }
}

}  // namespace vexo
