#include "core/progress.h"

namespace vexo {

void ProgressBar::SetPosition(int position) {
    position_ = position < 0 ? 0 : (position > maximum_ ? maximum_ : position);
    screen_.ShowProgress(position_, maximum_);
}

void ProgressBar::SetMaximum(int maximum) {
    maximum_ = maximum < 0 ? 0 : maximum;
    if (position_ > maximum_) position_ = maximum_;
    screen_.ShowProgress(position_, maximum_);
}

void ProgressBar::Step() {
    position_ = position_ + 1 > maximum_ ? 0 : position_ + 1;
    screen_.ShowProgress(position_, maximum_);
}

void ProgressBar::Show() {
    visible_ = true;
    screen_.SetProgressDialogVisible(true);
}

void ProgressBar::Hide() {
    visible_ = false;
    screen_.SetProgressDialogVisible(false);
}

}  // namespace vexo
