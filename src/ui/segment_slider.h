// The segment-offset track bar: ticks below, one for every step where the
// steps stand at least 2 pixels apart, else one every so many steps. A
// range near the largest integer is drawn with ticks of its own, since the
// style's tick loop would step past that integer and never end.
#pragma once

#include <QSlider>

namespace vexo {

class SegmentSlider : public QSlider {
    Q_OBJECT
public:
    explicit SegmentSlider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void sliderChange(SliderChange change) override;

private:
    void UpdateTickInterval();
};

}  // namespace vexo
