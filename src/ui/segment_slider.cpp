#include "ui/segment_slider.h"

#include <QPainter>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace vexo {

namespace {
constexpr int kMinTickSpacing = 2;  // pixels
}  // namespace

SegmentSlider::SegmentSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
    UpdateTickInterval();
}

// A tick for every step, unless ticks would stand closer than the minimum
// spacing along the groove (the width less the handle); then every so many
// steps, as few as keep them that far apart.
void SegmentSlider::UpdateTickInterval() {
    const int64_t steps = int64_t(maximum()) - minimum();
    QStyleOptionSlider option;
    initStyleOption(&option);
    const int handle = style()->pixelMetric(QStyle::PM_SliderLength, &option, this);
    const int64_t room = std::max(1, width() - handle);
    int64_t interval = 1;
    if (steps * kMinTickSpacing > room) interval = (steps * kMinTickSpacing + room - 1) / room;
    setTickInterval(int(std::min<int64_t>(interval, std::numeric_limits<int>::max())));
}

void SegmentSlider::resizeEvent(QResizeEvent* event) {
    QSlider::resizeEvent(event);
    UpdateTickInterval();
}

void SegmentSlider::sliderChange(SliderChange change) {
    QSlider::sliderChange(change);
    if (change == SliderRangeChange) UpdateTickInterval();
}

void SegmentSlider::paintEvent(QPaintEvent* event) {
    // The style counts ticks in int: safe while the value after the last
    // tick still fits.
    const int64_t interval = std::max(1, tickInterval());
    if (int64_t(maximum()) + 1 + interval <= std::numeric_limits<int>::max()) {
        QSlider::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
    const int length = style()->pixelMetric(QStyle::PM_SliderLength, &option, this);
    const int tick = std::max(3, style()->pixelMetric(QStyle::PM_SliderTickmarkOffset, &option, this) - 1);
    const int available = width() - length;
    QColor colour = palette().color(QPalette::WindowText);
    colour.setAlpha(110);
    painter.setPen(colour);
    for (int64_t v = minimum(); v <= maximum(); v += interval) {
        const int x = QStyle::sliderPositionFromValue(minimum(), maximum(), int(v), available) + length / 2;
        painter.drawLine(x, height() - 1 - tick, x, height() - 1);
    }
}

}  // namespace vexo
