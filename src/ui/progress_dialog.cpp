#include "ui/progress_dialog.h"

#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "ui/bevel_panel.h"
#include "ui/desktop_font.h"

namespace vexo {

namespace {
constexpr int kClientWidth = 218;
constexpr int kPanelHeight = 57;
constexpr int kBarHeight = 18;
constexpr int kButtonRow = 32;  // below the bar: the Cancel button
constexpr int kClientHeight = kPanelHeight + kBarHeight + kButtonRow;
}  // namespace

ProgressDialog::ProgressDialog(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Vexo");
    setModal(false);
    // The main window keeps the keyboard while an operation runs.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(DesktopFont(8));
    setFixedSize(kClientWidth, kClientHeight);
    CreateControls();
}

void ProgressDialog::CreateControls() {
    messagePanel_ = new BevelPanel(this);
    messagePanel_->setObjectName("messagePanel");
    messagePanel_->setGeometry(0, 0, kClientWidth, kPanelHeight);
    messagePanel_->SetBevels(10, 2);
    messagePanel_->setFont(DesktopFont(14));
    messagePanel_->SetCaption("PLEASE, WAIT", QColor(0x80, 0x00, 0x00));

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("progressBar");
    progressBar_->setGeometry(0, kPanelHeight, kClientWidth, kBarHeight);
    progressBar_->setRange(0, 5);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    cancelButton_ = new QPushButton("Cancel", this);
    cancelButton_->setObjectName("cancelButton");
    cancelButton_->setToolTip("Stop the running operation (Esc); what its finished steps did stays");
    const int width = std::max(75, cancelButton_->sizeHint().width());
    const int height = std::min(kButtonRow - 6, std::max(22, cancelButton_->sizeHint().height()));
    cancelButton_->setGeometry((kClientWidth - width) / 2, kPanelHeight + kBarHeight + (kButtonRow - height) / 2, width,
                               height);
    connect(cancelButton_, &QPushButton::clicked, this, &ProgressDialog::cancelRequested);
}

void ProgressDialog::SetProgress(int position, int maximum) {
    progressBar_->setMaximum(maximum);
    progressBar_->setValue(position);
}

void ProgressDialog::SetShown(bool shown) {
    if (!shown) {
        // Where the platform gave the dialog the keyboard after all, it goes
        // back to the main window.
        const bool hadKeyboard = isActiveWindow();
        hide();
        if (hadKeyboard && parentWidget() != nullptr && parentWidget()->isVisible()) parentWidget()->activateWindow();
        return;
    }
    CentreOverMainWindow();
    show();
    // The frame is known only once the dialog has been shown the first time.
    CentreOverMainWindow();
}

void ProgressDialog::CentreOverMainWindow() {
    const QWidget* main = parentWidget();
    if (main == nullptr) return;
    const QRect over = main->frameGeometry();
    const QRect own = frameGeometry();
    move(over.center() - QPoint(own.width() / 2, own.height() / 2));
}

}  // namespace vexo
