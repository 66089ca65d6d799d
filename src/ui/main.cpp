// Vexo: the desktop workbench.
#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "ui/main_window.h"
#include "ui/progress_dialog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexo");
    vexo::MainWindow mainWindow;
    vexo::ProgressDialog progressDialog(&mainWindow);
    mainWindow.AttachProgressDialog(&progressDialog);
    mainWindow.showMaximized();
    // Without a window manager nobody honours the maximise request: fill the
    // screen by hand so the picture area is as large as on a desktop.
    QTimer::singleShot(300, &mainWindow, [&mainWindow] {
        if (mainWindow.isMaximized() && mainWindow.QWidget::screen() != nullptr &&
            mainWindow.width() < mainWindow.QWidget::screen()->availableGeometry().width() / 2) {
            mainWindow.setGeometry(mainWindow.QWidget::screen()->availableGeometry());
        }
    });
    return QApplication::exec();
}
