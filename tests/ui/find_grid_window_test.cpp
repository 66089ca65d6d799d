// Find Grid in the window, driven as a user would: Ctrl+G on photographs,
// the status line, the cell under the mouse at any zoom, the straightened
// grid, the drawing removed by "R" and by operations and drawn again after a
// reload at full size, Cancel, and the exports checked against vexo-cli.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/lattice_drawing.h"
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

int CountColour(const QImage& picture, Rgb colour) {
    const QRgb wanted = qRgb(colour.red, colour.green, colour.blue);
    int count = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) count += picture.pixel(x, y) == wanted;
    return count;
}

// The pixel at the centre of cell (column, row), from 1, of a lattice.
QPoint CellCentre(const Lattice& l, int column, int row) {
    const PointF a = l.at(column - 1, row - 1), b = l.at(column, row - 1), c = l.at(column - 1, row), d = l.at(column, row);
    return {int(std::lround((a.x + b.x + c.x + d.x) / 4)), int(std::lround((a.y + b.y + c.y + d.y) / 4))};
}

// Everything of the picture state that Find Grid must leave alone.
struct Untouched {
    QByteArray planes;
    QStringList log;
    QString caption, label, position;

    static Untouched Of(MainWindow& window) {
        Untouched state;
        const ImageState& image = window.workbench().image();
        for (const Plane* plane : {&image.planes[0], &image.planes[1], &image.marks})
            state.planes += QByteArray(reinterpret_cast<const char*>(plane->begin()), qsizetype(plane->size()));
        state.planes += char(image.activePlane);
        auto* log = window.findChild<QComboBox*>("logList");
        for (int i = 0; i < log->count(); ++i) state.log << log->itemText(i);
        state.caption = window.windowTitle();
        state.label = window.findChild<QLabel*>("colourReadout")->text();
        state.position = window.findChild<QLabel*>("positionReadout")->text();
        return state;
    }
    bool operator==(const Untouched&) const = default;
};

}  // namespace

class FindGridWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandsSitAboveTheStrip();
    void findGridOnPhotos_data();
    void findGridOnPhotos();
    void screenReadsRowsBackAsWritten();
    void cellUnderTheMouseAtEveryZoom_data();
    void cellUnderTheMouseAtEveryZoom();
    void refreshAndOperationsRemoveTheGrid();
    void straightenedViewOnAndOff();
    void reloadAtFullSizeDrawsTheGridAgain();
    void cancelInTheMiddleDrawsNothing_data();
    void cancelInTheMiddleDrawsNothing();
    void exportsEqualVexoCli();
    void exportedCellsNeverDestroyAnything();

private:
    void Load(const QString& name);
    QString Path(const QString& name) const { return folder_.filePath(name); }
    QAction* Action(const char* name) { return window_->findChild<QAction*>(name); }
    QString Status() { return window_->statusLine().result(); }
    ImageView* View() { return window_->findChild<ImageView*>("imageView"); }
    // Ctrl+G, as the user presses it.
    void PressFindGrid() {
        // The offscreen platform may leave the hidden progress dialog active.
        window_->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window_.get());
        QTest::keyClick(window_.get(), Qt::Key_G, Qt::ControlModifier);
    }
    // The status line's pixel readout once the mouse is over pixel `pixel` of
    // what the picture control shows (below 100 %, the pixel that the screen
    // pixel shows); empty when it names another pixel.
    QString HoverPixel(QPoint pixel);

    QTemporaryDir folder_;
    std::unique_ptr<MainWindow> window_;
    ProgressDialog* progressDialog_ = nullptr;
};

void FindGridWindowTest::initTestCase() {
    QVERIFY(folder_.isValid());
    QtScreen::autoAnswerBoxes = true;
    for (const char* name : {"chessboard-perspective.jpg", "sudoku-rotated.jpg", "grid-4000x3000.jpg"})
        QVERIFY(QFile::copy(QString(VEXO_SOURCE_DIR "/samples/") + name, Path(name)));
    // A photo without a grid: soft light and grain.
    QImage plain(320, 240, QImage::Format_Grayscale8);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) plain.scanLine(y)[x] = uchar(150 + x / 8 - y / 10 + (x * 7 + y * 13) % 5);
    QVERIFY(plain.save(Path("plain.jpg"), "JPEG", 90));
}

void FindGridWindowTest::init() {
    QtScreen::answeredBoxes.clear();
    window_ = std::make_unique<MainWindow>();
    progressDialog_ = new ProgressDialog(window_.get());
    window_->AttachProgressDialog(progressDialog_);
    window_->OpenDirectory(folder_.path());
    window_->resize(1100, 800);
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void FindGridWindowTest::cleanup() {
    window_.reset();
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void FindGridWindowTest::Load(const QString& name) {
    auto* list = window_->findChild<QListWidget*>("fileList");
    const auto found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
    QVERIFY(window_->workbench().image().loaded());
}

QString FindGridWindowTest::HoverPixel(QPoint pixel) {
    const double zoom = View()->zoom();
    const QPointF at(int((pixel.x() + 0.5) * zoom), int((pixel.y() + 0.5) * zoom));
    // Sent to the picture control itself: where a real pointer lands depends
    // on the window system's timing.
    QMouseEvent move(QEvent::MouseMove, at, View()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(View(), &move);
    const QPoint under = View()->BitmapPoint(at);
    const QString readout = window_->statusLine().pixel();
    return readout.startsWith(QString("(%1, %2) ").arg(under.x()).arg(under.y())) ? readout : QString();
}

// Find Grid heads the Operations menu's operations and has a tool bar button
// under the menu bar; the control strip keeps its layout below the tool bar.
void FindGridWindowTest::commandsSitAboveTheStrip() {
    const QList<QAction*> items = window_->findChild<QMenu*>("operationsMenu")->actions();
    QVERIFY(items.contains(Action("findGridAction")));
    QVERIFY(items.indexOf(Action("findGridAction")) < items.indexOf(Action("operationAction0")));
    QCOMPARE(Action("findGridAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    QCOMPARE(Action("straightenedAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    for (const char* name : {"findGridAction", "straightenedAction", "exportCellsAction"})
        QVERIFY2(!Action(name)->isEnabled(), name);  // nothing to find a grid in yet

    auto* toolBar = window_->findChild<QToolBar*>("toolBar");
    const QRect bar(toolBar->mapTo(window_.get(), QPoint(0, 0)), toolBar->size());
    QVERIFY(bar.top() >= window_->menuBar()->geometry().bottom());
    QVERIFY(window_->findChild<QWidget*>("topStrip")->mapTo(window_.get(), QPoint(0, 0)).y() >= bar.bottom());
    QCOMPARE(window_->findChild<QWidget*>("operationList")->geometry(), QRect(141, 4, 161, 21));
    QCOMPARE(window_->findChild<QWidget*>("shortcutButton17")->geometry(), QRect(141 + 17 * 25, 60, 20, 20));

    Load("chessboard-perspective.jpg");
    QTest::mouseClick(toolBar->widgetForAction(Action("findGridAction")), Qt::LeftButton);
    QVERIFY(window_->shownGrid() != nullptr);
    QVERIFY(Action("straightenedAction")->isEnabled() && Action("exportCellsAction")->isEnabled());
}

void FindGridWindowTest::findGridOnPhotos_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("status");
    QTest::newRow("perspective chessboard")
        << "chessboard-perspective.jpg" << "^Find Grid: \\d+ × \\d+ cells \\(chessboard\\), score [01]\\.\\d\\d, \\d+ ms$";
    QTest::newRow("turned sudoku") << "sudoku-rotated.jpg"
                                   << "^Find Grid: 9 × 9 cells \\(ruled\\), score [01]\\.\\d\\d, \\d+ ms$";
    QTest::newRow("no grid") << "plain.jpg" << "^Find Grid: no grid found$";
}

// Ctrl+G after an operation: the status line says what was found; the
// lattice, its names and a chessboard's crossings are drawn, each in its
// colour; no plane, mark, readout, caption, log line or control changes.
void FindGridWindowTest::findGridOnPhotos() {
    QFETCH(QString, picture);
    QFETCH(QString, status);
    Load(picture);
    Action("operationAction14")->trigger();  // planes, marks and log lines worth keeping
    const Untouched before = Untouched::Of(*window_);
    const Controls controls = window_->workbench().controls();
    const QImage shown = View()->bitmap().copy();
    PressFindGrid();
    QVERIFY2(QRegularExpression(status).match(Status()).hasMatch(), qPrintable(Status()));
    QVERIFY(Untouched::Of(*window_) == before);
    QCOMPARE(window_->workbench().controls().parameterText, controls.parameterText);
    QCOMPARE(window_->workbench().controls().selectedOperation, controls.selectedOperation);
    QVERIFY(!progressDialog_->isVisible());
    const FindGridRecord& record = window_->workbench().lastFindGrid();
    if (!record.lattice.found) {
        QCOMPARE(View()->bitmap(), shown);
        QVERIFY(window_->shownGrid() == nullptr);
        return;
    }
    QVERIFY(Status().startsWith(QString("Find Grid: %1 × %2 ").arg(record.lattice.columns).arg(record.lattice.rows)));
    QVERIFY(Status().endsWith(QString(", %1 ms").arg(record.milliseconds)));
    const QImage drawn = View()->bitmap();
    QVERIFY(CountColour(drawn, kLatticeColour) > 100);
    QVERIFY(CountColour(drawn, kLatticeNameColour) > 10 * record.lattice.columns * record.lattice.rows);
    QCOMPARE(CountColour(drawn, kLatticeCrossingColour) > 0, record.lattice.kind == GridKind::Chessboard);
}

// The lattice is drawn over rows read back from the displayed bitmap: they
// come back as written, in the order blue, green, red, black beyond.
void FindGridWindowTest::screenReadsRowsBackAsWritten() {
    Load("plain.jpg");
    const std::vector<uint8_t> row = {1, 2, 3, 40, 50, 60, 7, 8, 9};
    std::string why;
    QVERIFY(window_->screen().WriteDisplayRow(5, row.data(), 3, why));
    const int width = View()->bitmap().width();
    std::vector<uint8_t> read(std::size_t(width + 2) * 3, 0xAA);
    window_->screen().ReadDisplayRow(5, read.data(), width + 2);
    QVERIFY(std::equal(row.begin(), row.end(), read.begin()));
    QVERIFY(std::all_of(read.end() - 6, read.end(), [](uint8_t v) { return v == 0; }));
}

void FindGridWindowTest::cellUnderTheMouseAtEveryZoom_data() {
    QTest::addColumn<double>("zoom");  // 0 for Fit to Window
    QTest::newRow("100 %") << 1.0;
    QTest::newRow("300 %") << 3.0;
    QTest::newRow("25 %") << 0.25;
    QTest::newRow("fitted") << 0.0;
}

// The pixel readout names the cell under the mouse, in picture pixels at
// every zoom, and none off the grid; the drawing shows at every zoom.
void FindGridWindowTest::cellUnderTheMouseAtEveryZoom() {
    QFETCH(double, zoom);
    Load("chessboard-perspective.jpg");
    PressFindGrid();
    const Lattice lattice = window_->workbench().lastFindGrid().lattice;
    QVERIFY(lattice.columns >= 4 && lattice.rows >= 4);
    const QImage drawn = View()->bitmap().copy();
    if (zoom == 0)
        QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    else
        window_->SetZoom(zoom);
    QCOMPARE(View()->bitmap(), drawn);
    // A position between screen pixels (a scaled screen) lies in one picture pixel.
    QCOMPARE(View()->BitmapPoint(QPointF(10.75, 3.5) * View()->zoom()), QPoint(10, 3));
    const std::pair<int, int> cells[] = {{1, 1}, {4, 3}, {lattice.columns, lattice.rows}};
    for (const auto& [column, row] : cells) {
        const QString readout = HoverPixel(CellCentre(lattice, column, row));
        QVERIFY2(readout.endsWith(" in " + QString::fromStdString(CellName(column, row))), qPrintable(readout));
    }
    QVERIFY(!HoverPixel(QPoint(1, 1)).contains(" in "));
    if (zoom == 3.0) {
        // Every screen pixel shows the picture pixel that the readout names there.
        const QImage grabbed = View()->grab(QRect(0, 0, 600, 600)).toImage().convertToFormat(QImage::Format_RGB888);
        int differing = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 600; ++x) differing += grabbed.pixel(x, y) != drawn.pixel(x / 3, y / 3);
        QCOMPARE(differing, 0);
    }
    if (View()->zoom() < 1) {
        const QImage grabbed = View()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(CountColour(grabbed, kLatticeColour) > 20);
    }
}

// "R" and every operation draw over the lattice: then no cell is named, and
// the straightened grid and the cells are no longer offered.
void FindGridWindowTest::refreshAndOperationsRemoveTheGrid() {
    Load("chessboard-perspective.jpg");
    const QImage loaded = View()->bitmap().copy();
    for (const char* remover : {"refreshButton", "operationAction7"}) {
        PressFindGrid();
        const QPoint a1 = CellCentre(window_->workbench().lastFindGrid().lattice, 1, 1);
        QVERIFY(HoverPixel(a1).endsWith(" in A1"));
        if (auto* button = window_->findChild<QToolButton*>(remover))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            Action(remover)->trigger();
        QVERIFY2(window_->shownGrid() == nullptr, remover);
        QVERIFY(!Action("straightenedAction")->isEnabled() && !Action("exportCellsAction")->isEnabled());
        QVERIFY(!HoverPixel(a1).contains(" in "));
        if (QString(remover) == "refreshButton") QCOMPARE(View()->bitmap(), loaded);
    }
}

// Ctrl+T shows the straightened grid in the picture's place by the same zoom
// rules; the readout names its cells; Save Picture As saves it; Ctrl+T again
// brings the photo back as it was; an operation brings it back too.
void FindGridWindowTest::straightenedViewOnAndOff() {
    Load("sudoku-rotated.jpg");
    PressFindGrid();
    QCOMPARE(window_->workbench().lastFindGrid().lattice.columns, 9);
    const QImage photo = View()->bitmap().copy();
    const Untouched before = Untouched::Of(*window_);
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    const double photoZoom = window_->zoom();

    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(window_->straightenedView() && Action("straightenedAction")->isChecked());
    const QImage straightened = View()->shown();
    const int side = straightened.width() / 9;
    QVERIFY(side >= 16);
    QCOMPARE(straightened.size(), QSize(9 * side, 9 * side));
    QVERIFY(CountColour(straightened, kLatticeNameColour) > 81 * 5);
    QCOMPARE(View()->bitmap(), photo);
    // Fitted, as the photo was.
    const QSize room = window_->findChild<QScrollArea*>("pictureScroll")->viewport()->size();
    QVERIFY(View()->width() <= room.width() && View()->height() <= room.height());
    QVERIFY(window_->zoom() != photoZoom);

    window_->SetFitToWindow(false);
    for (double zoom : {1.0, 2.0}) {
        window_->SetZoom(zoom);
        QVERIFY(HoverPixel(QPoint(side / 2, side / 2)).endsWith(" in A1"));
        QVERIFY(HoverPixel(QPoint(4 * side + side / 2, 6 * side + side / 3)).endsWith(" in E7"));
        QVERIFY(HoverPixel(QPoint(9 * side - 1, 9 * side - 1)).endsWith(" in I9"));
    }
    QVERIFY(Untouched::Of(*window_) == before);  // the strip's readouts stay with the photo

    QCOMPARE(window_->SavePicture(Path("straightened.png")), QString());
    QCOMPARE(QImage(Path("straightened.png")).convertToFormat(QImage::Format_RGB888), straightened);

    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(!window_->straightenedView());
    QCOMPARE(View()->shown(), photo);
    QCOMPARE(window_->zoom(), 2.0);

    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    Action("operationAction0")->trigger();
    QVERIFY(!window_->straightenedView());
    QVERIFY(!Action("straightenedAction")->isEnabled());
}

// Loaded again at full size, the same file shows the grid found at the
// working size, in its own pixels; loaded again at the same size, it is a
// fresh picture.
void FindGridWindowTest::reloadAtFullSizeDrawsTheGridAgain() {
    Load("grid-4000x3000.jpg");
    QCOMPARE(window_->workbench().image().source.scale, 2);
    PressFindGrid();
    const FindGridRecord found = window_->workbench().lastFindGrid();
    QVERIFY(found.lattice.found);
    Action("fullSizeAction")->trigger();
    Load("grid-4000x3000.jpg");
    QCOMPARE(window_->workbench().image().width, 4000);
    const FindGridRecord* carried = window_->shownGrid();
    QVERIFY(carried != nullptr);
    for (std::size_t k : {std::size_t(0), found.source.crossings.size() - 1}) {
        QVERIFY(std::abs(carried->lattice.crossings[k].x - found.source.crossings[k].x) < 1e-6);
        QVERIFY(std::abs(carried->lattice.crossings[k].y - found.source.crossings[k].y) < 1e-6);
    }
    QVERIFY(CountColour(View()->bitmap(), kLatticeColour) > 1000);
    QVERIFY2(Status().contains("grid found before"), qPrintable(Status()));
    QVERIFY(HoverPixel(CellCentre(carried->lattice, 2, 2)).endsWith(" in B2"));
    QVERIFY(window_->exportedStep() && window_->exportedStep()->step.grid);

    Load("grid-4000x3000.jpg");
    QVERIFY(window_->shownGrid() == nullptr);
    QVERIFY(!window_->exportedStep());
}

void FindGridWindowTest::cancelInTheMiddleDrawsNothing_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
}

// Cancel (or Esc) while Find Grid runs: the progress dialog showed and goes,
// nothing is drawn or changed, "Cancelled" is said, and an export says so.
void FindGridWindowTest::cancelInTheMiddleDrawsNothing() {
    QFETCH(bool, escape);
    Load("sudoku-rotated.jpg");
    window_->workbench().SetPumpInterval(std::chrono::steady_clock::duration::zero());
    int passes = 0, cancelAt = -1;
    bool dialogShown = false;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, [&] {
        if (!window_->workbench().busy()) return;
        dialogShown = dialogShown || progressDialog_->isVisible();
        if (++passes != cancelAt) return;
        QWidget* active = QApplication::activeWindow();
        if (escape)
            QTest::keyClick(active != nullptr ? active : window_.get(), Qt::Key_Escape);
        else
            QTest::mouseClick(progressDialog_->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    });
    ticker.start();
    PressFindGrid();  // counts the passes of a whole run
    QVERIFY(passes > 2 && dialogShown);
    QTest::mouseClick(window_->findChild<QToolButton*>("refreshButton"), Qt::LeftButton);
    const QImage clean = View()->bitmap().copy();
    const Untouched before = Untouched::Of(*window_);
    cancelAt = passes / 2;
    passes = 0;
    PressFindGrid();
    ticker.stop();
    QVERIFY(window_->workbench().lastFindGrid().cancelled);
    QCOMPARE(Status(), QString("Cancelled"));
    QCOMPARE(View()->bitmap(), clean);
    QVERIFY(Untouched::Of(*window_) == before);
    QVERIFY(window_->shownGrid() == nullptr);
    QVERIFY(!window_->workbench().busy() && !progressDialog_->isVisible());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(window_->ExportGrid(Path("cancelled.json")), QString());
    const auto step = nlohmann::json::parse(ReadAll(Path("cancelled.json")).toStdString())["steps"][0];
    QVERIFY(step["step"] == "find-grid" && step["cancelled"] == true && step["grid"]["found"] == false);
    PressFindGrid();
    QVERIFY(window_->shownGrid() != nullptr);
}

// Ctrl+G, Save Picture As, Export Grid (JSON and CSV) and Export Cells give
// what `vexo-cli --find-grid --png --json --cells` gives for the same picture.
void FindGridWindowTest::exportsEqualVexoCli() {
    const QString picture = "chessboard-perspective.jpg";
    QProcess cli;
    cli.start(VEXO_CLI_PATH, {Path(picture), "--find-grid", "--png", Path("cli.png"), "--json", Path("cli.json"),
                              "--cells", Path("cli-cells"), "--quiet"});
    QVERIFY(cli.waitForFinished(120000));
    QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());

    window_->OpenCommandLineArgument(Path(picture));
    PressFindGrid();
    window_->askSavePicturePath = [&](const QString&) { return Path("window.png"); };
    window_->askExportPath = [&](const QString&) { return Path("window.json"); };
    window_->askCellsFolder = [&](const QString&) { return Path("window-cells"); };
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    Action("exportCellsAction")->trigger();
    QVERIFY2(Status().startsWith("Exported "), qPrintable(Status()));
    QCOMPARE(window_->ExportGrid(Path("window.csv")), QString());

    QVERIFY(ReadAll(Path("window.png")) == ReadAll(Path("cli.png")));
    const auto report = nlohmann::json::parse(ReadAll(Path("cli.json")).toStdString());
    const auto exported = nlohmann::json::parse(ReadAll(Path("window.json")).toStdString());
    QVERIFY(exported["picture"] == report["picture"] && exported["source"] == report["source"]);
    auto mine = exported["steps"][0];
    auto theirs = report["steps"].back();
    QVERIFY(mine["step"] == "find-grid" && !mine.contains("operation"));
    // The time is the one thing two runs do not share.
    mine["grid"].erase("milliseconds");
    theirs["grid"].erase("milliseconds");
    for (const char* key : {"step", "parameterText", "messages", "caption", "label", "activePlane", "logAdded",
                            "progress", "horizontalLines", "verticalLines", "cells", "grid"})
        QVERIFY2(mine[key] == theirs[key], key);
    const int cells = mine["grid"]["columns"].get<int>() * mine["grid"]["rows"].get<int>();
    QCOMPARE(int(mine["cells"].size()), cells);
    QCOMPARE(int(ReadAll(Path("window.csv")).count('\n')), 1 + cells);

    const QStringList names = QDir(Path("window-cells")).entryList(QDir::Files, QDir::Name);
    QCOMPARE(names, QDir(Path("cli-cells")).entryList(QDir::Files, QDir::Name));
    QCOMPARE(int(names.size()), cells);
    for (const QString& name : names)
        QVERIFY2(ReadAll(Path("window-cells/" + name)) == ReadAll(Path("cli-cells/" + name)), qPrintable(name));
}

// Export Cells replaces an old cell whole and leaves other files, refuses a
// folder that is a file and a cell name taken by a folder, and never writes
// over the picture being worked on.
void FindGridWindowTest::exportedCellsNeverDestroyAnything() {
    const QString own = Path("own");
    QVERIFY(QDir().mkpath(own));
    QVERIFY(QFile::copy(Path("chessboard-perspective.jpg"), own + "/C1.png"));
    QFile stale(own + "/A1.png");
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("an older cell") > 0);
    stale.close();
    window_->OpenPath(own + "/C1.png");
    PressFindGrid();
    QVERIFY(window_->shownGrid() != nullptr);
    const QByteArray photo = ReadAll(own + "/C1.png");
    int written = 0;
    QCOMPARE(window_->ExportCells(own, &written), QString("C1.png: it is the picture being worked on"));
    QCOMPARE(written, 2);
    QVERIFY(ReadAll(own + "/C1.png") == photo);
    QVERIFY(!QImage(own + "/A1.png").isNull());
    QCOMPARE(QDir(own).entryList(QDir::Files).size(), 3);  // no temporary file left behind

    QCOMPARE(window_->ExportCells(own + "/C1.png", &written), QString("not a folder"));
    QCOMPARE(written, 0);
    const QString blocked = Path("blocked");
    QVERIFY(QDir().mkpath(blocked + "/B1.png"));
    QVERIFY2(window_->ExportCells(blocked, &written).startsWith("B1.png: "), "a folder in a cell's place");
    QCOMPARE(written, 1);
    QVERIFY(QFileInfo(blocked + "/B1.png").isDir());
}

int RunFindGridWindowTest(int argc, char** argv) {
    FindGridWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "find_grid_window_test.moc"
