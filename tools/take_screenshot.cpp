// Takes the screenshot that the AppStream metadata shows: the window, as a
// user first sees it, with a photograph loaded and the grid search (operation
// 16) run on it, read back from the X server. tools/make-screenshot.sh runs it
// under Xvfb.
//   vexo_take_screenshot PICTURE OUTPUT.png
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <iostream>

#include "ui/main_window.h"
#include "ui/progress_dialog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::cerr << "usage: vexo_take_screenshot PICTURE OUTPUT.png\n";
        return 1;
    }
    // The window writes its settings when it closes: never into the user's own.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());

    vexo::MainWindow window;
    vexo::ProgressDialog progressDialog(&window);
    window.AttachProgressDialog(&progressDialog);
    window.setGeometry(0, 0, 1100, 720);
    window.show();

    int status = 0;
    // Once the window is drawn: load, search, let the result be drawn, grab.
    QTimer::singleShot(500, &window, [&] {
        window.OpenPath(arguments[1]);
        auto* button = window.findChild<QPushButton*>("shortcutButton16");
        if (button == nullptr || window.workbench().busy()) {
            std::cerr << "vexo_take_screenshot: the grid search could not be started\n";
            status = 1;
            QApplication::quit();
            return;
        }
        button->click();
        QTimer::singleShot(500, &window, [&] {
            const QRect frame = window.frameGeometry();
            const QPixmap shot =
                QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            if (shot.isNull() || !shot.save(arguments[2], "PNG")) {
                std::cerr << "vexo_take_screenshot: cannot write " << arguments[2].toStdString() << "\n";
                status = 1;
            }
            QApplication::quit();
        });
    });
    QApplication::exec();
    return status;
}
