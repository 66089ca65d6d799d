// Helper of the window tests.
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>
#include <functional>
#include <utility>

// Calls `action` at every paint of `target` (RepaintNow paints at once, in
// the middle of an operation).
class PaintSpy : public QObject {
public:
    PaintSpy(QWidget* target, std::function<void()> action) : action_(std::move(action)) {
        target->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && action_) action_();
        return false;
    }

private:
    std::function<void()> action_;
};
