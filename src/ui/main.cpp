// Vexo: the desktop workbench. `vexo [PICTURE | FOLDER]` opens that picture
// or folder once the window is up.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <iostream>

#include "ui/main_window.h"
#include "ui/progress_dialog.h"

namespace {

// `vexo --help`; the manual page vexo(1) is made from this text.
constexpr const char* kHelpText = R"(Usage: vexo [PICTURE | FOLDER]
       vexo --help | --version

Starts the Vexo window. A JPEG PICTURE is loaded as a click on it in the file
list would load it, and the browser moves to its folder; a FOLDER opens in the
browser. A bad argument is reported once the window is up, and the window
starts as without it. Without an argument the browser shows the folder of the
last session, else the Pictures folder, else the home folder.

Options:
  --help            print this help and exit
  --version         print the version of vexo and exit
  Qt's own options, such as -platform NAME or -display DISPLAY, are taken too.
)";

// --help and --version: the answer and the exit status, or -1 for neither.
int AnswerInformationRequest(const QStringList& arguments) {
    if (arguments.size() != 1) return -1;
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        std::cout << kHelpText;
        return 0;
    }
    if (arguments[0] == "--version") {
        std::cout << "vexo " << VEXO_VERSION << "\n";
        return 0;
    }
    return -1;
}

// The browser starts in the user's Pictures folder, or their home folder when
// there is none; a folder remembered from the last session takes its place
// when the settings are read, and the argument's folder when it opens.
QString StartFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
    return QDir::homePath();
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the window system is reached, so that they work
    // without a display.
    if (argc == 2) {
        const int status = AnswerInformationRequest({QString::fromLocal8Bit(argv[1])});
        if (status >= 0) return status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexo");
    QApplication::setOrganizationName("Vexo");
    QApplication::setApplicationVersion(VEXO_VERSION);
    // The desktop entry and the icon that the installation puts in place.
    QApplication::setDesktopFileName("vexo");
    QApplication::setWindowIcon(QIcon::fromTheme(VEXO_APP_ID));
    // Qt has taken its own options out of the arguments by now.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (const int status = AnswerInformationRequest(arguments); status >= 0) return status;

    vexo::MainWindow mainWindow;
    vexo::ProgressDialog progressDialog(&mainWindow);
    mainWindow.AttachProgressDialog(&progressDialog);
    mainWindow.OpenDirectory(StartFolder());
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
