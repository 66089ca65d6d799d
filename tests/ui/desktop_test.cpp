// What the window adds around its controls, driven as a user would: menus
// and their keys, zoom and panning, lines that stay visible when zoomed out,
// files dropped or named on the command line, saving
// and exporting (checked against vexo-cli), the status line, Cancel, the
// window's minimum size, keyboard and tooltips, remembered settings.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "lines/line_list.h"
#include "paint_spy.h"
#include "ui/bevel_panel.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/status_line.h"

using namespace vexo;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// How many pixels of two pictures of the same size differ in colour.
int DifferingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y);
    return differing;
}

bool IsColour(QRgb pixel, int red, int green, int blue) {
    return std::abs(qRed(pixel) - red) < 40 && std::abs(qGreen(pixel) - green) < 40 &&
           std::abs(qBlue(pixel) - blue) < 40;
}

// The picture point under a point of the view, in bitmap pixels.
QPointF PicturePointAt(const QScrollArea* scroll, double zoom, QPointF inViewport) {
    return {(scroll->horizontalScrollBar()->value() + inViewport.x()) / zoom,
            (scroll->verticalScrollBar()->value() + inViewport.y()) / zoom};
}

bool Near(QPointF a, QPointF b) { return std::abs(a.x() - b.x()) <= 1 && std::abs(a.y() - b.y()) <= 1; }

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuCommandsNeedAPicture();
    void openDialogLoadsAndMovesTheBrowser();
    void recentFilesDropMissingOnes();
    void zoomKeepsReadoutsInPicturePixels();
    void fitToWindowFollowsTheWindow();
    void dropOpensPicturesAndFoldersOnly();
    void commandLineArgument_data();
    void commandLineArgument();
    void savedPictureAndExportedGridEqualVexoCli();
    void csvExportHasOneRowPerCell();
    void enterInTheParameterBoxPressesGo();
    void statusLineSaysWhyALoadFailed_data();
    void statusLineSaysWhyALoadFailed();
    void statusLineReportsResultsAndPixels();
    void everyOperationReportsItsResult_data();
    void everyOperationReportsItsResult();
    void exportAfterCancelSaysItWasCancelled();
    void messageBoxesFollowTheStatusAndAreNotTimed();
    void staleReadoutsAndRefusalsAreCleared();
    void typingDuringAnOperationIsReported();
    void cancelStopsTheOperationAndLeavesTheWindowSound();
    void escapeCancels();
    void hugeSegmentSizeKeepsTicksApart();
    void linesAndLabelsStayVisibleWhenZoomedOut();
    void zoomStepsLeaveFitToWindow();
    void dragPansThePicture_data();
    void dragPansThePicture();
    void shortcutShowsItsItemWhileRunning();
    void goOnAndTrackBarCountDuringAnOperation();
    void splitterCursorStaysOffTheLists();
    void minimumSizeKeepsControlsApart();
    void keyboardAndTooltipsReachEveryControl();
    void settingsRoundTrip();
    void corruptSettingsFallBackToDefaults();

private:
    void NewWindow();
    void Load(const QString& name);
    QString Path(const QString& name) const { return folder_.filePath(name); }
    QAction* Action(const char* name) {
        auto* action = window_->findChild<QAction*>(name);
        if (action == nullptr) qWarning("no action %s", name);
        return action;
    }
    template <class Widget>
    Widget* Find(const char* name) {
        auto* widget = window_->findChild<Widget*>(name);
        if (widget == nullptr) qWarning("no widget %s", name);
        return widget;
    }
    QString Status() { return window_->statusLine().result(); }
    QString SettingsFile() const { return settingsDir_.filePath("Vexo/Vexo.ini"); }
    // Runs the current operation with `onTick` called at every pass of the
    // event loop that the operation makes.
    void RunWithTicks(const std::function<void()>& press, const std::function<void(int)>& onTick);

    QTemporaryDir folder_;
    QTemporaryDir settingsDir_;
    QString sample_ = "grid.jpg";
    std::unique_ptr<MainWindow> window_;
    ProgressDialog* progressDialog_ = nullptr;
};

void DesktopTest::initTestCase() {
    QVERIFY(folder_.isValid());
    QVERIFY(settingsDir_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
    QtScreen::autoAnswerBoxes = true;
    QVERIFY(QFile::copy(QStringLiteral(VEXO_SOURCE_DIR "/samples/grid-9x9.jpg"), Path(sample_)));

    QFile broken(Path("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("this is not a JPEG file at all");
    broken.close();
    WriteAll(Path("empty.jpg"), {});
    WriteAll(Path("notes.txt"), "a few words");
    QVERIFY(QDir(folder_.path()).mkpath("sub folder"));

    // A JPEG cut in the middle of its data: it loads with the bottom filled in.
    QImage gradient(64, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) gradient.scanLine(y)[x] = uchar((x * 7 + y * 3) & 0xFF);
    QVERIFY(gradient.save(Path("whole.jpg"), "JPEG", 90));
    const QByteArray whole = ReadAll(Path("whole.jpg"));
    WriteAll(Path("truncated.jpg"), whole.left(whole.size() * 2 / 3));
    // The same file declaring 20000 x 64 pixels in its frame header.
    QByteArray huge = whole;
    const int frame = huge.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    huge[frame + 7] = char(20000 >> 8);
    huge[frame + 8] = char(20000 & 0xFF);
    WriteAll(Path("huge.jpg"), huge);
}

void DesktopTest::init() {
    QtScreen::answeredBoxes.clear();
    QFile::remove(SettingsFile());
    NewWindow();
}

void DesktopTest::NewWindow() {
    window_ = std::make_unique<MainWindow>();
    progressDialog_ = new ProgressDialog(window_.get());
    window_->AttachProgressDialog(progressDialog_);
    window_->OpenDirectory(folder_.path());
    window_->resize(1000, 760);
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void DesktopTest::cleanup() {
    window_.reset();
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void DesktopTest::Load(const QString& name) {
    auto* list = Find<QListWidget>("fileList");
    const auto found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
    QVERIFY(window_->workbench().image().loaded());
}

void DesktopTest::RunWithTicks(const std::function<void()>& press, const std::function<void(int)>& onTick) {
    QTimer ticker;
    int ticks = 0;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, [&] {
        if (window_->workbench().busy()) onTick(++ticks);
    });
    ticker.start();
    press();
    ticker.stop();
}

void DesktopTest::menuCommandsNeedAPicture() {
    // Without a picture nothing can be saved, exported, zoomed or run.
    for (const char* name : {"savePictureAction", "exportGridAction", "zoomInAction", "operationAction16"})
        QVERIFY2(!Action(name)->isEnabled(), name);
    QCOMPARE(Action("openAction")->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(Action("fitToWindowAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_9));

    Load(sample_);
    const QImage loaded = Find<ImageView>("imageView")->bitmap().copy();
    QVERIFY(Action("savePictureAction")->isEnabled());
    // Nothing ran on this picture yet: there is no grid to export.
    QVERIFY(!Action("exportGridAction")->isEnabled());

    // An operation from the menu runs as picking it in the operation list
    // and pressing GO: its default parameter goes into the box first.
    auto* edit = Find<QLineEdit>("parameterEdit");
    edit->setText("77");
    Action("operationAction6")->trigger();
    QCOMPARE(window_->workbench().lastOperation().operation, 6);
    QCOMPARE(QString::fromStdString(window_->workbench().lastOperation().parameterText), QString("150"));
    QCOMPARE(edit->text(), QString("150"));
    QCOMPARE(Find<QComboBox>("operationList")->currentIndex(), 6);
    QVERIFY(Action("exportGridAction")->isEnabled());
    QVERIFY2(Status().startsWith("Hough crossings: 9 + 9 lines, "), qPrintable(Status()));
    QVERIFY(Find<QSlider>("segmentOffsetSlider")->isHidden());
    // Segmentation brings its size and its track bar, as when picked in the list.
    Action("operationAction3")->trigger();
    QCOMPARE(QString::fromStdString(window_->workbench().lastOperation().parameterText), QString("30"));
    QVERIFY(Find<QSlider>("segmentOffsetSlider")->isVisible());
    QCOMPARE(Find<QSlider>("segmentOffsetSlider")->maximum(), 29);
    // An operation without a default keeps the box as it is.
    edit->setText("77");
    Action("operationAction9")->trigger();
    QCOMPARE(QString::fromStdString(window_->workbench().lastOperation().parameterText), QString("77"));
    // Restore Picture is "R" from the same menu, with Ctrl+R.
    QVERIFY(Find<ImageView>("imageView")->bitmap() != loaded);
    QVERIFY(Find<QMenu>("operationsMenu")->actions().contains(Action("restorePictureAction")));
    // The offscreen platform may leave the hidden progress dialog active.
    window_->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(window_.get(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(int(window_->workbench().image().activePlane), 0);
    QCOMPARE(Find<ImageView>("imageView")->bitmap(), loaded);

    // A new picture has no grid of its own yet.
    Load(sample_);
    QVERIFY(!Action("exportGridAction")->isEnabled());
}

void DesktopTest::openDialogLoadsAndMovesTheBrowser() {
    QTemporaryDir other;
    QVERIFY(QFile::copy(Path(sample_), other.filePath("elsewhere.jpg")));
    window_->askOpenPath = [&] { return other.filePath("elsewhere.jpg"); };
    QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(window_->workbench().image().loaded());
    QCOMPARE(window_->windowTitle(), QString("Vexo - elsewhere.jpg (640x480)"));
    QCOMPARE(window_->currentDirectory(), QDir(other.path()).absolutePath());
    QCOMPARE(Find<QListWidget>("fileList")->currentItem()->text(), QString("elsewhere.jpg"));
    QCOMPARE(window_->recentFiles().value(0), QDir(other.path()).absoluteFilePath("elsewhere.jpg"));

    // A file that does not load leaves the browser where it was.
    window_->askOpenPath = [&] { return Path("broken.jpg"); };
    QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(window_->currentDirectory(), QDir(other.path()).absolutePath());
    QCOMPARE(window_->windowTitle(), QString("Vexo - elsewhere.jpg (640x480)"));
}

void DesktopTest::recentFilesDropMissingOnes() {
    QTemporaryDir other;
    QVERIFY(QFile::copy(Path(sample_), other.filePath("gone.jpg")));
    window_->OpenPath(other.filePath("gone.jpg"));
    window_->OpenPath(Path(sample_));
    QCOMPARE(window_->recentFiles().size(), 2);
    QCOMPARE(window_->recentFiles().first(), Path(sample_));
    // Loading the same file again moves it to the front instead of adding it twice.
    window_->OpenPath(other.filePath("gone.jpg"));
    QCOMPARE(window_->recentFiles(), QStringList({other.filePath("gone.jpg"), Path(sample_)}));

    QVERIFY(QFile::remove(other.filePath("gone.jpg")));
    auto* recent = Find<QMenu>("recentMenu");
    emit recent->aboutToShow();
    QCOMPARE(window_->recentFiles(), QStringList({Path(sample_)}));
    QVERIFY(Action("recentFileAction0")->isVisible());
    QVERIFY(!Action("recentFileAction1")->isVisible());
    Action("recentFileAction0")->trigger();
    QCOMPARE(window_->windowTitle(), QString("Vexo - grid.jpg (640x480)"));
}

void DesktopTest::zoomKeepsReadoutsInPicturePixels() {
    Load(sample_);
    auto* view = Find<ImageView>("imageView");
    const ImageState& image = window_->workbench().image();
    const QImage before = view->bitmap().copy();

    auto* scroll = Find<QScrollArea>("pictureScroll");
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 1.5);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 2.0);
    QCOMPARE(view->size(), QSize(2 * image.stride, 2 * image.height));
    QCOMPARE(window_->statusLine().zoomText(), QString("200 %"));
    // The bitmap itself is untouched by the zoom.
    QCOMPARE(view->bitmap(), before);

    // Mouse positions stay in picture pixels: widget (85, 61) is pixel (42, 30).
    scroll->horizontalScrollBar()->setValue(0);
    scroll->verticalScrollBar()->setValue(0);
    QTest::mouseMove(view, QPoint(85, 61));
    QTRY_COMPARE(Find<QLabel>("positionReadout")->text(), QString("42 : 30"));
    const QColor pixel = before.pixelColor(42, 30);
    QCOMPARE(Find<QLabel>("colourReadout")->text(),
             QString("%1:%2:%3").arg(pixel.red()).arg(pixel.green()).arg(pixel.blue()));
    QCOMPARE(window_->statusLine().pixel(), QString("(42, 30) %1").arg(pixel.red()));

    for (int i = 0; i < 6; ++i) QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 0.25);
    QTest::mouseMove(view, QPoint(10, 7));
    QTRY_COMPARE(Find<QLabel>("positionReadout")->text(), QString("40 : 28"));

    // Zoom stops at 1/16 and at 16.
    for (int i = 0; i < 20; ++i) window_->ZoomOut();
    QCOMPARE(window_->zoom(), 1.0 / 16);
    QVERIFY(!Action("zoomOutAction")->isEnabled());
    for (int i = 0; i < 40; ++i) window_->ZoomIn();
    QCOMPARE(window_->zoom(), 16.0);
    QVERIFY(!Action("zoomInAction")->isEnabled());

    QTest::keyClick(window_.get(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 1.0);

    // Ctrl+wheel zooms and keeps the picture point under the mouse in place.
    const QPoint at(100, 80);
    QWheelEvent wheel(QPointF(at), QPointF(scroll->viewport()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(scroll->viewport(), &wheel);
    QCOMPARE(window_->zoom(), 1.5);
    QCOMPARE(scroll->horizontalScrollBar()->value(), 50);  // 100 * 1.5 - 100
    QCOMPARE(scroll->verticalScrollBar()->value(), 40);
}

void DesktopTest::fitToWindowFollowsTheWindow() {
    Load(sample_);
    auto* scroll = Find<QScrollArea>("pictureScroll");
    auto* view = Find<ImageView>("imageView");
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QVERIFY(window_->fitToWindow());
    auto fits = [&] {
        const QSize room = scroll->viewport()->size();
        return view->width() <= room.width() && view->height() <= room.height() &&
               (view->width() >= room.width() - 1 || view->height() >= room.height() - 1);
    };
    QVERIFY(fits());
    window_->resize(700, 500);
    QTRY_VERIFY(fits());
    const double small = window_->zoom();
    window_->resize(1200, 900);
    QTRY_VERIFY(fits());
    QVERIFY(window_->zoom() > small);
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());
    // Actual Size ends fitting.
    QTest::keyClick(window_.get(), Qt::Key_0, Qt::ControlModifier);
    QVERIFY(!window_->fitToWindow());
    QCOMPARE(window_->zoom(), 1.0);
}

void DesktopTest::dropOpensPicturesAndFoldersOnly() {
    auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &enter);
        const bool accepted = enter.isAccepted();
        QDropEvent dropped(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &dropped);
        return accepted;
    };
    QTemporaryDir other;
    QVERIFY(QFile::copy(Path(sample_), other.filePath("dropped.jpg")));
    QVERIFY(drop(other.filePath("dropped.jpg")));
    QCOMPARE(window_->windowTitle(), QString("Vexo - dropped.jpg (640x480)"));
    QCOMPARE(window_->currentDirectory(), QDir(other.path()).absolutePath());

    QVERIFY(drop(Path("sub folder")));
    QCOMPARE(window_->currentDirectory(), Path("sub folder"));
    QCOMPARE(window_->windowTitle(), QString("Vexo - dropped.jpg (640x480)"));

    // A text file is refused with a message and changes nothing.
    auto* log = Find<QComboBox>("logList");
    log->addItem("kept");
    QVERIFY(!drop(Path("notes.txt")));
    QVERIFY2(Status().contains("not a JPEG file"), qPrintable(Status()));
    QCOMPARE(window_->windowTitle(), QString("Vexo - dropped.jpg (640x480)"));
    QCOMPARE(window_->currentDirectory(), Path("sub folder"));
    QCOMPARE(log->count(), 1);
    QVERIFY(QtScreen::answeredBoxes.empty());
}

void DesktopTest::commandLineArgument_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("boxes");
    QTest::newRow("picture") << "grid.jpg" << "Vexo - grid.jpg (640x480)" << "" << "Loaded grid.jpg" << 0;
    QTest::newRow("folder") << "sub folder" << "Vexo" << "sub folder" << "Folder" << 0;
    QTest::newRow("missing file") << "nothing.jpg" << "Vexo" << "" << "Cannot open nothing.jpg: no such file" << 1;
    QTest::newRow("not a picture") << "notes.txt" << "Vexo" << "" << "Cannot open notes.txt: not a JPEG file" << 1;
}

// `vexo ARGUMENT`, relative to the folder the program starts in.
void DesktopTest::commandLineArgument() {
    QFETCH(QString, argument);
    QFETCH(QString, title);
    QFETCH(QString, folder);
    QFETCH(QString, status);
    QFETCH(int, boxes);
    const QString startFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder_.path()));
    window_->OpenDirectory("/");
    window_->OpenCommandLineArgument(argument);
    QDir::setCurrent(startFolder);
    QCOMPARE(window_->windowTitle(), title);
    QVERIFY2(Status().startsWith(status), qPrintable(Status()));
    QCOMPARE(int(QtScreen::answeredBoxes.size()), boxes);
    // A bad argument leaves the window as it would start without one.
    const QString expectedFolder = title != "Vexo" ? folder_.path() : folder.isEmpty() ? "/" : Path(folder);
    QCOMPARE(window_->currentDirectory(), QDir(expectedFolder).absolutePath());
    QCOMPARE(Find<QToolButton>("goButton")->isEnabled(), title != "Vexo");
}

// `vexo grid.jpg`, Ctrl+9, operation 16 from the Operations menu, Ctrl+S,
// Ctrl+E give the picture and the grid that vexo-cli writes for --op 16.
void DesktopTest::savedPictureAndExportedGridEqualVexoCli() {
    QProcess cli;
    cli.start(VEXO_CLI_PATH, {Path(sample_), "--op", "16", "--png", Path("cli.png"), "--json", Path("cli.json"),
                              "--quiet"});
    QVERIFY(cli.waitForFinished(120000));
    QCOMPARE(cli.exitCode(), 0);

    window_->OpenCommandLineArgument(Path(sample_));
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QVERIFY(window_->zoom() != 1.0);
    Action("operationAction16")->trigger();
    QVERIFY2(Status().startsWith("Grid search: 9 + 9 lines, 64 cells, "), qPrintable(Status()));
    window_->askSavePicturePath = [&](const QString&) { return Path("window.png"); };
    QString suggested;
    window_->askExportPath = [&](const QString& offered) {
        suggested = offered;
        return Path("window.json");
    };
    QVERIFY(Action("exportGridAction")->isEnabled());
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFile::exists(Path("window.png")));
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);

    QCOMPARE(QFileInfo(suggested).fileName(), QString("grid.json"));
    const QImage fromCli = QImage(Path("cli.png")).convertToFormat(QImage::Format_RGB888);
    const QImage fromWindow = QImage(Path("window.png")).convertToFormat(QImage::Format_RGB888);
    QVERIFY(!fromCli.isNull());
    QCOMPARE(fromWindow.size(), fromCli.size());
    QCOMPARE(DifferingPixels(fromWindow, fromCli), 0);
    QVERIFY(ReadAll(Path("window.png")) == ReadAll(Path("cli.png")));

    const auto report = nlohmann::json::parse(ReadAll(Path("cli.json")).toStdString());
    const auto exported = nlohmann::json::parse(ReadAll(Path("window.json")).toStdString());
    QVERIFY(exported["picture"] == report["picture"]);
    QVERIFY(exported["source"] == report["source"]);
    QCOMPARE(exported["steps"].size(), std::size_t(1));
    const auto& mine = exported["steps"][0];
    const auto& theirs = report["steps"].back();
    for (const char* key : {"step", "operation", "parameterText", "horizontalLines", "verticalLines", "cells",
                            "caption", "label", "activePlane", "logAdded", "progress", "messages", "outcome"})
        QVERIFY2(mine[key] == theirs[key], key);
    QCOMPARE(mine["cells"].size(), std::size_t(64));
    QVERIFY(mine["outcome"] == "grid found");
    QVERIFY(!mine.contains("cancelled"));

    // Neither a picture of an unknown kind nor over an existing file half written.
    QCOMPARE(window_->SavePicture(Path("window.bmp")), QString("the name must end in .png, .jpg or .jpeg"));
    QVERIFY(window_->SavePicture(Path("no such folder/window.png")) != "");
    QVERIFY(ReadAll(Path("window.png")) == ReadAll(Path("cli.png")));
    QCOMPARE(window_->SavePicture(Path("window.jpg")), QString());
    QCOMPARE(QImage(Path("window.jpg")).size(), fromCli.size());
}

void DesktopTest::csvExportHasOneRowPerCell() {
    Load(sample_);
    Action("operationAction16")->trigger();
    QCOMPARE(window_->ExportGrid(Path("grid.csv")), QString());
    QCOMPARE(window_->ExportGrid(Path("grid.json")), QString());
    const QList<QByteArray> rows = ReadAll(Path("grid.csv")).split('\n');
    // CRLF after every row, the last one included.
    QCOMPARE(rows.size(), 1 + 64 + 1);
    QVERIFY(rows.last().isEmpty());
    QVERIFY(rows[0].startsWith("label,column,row,tl_x,tl_y,"));
    const auto json = nlohmann::json::parse(ReadAll(Path("grid.json")).toStdString());
    for (int i = 0; i < 64; ++i) {
        const QByteArray& row = rows[i + 1];
        QVERIFY(row.endsWith('\r'));
        const QList<QByteArray> fields = row.chopped(1).split(',');
        QCOMPARE(fields.size(), 19);
        const auto& cell = json["steps"][0]["cells"][std::size_t(i)];
        QCOMPARE(fields[0].toStdString(), cell["label"].get<std::string>());
        QCOMPARE(fields[1].toInt(), cell["column"].get<int>());
        QCOMPARE(fields[2].toInt(), cell["row"].get<int>());
        int field = 3;
        for (const char* kind : {"corners", "sourceCorners"})
            for (const char* corner : {"TL", "TR", "BL", "BR"})
                for (int k = 0; k < 2; ++k) QCOMPARE(fields[field++].toInt(), cell[kind][corner][std::size_t(k)].get<int>());
    }
}

void DesktopTest::enterInTheParameterBoxPressesGo() {
    auto* edit = Find<QLineEdit>("parameterEdit");
    edit->setFocus();
    // Before any picture Enter does nothing, as GO is disabled.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(window_->workbench().lastOperation().sequence, uint64_t(0));
    Load(sample_);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(window_->workbench().lastOperation().sequence, uint64_t(1));
    QCOMPARE(window_->workbench().lastOperation().operation, 0);
    QVERIFY2(Status().startsWith("Horizontal Sobel: done, "), qPrintable(Status()));
}

void DesktopTest::statusLineSaysWhyALoadFailed_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("why");
    QTest::newRow("not a JPEG") << "broken.jpg" << "not a JPEG file";
    QTest::newRow("empty") << "empty.jpg" << "empty file";
    QTest::newRow("too large") << "huge.jpg" << "larger than 16384 × 16384";
    QTest::newRow("missing") << "nothing.jpg" << "no such file";
}

// The error box stays as it was; the status line adds the file and the reason.
void DesktopTest::statusLineSaysWhyALoadFailed() {
    QFETCH(QString, file);
    QFETCH(QString, why);
    Load(sample_);
    const QString title = window_->windowTitle();
    window_->OpenPath(Path(file));
    QCOMPARE(Status(), "Cannot open " + file + ": " + why);
    QCOMPARE(int(QtScreen::answeredBoxes.size()), 1);
    QCOMPARE(window_->windowTitle(), title);
}

void DesktopTest::statusLineReportsResultsAndPixels() {
    Load("truncated.jpg");
    QCOMPARE(Status(), QString("Loaded truncated.jpg (truncated: the bottom is filled in)"));
    QCOMPARE(window_->statusLine().picture(), QString("truncated.jpg: 64 x 64"));
    Load("whole.jpg");
    QCOMPARE(Status(), QString("Loaded whole.jpg"));

    // Operation 16 on a picture without a grid finds none and says so.
    Action("operationAction16")->trigger();
    QVERIFY2(Status().startsWith("Grid search: no grid found (no horizontal lines), "), qPrintable(Status()));
    Action("operationAction4")->trigger();
    QVERIFY2(QRegularExpression("^Hough horizontal: \\d+ lines?, \\d+\\.\\d\\d s$").match(Status()).hasMatch(),
             qPrintable(Status()));

    // A folder that cannot be read says so instead of listing nothing.
    if (geteuid() == 0) QSKIP("root reads every folder");
    QTemporaryDir locked;
    QVERIFY(QFile::setPermissions(locked.path(), QFileDevice::WriteOwner));
    window_->OpenDirectory(locked.path());
    QVERIFY2(Status().contains("permission denied"), qPrintable(Status()));
    QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void DesktopTest::everyOperationReportsItsResult_data() {
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("result");
    // grid.jpg with each operation's default parameter, or the box's "20".
    const char* results[] = {
        "Horizontal Sobel: done",
        "Vertical Sobel: done",
        "Edge search: done",
        "Segmentation: done",
        "Hough horizontal: 230 lines",
        "Hough vertical: 217 lines",
        "Hough crossings: 9 + 9 lines, 0 crossings outside the picture",
        "Erase high intensity: done",
        "Horizontal chains: done",
        "Vertical chains: done",
        "Horizontal gap lines: 445 lines",
        "Vertical gap lines: 620 lines",
        "Histogram: done",
        "Chain grid search: no grid found (no horizontal lines)",
        "Horizontal grid: 9 lines",
        "Vertical grid: 9 lines",
        "Grid search: 9 + 9 lines, 64 cells",
        "Grid labels: 9 + 9 lines, 64 cells",
    };
    for (int i = 0; i < 18; ++i) QTest::addRow("%d", i) << i << QString(results[i]);
}

// The status line after each operation: what it found, then its time.
void DesktopTest::everyOperationReportsItsResult() {
    QFETCH(int, operation);
    QFETCH(QString, result);
    Load(sample_);
    Action(qPrintable(QString("operationAction%1").arg(operation)))->trigger();
    const QRegularExpression expected("^" + QRegularExpression::escape(result) + ", \\d+\\.\\d\\d s$");
    QVERIFY2(expected.match(Status()).hasMatch(), qPrintable(Status()));
}

// An export after Cancel marks its step as cancelled, and the status line
// says so; a finished operation's export has no such mark.
void DesktopTest::exportAfterCancelSaysItWasCancelled() {
    Load(sample_);
    window_->workbench().SetPumpInterval(std::chrono::steady_clock::duration::zero());
    auto* cancel = progressDialog_->findChild<QPushButton*>("cancelButton");
    RunWithTicks([&] { Action("operationAction4")->trigger(); },
                 [&](int tick) {
                     if (tick == 2) QTest::mouseClick(cancel, Qt::LeftButton);
                 });
    QVERIFY(window_->workbench().lastOperation().cancelled);
    QCOMPARE(Status(), QString("Cancelled"));
    // Ctrl+E, answering the dialog with `name`; the exported step.
    const auto exportStep = [&](const QString& name) {
        window_->askExportPath = [&](const QString&) { return Path(name); };
        [&] { QTRY_COMPARE(QApplication::activeWindow(), window_.get()); }();
        QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
        const auto exported = nlohmann::json::parse(ReadAll(Path(name)).toStdString(), nullptr, false);
        return exported.is_discarded() ? nlohmann::json() : exported["steps"][0];
    };
    auto step = exportStep("cancelled.json");
    QVERIFY(step["operation"] == 4);
    QVERIFY(step["cancelled"] == true);
    QVERIFY2(Status().startsWith("Exported ") && Status().contains("cancelled"), qPrintable(Status()));

    Action("operationAction4")->trigger();
    step = exportStep("finished.json");
    QVERIFY(step["operation"] == 4);
    QVERIFY(!step.contains("cancelled"));
    QVERIFY2(!Status().contains("cancelled"), qPrintable(Status()));
}

// With real message boxes: the status line tells why a load failed before
// the box opens, and the time an operation reports leaves out the time its
// box stayed open.
void DesktopTest::messageBoxesFollowTheStatusAndAreNotTimed() {
    struct RealBoxes {
        RealBoxes() { QtScreen::autoAnswerBoxes = false; }
        ~RealBoxes() { QtScreen::autoAnswerBoxes = true; }
    } realBoxes;
    QString statusAtBox;
    QTimer watcher;
    watcher.setInterval(10);
    int keepOpen = 0;
    connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->property("seen").isNull()) return;
        box->setProperty("seen", true);
        statusAtBox = Status();
        QTimer::singleShot(keepOpen, box, [box] { box->done(QMessageBox::Ok); });
    });
    watcher.start();

    window_->OpenPath(Path("broken.jpg"));
    QCOMPARE(statusAtBox, QString("Cannot open broken.jpg: not a JPEG file"));

    Load(sample_);
    keepOpen = 1000;
    QElapsedTimer clock;
    clock.start();
    Action("operationAction12")->trigger();
    QVERIFY(clock.elapsed() >= 1000);
    const QRegularExpressionMatch match = QRegularExpression("^Histogram: done, (\\d+\\.\\d\\d) s$").match(Status());
    QVERIFY2(match.hasMatch(), qPrintable(Status()));
    QVERIFY2(match.captured(1).toDouble() < 0.5, qPrintable(Status()));
}

// The pixel readout empties when a picture loads and when the pointer leaves
// the picture; a refused drag's message goes when the drag leaves.
void DesktopTest::staleReadoutsAndRefusalsAreCleared() {
    Load(sample_);
    auto* view = Find<ImageView>("imageView");
    QTest::mouseMove(view, QPoint(20, 20));
    QTRY_COMPARE(window_->statusLine().pixel(), QString("(20, 20) %1").arg(qGray(view->bitmap().pixel(20, 20))));
    Load("whole.jpg");
    QCOMPARE(window_->statusLine().pixel(), QString());
    QTest::mouseMove(view, QPoint(10, 11));
    QTRY_VERIFY(window_->statusLine().pixel().startsWith("(10, 11) "));
    QTest::mouseMove(Find<QWidget>("fileList"), QPoint(5, 5));
    QTRY_COMPARE(window_->statusLine().pixel(), QString());

    // The drag reaches the window as the platform brings it.
    const QString before = Status();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Path("notes.txt"))});
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->windowHandle(), &enter);
    QVERIFY(!enter.isAccepted());
    QVERIFY2(Status().contains("not a JPEG file"), qPrintable(Status()));
    QDragLeaveEvent leave;
    QApplication::sendEvent(window_->windowHandle(), &leave);
    QCOMPARE(Status(), before);
}

// Typing into the parameter box while an operation runs is undone, and the
// status line says why.
void DesktopTest::typingDuringAnOperationIsReported() {
    Load(sample_);
    auto* edit = Find<QLineEdit>("parameterEdit");
    QString during;
    PaintSpy spy(Find<ImageView>("imageView"), [&] {
        if (!window_->workbench().busy() || !during.isEmpty()) return;
        edit->setFocus();
        QTest::keyClicks(edit, "9");
        during = Status();
    });
    QTest::mouseClick(Find<QToolButton>("goButton"), Qt::LeftButton);
    QCOMPARE(edit->text(), QString("20"));
    QVERIFY2(during.contains("while an operation runs"), qPrintable(during));
    QVERIFY2(Status().startsWith("Horizontal Sobel: done"), qPrintable(Status()));
}

// Cancel at several points of several operations: the frame ends as after a
// finished operation, "Go on" does not move on, and the window goes on working.
void DesktopTest::cancelStopsTheOperationAndLeavesTheWindowSound() {
    Load(sample_);
    auto* cancel = progressDialog_->findChild<QPushButton*>("cancelButton");
    QVERIFY(cancel != nullptr);
    auto* goOn = Find<QCheckBox>("goOnCheck");
    auto* list = Find<QComboBox>("operationList");
    auto* refresh = Find<QToolButton>("refreshButton");
    QTest::mouseClick(goOn, Qt::LeftButton, {}, QPoint(5, goOn->height() / 2));
    QVERIFY(window_->workbench().controls().goOn);
    // Every pause point hands events to the window, and every run starts from
    // the loaded picture ("R"; the planes keep what a cancelled operation's
    // finished steps wrote), so a run makes the same passes each time.
    window_->workbench().SetPumpInterval(std::chrono::steady_clock::duration::zero());

    for (int operation : {0, 6, 13, 16}) {
        const auto run = [&] {
            QTest::mouseClick(refresh, Qt::LeftButton);
            Action(qPrintable(QString("operationAction%1").arg(operation)))->trigger();
        };
        // How many passes of the event loop the whole operation makes.
        int passes = 0;
        RunWithTicks(run, [&](int tick) { passes = tick; });
        QVERIFY2(passes > 0, qPrintable(QString("operation %1 never lets the window run").arg(operation)));
        for (int at : {1, passes / 2, passes}) {
            if (at < 1) continue;
            RunWithTicks(run, [&](int tick) {
                if (tick == at) QTest::mouseClick(cancel, Qt::LeftButton);
            });
            const OperationRecord& record = window_->workbench().lastOperation();
            QVERIFY2(record.cancelled, qPrintable(QString("operation %1 at pass %2").arg(operation).arg(at)));
            QCOMPARE(Status(), QString("Cancelled"));
            QVERIFY(!window_->workbench().busy());
            QVERIFY(!progressDialog_->isVisible());
            QVERIFY(QApplication::overrideCursor() == nullptr);
            QCOMPARE(list->currentIndex(), operation);  // "Go on" did not move on
        }
    }
    // The next operation runs to its end.
    QTest::mouseClick(refresh, Qt::LeftButton);
    Action("operationAction16")->trigger();
    QVERIFY(!window_->workbench().lastOperation().cancelled);
    QVERIFY2(Status().startsWith("Grid search: 9 + 9 lines, 64 cells"), qPrintable(Status()));
    QCOMPARE(list->currentIndex(), 17);
}

void DesktopTest::escapeCancels() {
    Load(sample_);
    RunWithTicks([&] { QTest::mouseClick(Find<QToolButton>("goButton"), Qt::LeftButton); },
                 [&](int tick) {
                     // Esc reaches whichever window has the keyboard: the
                     // main window or the progress dialog.
                     QWidget* active = QApplication::activeWindow();
                     if (tick == 3) QTest::keyClick(active != nullptr ? active : window_.get(), Qt::Key_Escape);
                 });
    QVERIFY(window_->workbench().lastOperation().cancelled);
    QCOMPARE(Status(), QString("Cancelled"));
    // Between operations Esc is no command of the window.
    QVERIFY(!Action("cancelAction")->isEnabled());
}

// Operation 3 with the largest size makes a track bar of 2147483646 steps:
// its ticks are drawn only where they stand apart, so drawing it ends.
void DesktopTest::hugeSegmentSizeKeepsTicksApart() {
    auto* list = Find<QComboBox>("operationList");
    list->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(list, Qt::Key_Down);
    auto* edit = Find<QLineEdit>("parameterEdit");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "2147483647");
    auto* slider = Find<QSlider>("segmentOffsetSlider");
    QVERIFY(slider->isVisible());
    QCOMPARE(slider->maximum(), 2147483646);
    QCOMPARE(slider->value(), 0);
    QVERIFY(double(slider->maximum()) / slider->tickInterval() <= slider->width());
    QVERIFY(!slider->grab().isNull());
    // The default size keeps a tick at every step; ticks are thinned only
    // where they would stand closer than 2 pixels.
    edit->selectAll();
    QTest::keyClicks(edit, "30");
    QCOMPARE(slider->tickInterval(), 1);
    edit->selectAll();
    QTest::keyClicks(edit, "60");
    QCOMPARE(slider->tickInterval(), 2);
}

// Below 100 % a one-pixel line keeps its colour, and every cell label still
// shows in yellow, while the photo around them is smoothed: stripes one
// pixel wide turn gray. The displayed bitmap itself never changes.
void DesktopTest::linesAndLabelsStayVisibleWhenZoomedOut() {
    Load(sample_);
    auto* view = Find<ImageView>("imageView");
    const auto shown = [&] { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    Action("operationAction16")->trigger();
    const std::vector<Cell> cells = window_->workbench().lastOperation().cells;
    QCOMPARE(int(cells.size()), 64);
    window_->SetZoom(1.0 / 8);
    QImage picture = shown();
    for (const Cell& cell : cells) {
        const QRect box(QPoint(cell.box->left / 8, cell.box->top / 8),
                        QPoint(cell.box->right / 8, cell.box->bottom / 8));
        int yellow = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) yellow += IsColour(picture.pixel(x, y), 255, 255, 0);
        QVERIFY2(yellow > 0, cell.label.c_str());
    }

    ImageState& image = window_->workbench().image();
    constexpr int kColumn = 301, kRow = 203;
    for (int y = 0; y < image.height; ++y) image.marks.at(kColumn, y) = kMarkGreen;
    for (int x = 0; x < image.width; ++x) image.marks.at(x, kRow) = kMarkBlue;
    GrayPlane& photo = image.active();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) photo.at(x, y) = x % 2 == 0 ? 0 : 255;
    window_->workbench().RenderPlane(photo);
    for (double zoom : {2.0 / 3, 0.5, 0.25, 1.0 / 6, 1.0 / 16}) {
        window_->SetZoom(zoom);
        picture = shown();
        const int column = int(std::floor(kColumn * zoom));
        const int row = int(std::floor(kRow * zoom));
        for (int y = 0; y < int(image.height * zoom) - 1; ++y)
            if (y != row) QVERIFY2(IsColour(picture.pixel(column, y), 0, 255, 0), qPrintable(QString::number(zoom)));
        for (int x = 0; x < int(image.width * zoom) - 1; ++x)
            if (x != column) QVERIFY2(IsColour(picture.pixel(x, row), 0, 0, 255), qPrintable(QString::number(zoom)));
    }
    window_->SetZoom(0.25);
    picture = shown();
    int gray = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) gray += qGray(picture.pixel(x, y)) > 30 && qGray(picture.pixel(x, y)) < 225;
    QVERIFY2(gray > 15 * 15 / 2, qPrintable(QString("%1 smoothed pixels").arg(gray)));
    QCOMPARE(view->bitmap().pixelColor(kColumn, 10), QColor(0, 255, 0));
    QCOMPARE(view->bitmap().pixelColor(1, 10), QColor(255, 255, 255));
}

// Zoom In, Zoom Out and Ctrl+wheel leave Fit to Window and step from the
// fitted zoom, keeping the picture point at the centre of the view (the keys)
// or under the mouse (the wheel) where it was.
void DesktopTest::zoomStepsLeaveFitToWindow() {
    Load(sample_);
    window_->resize(600, 520);
    auto* scroll = Find<QScrollArea>("pictureScroll");
    const QPointF centre(scroll->viewport()->width() / 2.0, scroll->viewport()->height() / 2.0);
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QTRY_VERIFY(window_->fitToWindow() && window_->zoom() < 0.99);
    const double fitted = window_->zoom();
    QVERIFY(Action("zoomInAction")->isEnabled());
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(!window_->fitToWindow());
    QVERIFY(!Action("fitToWindowAction")->isChecked());
    QCOMPARE(window_->zoom(), 1.0);
    QPointF before = PicturePointAt(scroll, 1.0, centre);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 1.5);
    QVERIFY(Near(PicturePointAt(scroll, 1.5, centre), before));

    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
    QVERIFY(!window_->fitToWindow());
    QVERIFY(window_->zoom() < fitted);

    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    const QPoint at(120, 90);
    before = PicturePointAt(scroll, window_->zoom(), at);
    QWheelEvent wheel(QPointF(at), QPointF(scroll->viewport()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(scroll->viewport(), &wheel);
    QVERIFY(!window_->fitToWindow());
    QCOMPARE(window_->zoom(), 1.0);
    QVERIFY(Near(PicturePointAt(scroll, 1.0, at), before));
}

void DesktopTest::dragPansThePicture_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("space");
    QTest::addColumn<bool>("pans");
    QTest::newRow("middle button") << int(Qt::MiddleButton) << false << true;
    QTest::newRow("space and left button") << int(Qt::LeftButton) << true << true;
    QTest::newRow("left button alone") << int(Qt::LeftButton) << false << false;
}

// A drag moves the picture with the mouse. Space over the picture readies the
// left button for it, whichever control has the keyboard: it presses no button.
void DesktopTest::dragPansThePicture() {
    QFETCH(int, button);
    QFETCH(bool, space);
    QFETCH(bool, pans);
    Load(sample_);
    window_->SetZoom(4.0);
    auto* scroll = Find<QScrollArea>("pictureScroll");
    scroll->horizontalScrollBar()->setValue(800);
    scroll->verticalScrollBar()->setValue(600);
    auto* view = Find<ImageView>("imageView");
    const QPoint start = view->mapFrom(scroll->viewport(), QPoint(200, 150));
    // The pointer comes onto the picture, from wherever the last test left it.
    QTest::mouseMove(view, start + QPoint(7, 5));
    QTest::mouseMove(view, start);
    QTRY_VERIFY(view->underMouse());
    auto* keyboard = Find<QPushButton>("shortcutButton0");
    keyboard->setFocus();
    if (space) QTest::keyPress(keyboard, Qt::Key_Space);
    QTest::mousePress(view, Qt::MouseButton(button), {}, start);
    QTest::mouseMove(view, start + QPoint(-60, -40));
    if (pans) {
        QTRY_COMPARE(scroll->horizontalScrollBar()->value(), 860);
        QTRY_COMPARE(scroll->verticalScrollBar()->value(), 640);
    }
    QTest::mouseRelease(view, Qt::MouseButton(button), {}, start + QPoint(-60, -40));
    if (space) QTest::keyRelease(keyboard, Qt::Key_Space);
    if (!pans) {
        QTest::qWait(50);
        QCOMPARE(scroll->horizontalScrollBar()->value(), 800);
        QCOMPARE(scroll->verticalScrollBar()->value(), 600);
    }
    QCOMPARE(window_->workbench().lastOperation().sequence, uint64_t(0));
}

void DesktopTest::shortcutShowsItsItemWhileRunning() {
    Load(sample_);
    auto* list = Find<QComboBox>("operationList");
    int shownWhileRunning = -1;
    PaintSpy spy(Find<ImageView>("imageView"), [&] {
        if (window_->workbench().busy() && shownWhileRunning < 0) shownWhileRunning = list->currentIndex();
    });
    QTest::mouseClick(Find<QPushButton>("shortcutButton6"), Qt::LeftButton);
    QCOMPARE(shownWhileRunning, 6);
}

// Ticking "Go on" during an operation counts for that operation's end, and a
// track bar move takes effect: the window does not undo either while busy.
void DesktopTest::goOnAndTrackBarCountDuringAnOperation() {
    Load(sample_);
    auto* goOn = Find<QCheckBox>("goOnCheck");
    bool tickedWhileBusy = false;
    bool heldWhileBusy = false;
    {
        PaintSpy spy(Find<ImageView>("imageView"), [&] {
            if (!window_->workbench().busy() || tickedWhileBusy) return;
            tickedWhileBusy = true;
            QTest::mouseClick(goOn, Qt::LeftButton, {}, QPoint(5, goOn->height() / 2));
            heldWhileBusy = window_->workbench().controls().goOn;
            QVERIFY(goOn->isChecked());
        });
        QTest::mouseClick(Find<QToolButton>("goButton"), Qt::LeftButton);
    }
    QVERIFY(tickedWhileBusy);
    if (!heldWhileBusy) QSKIP("this workbench still ignores \"Go on\" while an operation runs");
    QVERIFY(goOn->isChecked());
    QCOMPARE(Find<QComboBox>("operationList")->currentIndex(), 1);

    auto* list = Find<QComboBox>("operationList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    auto* slider = Find<QSlider>("segmentOffsetSlider");
    bool moved = false;
    {
        PaintSpy spy(Find<ImageView>("imageView"), [&] {
            if (!window_->workbench().busy() || moved) return;
            moved = true;
            slider->setValue(7);
        });
        QTest::mouseClick(Find<QToolButton>("goButton"), Qt::LeftButton);
    }
    QVERIFY(moved);
    QCOMPARE(window_->workbench().controls().trackBar.position, 7);
    QCOMPARE(slider->value(), 7);
}

void DesktopTest::splitterCursorStaysOffTheLists() {
    auto* panel = Find<BevelPanel>("leftPanel");
    QTest::mouseMove(panel, QPoint(panel->width() - 3, panel->height() / 2));
    QTRY_COMPARE(panel->cursor().shape(), Qt::SplitHCursor);
    // The pointer moves on into a list: the list shows its own cursor.
    for (const char* name : {"fileList", "folderList"}) {
        auto* list = Find<QAbstractScrollArea>(name);
        QCOMPARE(list->viewport()->cursor().shape(), Qt::ArrowCursor);
    }
}

void DesktopTest::minimumSizeKeepsControlsApart() {
    window_->resize(200, 150);
    QApplication::processEvents();
    QVERIFY(window_->width() > 200 && window_->height() > 150);
    auto* strip = Find<QWidget>("topStrip");
    const QRect inWindow = window_->rect();
    // Every control of the strip lies inside the strip and the strip inside the window.
    for (QWidget* child : strip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden()) continue;
        const QRect r(child->mapTo(window_.get(), QPoint(0, 0)), child->size());
        QVERIFY2(inWindow.contains(r), qPrintable(child->objectName()));
    }
    auto* folders = Find<QWidget>("folderList");
    auto* files = Find<QWidget>("fileList");
    QVERIFY(folders->geometry().bottom() < files->geometry().top());
    QVERIFY(files->height() >= 2 * files->fontMetrics().height());
    QVERIFY(window_->statusLine().isVisible());
    QVERIFY(inWindow.contains(QRect(window_->statusLine().mapTo(window_.get(), QPoint(0, 0)),
                                    window_->statusLine().size())));

    // Four-digit coordinates stay left of the log list.
    window_->screen().SetPositionReadout("4000 : 3000");
    auto* position = Find<QLabel>("positionReadout");
    QCOMPARE(position->text(), QString("4000 : 3000"));
    QVERIFY(position->geometry().right() < Find<QWidget>("logList")->geometry().left());
    QVERIFY(position->fontMetrics().horizontalAdvance(position->text()) <= position->width());
}

void DesktopTest::keyboardAndTooltipsReachEveryControl() {
    // Segmentation brings up the track bar, so it can be reached too.
    auto* list = Find<QComboBox>("operationList");
    list->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(list, Qt::Key_Down);
    QStringList names = {"driveList",   "fileFilterList", "operationList", "goOnCheck", "parameterEdit",
                         "segmentOffsetSlider", "logList", "folderList", "fileList", "pictureScroll"};
    for (int i = 0; i < 18; ++i) names << QString("shortcutButton%1").arg(i);
    QSet<QString> reached;
    Find<QWidget>("driveList")->setFocus();
    for (int i = 0; i < 80; ++i) {
        for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget())
            if (names.contains(w->objectName())) {
                reached << w->objectName();
                break;
            }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const QString& name : names) QVERIFY2(reached.contains(name), qPrintable(name + " is not reached with Tab"));

    for (const QString& name : names + QStringList{"goButton", "refreshButton", "colourReadout", "positionReadout"})
        QVERIFY2(!Find<QWidget>(qPrintable(name))->toolTip().isEmpty() || name == "pictureScroll",
                 qPrintable(name + " has no tooltip"));
    // An operation's item says what the operation does and what its parameter means.
    const QString item16 = list->itemData(16, Qt::ToolTipRole).toString();
    QVERIFY(item16.contains("grid search", Qt::CaseInsensitive));
    QVERIFY(list->itemData(0, Qt::ToolTipRole).toString().contains("Threshold"));
    QCOMPARE(list->itemText(16), QString("Hough NEW with lines (16)"));
}

void DesktopTest::settingsRoundTrip() {
    Load(sample_);
    window_->SetZoom(2.0);
    Action("fullSizeAction")->trigger();
    Find<QWidget>("leftPanel")->setFixedWidth(211);
    window_->OpenDirectory(Path("sub folder"));
    window_->SaveSettings();

    NewWindow();
    window_->RestoreSettings();
    QCOMPARE(window_->zoom(), 2.0);
    QVERIFY(window_->workbench().fullSize());
    QVERIFY(Action("fullSizeAction")->isChecked());
    QCOMPARE(Find<QWidget>("leftPanel")->width(), 211);
    QCOMPARE(window_->currentDirectory(), Path("sub folder"));
    QCOMPARE(window_->recentFiles(), QStringList({Path(sample_)}));
    QVERIFY(!window_->fitToWindow());
}

void DesktopTest::corruptSettingsFallBackToDefaults() {
    QVERIFY(QDir().mkpath(QFileInfo(SettingsFile()).path()));
    const QByteArray garbage[] = {
        QByteArray("\x00\xff\xfe[[[\n=\n\x01\x02 zoom", 15),
        "[view]\nzoom=1e308\nfitToWindow=maybe\n[window]\nleftPanelWidth=-40\ngeometry=@ByteArray(nonsense)\n"
        "[browser]\nfolder=/no/such/folder\n[files]\nrecent=42\n",
    };
    for (const QByteArray& text : garbage) {
        WriteAll(SettingsFile(), text);
        NewWindow();
        const QString folder = window_->currentDirectory();
        window_->RestoreSettings();
        QCOMPARE(window_->zoom(), 1.0);
        QVERIFY(!window_->workbench().fullSize());
        QCOMPARE(Find<QWidget>("leftPanel")->width(), 137);
        QCOMPARE(window_->currentDirectory(), folder);
        QVERIFY(window_->width() >= window_->minimumSizeHint().width());
        // The window still works.
        Load(sample_);
    }
}

int RunDesktopTest(int argc, char** argv) {
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_test.moc"
