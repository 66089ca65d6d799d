// A panel with a raised outer bevel, a border and an optional lowered inner
// bevel, with an optional caption centred inside. Children are laid out by the
// owner; contentInset() is the width of the frame they should leave free.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vexo {

class BevelPanel : public QWidget {
    Q_OBJECT
public:
    explicit BevelPanel(QWidget* parent = nullptr);

    // A border of `borderWidth` pixels between the outer bevel and an inner
    // lowered bevel `innerBevel` pixels wide (0: no inner bevel).
    void SetBevels(int borderWidth, int innerBevel);
    void SetCaption(const QString& caption, const QColor& colour);
    int contentInset() const { return 1 + borderWidth_ + innerBevel_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int borderWidth_ = 0;
    int innerBevel_ = 0;
    QString caption_;
    QColor captionColour_;
};

}  // namespace vexo
