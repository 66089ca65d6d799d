// The progress bar of the please-wait dialog: minimum 0, maximum 5 and
// position 0 at start, step 1. Stepping past the maximum starts the bar
// again from its minimum.
#pragma once

#include "core/screen.h"

namespace vexo {

class ProgressBar {
public:
    explicit ProgressBar(Screen& screen) : screen_(screen) {}

    void SetPosition(int position);
    void SetMaximum(int maximum);
    void Step();
    void Show();
    void Hide();

    int position() const { return position_; }
    int maximum() const { return maximum_; }
    bool visible() const { return visible_; }

private:
    Screen& screen_;
    int position_ = 0;
    int maximum_ = 5;
    bool visible_ = false;
};

}  // namespace vexo
