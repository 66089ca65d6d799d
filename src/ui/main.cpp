// Vexo: the desktop workbench. `vexo [PICTURE | FOLDER]` opens that picture
// or folder once the window is up.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <iostream>

#include "ui/main_window.h"
#include "ui/progress_dialog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexo");
    QApplication::setOrganizationName("Vexo");
    QApplication::setApplicationVersion(VEXO_VERSION);
    // Qt has taken its own options out of the arguments by now.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << "Usage: vexo [PICTURE | FOLDER]\n"
                     "Opens the JPEG picture (loaded as a click in the file list) or the folder at start.\n";
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::cout << "vexo " << VEXO_VERSION << "\n";
        return 0;
    }

    vexo::MainWindow mainWindow;
    vexo::ProgressDialog progressDialog(&mainWindow);
    mainWindow.AttachProgressDialog(&progressDialog);
    mainWindow.RestoreSettings();
    mainWindow.showMaximized();
    // Without a window manager nobody honours the maximise request: fill the
    // screen by hand so the picture area is as large as on a desktop.
    QTimer::singleShot(300, &mainWindow, [&mainWindow] {
        if (mainWindow.isMaximized() && mainWindow.QWidget::screen() != nullptr &&
            mainWindow.width() < mainWindow.QWidget::screen()->availableGeometry().width() * 9 / 10) {
            mainWindow.setGeometry(mainWindow.QWidget::screen()->availableGeometry());
        }
    });
    if (arguments.size() > 1) {
        QTimer::singleShot(0, &mainWindow, [&mainWindow, arguments] {
            mainWindow.screen().ApplicationErrorBox("Usage: vexo [PICTURE | FOLDER] (one argument, " +
                                                    std::to_string(arguments.size()) + " given)");
        });
    } else if (arguments.size() == 1) {
        const QString argument = arguments[0];
        QTimer::singleShot(0, &mainWindow, [&mainWindow, argument] { mainWindow.OpenCommandLineArgument(argument); });
    }
    return QApplication::exec();
}
