// Vexo: the desktop workbench.
#include <QApplication>

#include "ui/main_window.h"
#include "ui/please_wait.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexo");
    vexo::TMain mainWindow;
    vexo::TPleaseWait pleaseWait(&mainWindow);
    mainWindow.AttachProgressDialog(&pleaseWait);
    mainWindow.showMaximized();
    return QApplication::exec();
}
