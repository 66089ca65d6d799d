// The window tests: the controls of the strip and browser, then what the
// window adds around them (menus, zoom, files, status line, cancel, settings),
// then Find Grid in the window.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

int RunMainWindowTest(int argc, char** argv);
int RunDesktopTest(int argc, char** argv);
int RunFindGridWindowTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    // A window that closes writes its settings: never into the user's own.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    int failed = RunMainWindowTest(argc, argv);
    failed += RunDesktopTest(argc, argv);
    failed += RunFindGridWindowTest(argc, argv);
    return failed;
}
