#include "ui/please_wait.h"

#include <QProgressBar>

#include "ui/bevel_panel.h"
#include "ui/desktop_font.h"

namespace vexo {

namespace {
constexpr int kClientWidth = 218;
constexpr int kClientHeight = 75;
constexpr int kPanelHeight = 57;
}  // namespace

TPleaseWait::TPleaseWait(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Vexo");
    setModal(false);
    // The main window keeps the keyboard while an operation runs.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(DesktopFont(8));
    setFixedSize(kClientWidth, kClientHeight);
    CreateControls();
}

void TPleaseWait::CreateControls() {
    Panel1 = new BevelPanel(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, kClientWidth, kPanelHeight);
    Panel1->SetBevels(10, 2);
    Panel1->setFont(DesktopFont(14));
    Panel1->SetCaption("PLEASE, WAIT", QColor(0x80, 0x00, 0x00));

    PB = new QProgressBar(this);
    PB->setObjectName("PB");
    PB->setGeometry(0, kPanelHeight, kClientWidth, kClientHeight - kPanelHeight);
    PB->setRange(0, 5);
    PB->setValue(0);
    PB->setTextVisible(false);
}

void TPleaseWait::SetProgress(int position, int maximum) {
    PB->setMaximum(maximum);
    PB->setValue(position);
}

void TPleaseWait::SetShown(bool shown) {
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

void TPleaseWait::CentreOverMainWindow() {
    const QWidget* main = parentWidget();
    if (main == nullptr) return;
    const QRect over = main->frameGeometry();
    const QRect own = frameGeometry();
    move(over.center() - QPoint(own.width() / 2, own.height() / 2));
}

}  // namespace vexo
