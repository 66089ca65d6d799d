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
#include <QScrollBar>
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

// The centre of cell (column, row), from 1, of a lattice.
QPointF CellCentre(const Lattice& lattice, int column, int row) {
    double x = 0, y = 0;
    for (const PointF& p : {lattice.at(column - 1, row - 1), lattice.at(column, row - 1), lattice.at(column - 1, row),
                            lattice.at(column, row)}) {
        x += p.x / 4;
        y += p.y / 4;
    }
    return {x, y};
}

// Everything of the picture state that Find Grid must leave alone.
struct Untouched {
    QByteArray plane0, plane1, marks;
    int activePlane = 0;
    QStringList log;
    QString caption, label, position;

    static Untouched Of(MainWindow& window) {
        Untouched state;
        const ImageState& image = window.workbench().image();
        const auto bytes = [](const Plane& plane) {
            return QByteArray(reinterpret_cast<const char*>(plane.begin()), qsizetype(plane.size()));
        };
        state.plane0 = bytes(image.planes[0]);
        state.plane1 = bytes(image.planes[1]);
        state.marks = bytes(image.marks);
        state.activePlane = image.activePlane;
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
    void statusLineSaysWhatWasFound_data();
    void statusLineSaysWhatWasFound();
    void findGridLeavesThePictureStateAlone();
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
    QScrollArea* Scroll() { return window_->findChild<QScrollArea*>("pictureScroll"); }
    // Ctrl+G, as the user presses it.
    void PressFindGrid() {
        // The offscreen platform may leave the hidden progress dialog active.
        window_->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window_.get());
        QTest::keyClick(window_.get(), Qt::Key_G, Qt::ControlModifier);
    }
    // Moves the mouse over pixel `pixel` of what the picture control shows
    // (below 100 %, the pixel whose control pixel that is); the status
    // line's pixel readout then.
    QString HoverPixel(QPoint pixel);
    // Runs `press` with `onTick` called at every pass of the event loop that
    // the running command makes.
    void RunWithTicks(const std::function<void()>& press, const std::function<void(int)>& onTick);

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
    // Sent to the picture control itself: where a real pointer lands
    // depends on the window system's timing.
    QMouseEvent move(QEvent::MouseMove, at, View()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(View(), &move);
    const QPoint under = View()->BitmapPoint(at);
    const QString readout = window_->statusLine().pixel();
    // An empty answer fails whatever the caller expects of it.
    return readout.startsWith(QString("(%1, %2) ").arg(under.x()).arg(under.y())) ? readout : QString();
}

void FindGridWindowTest::RunWithTicks(const std::function<void()>& press, const std::function<void(int)>& onTick) {
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

// Find Grid heads the Operations menu's operations and has a tool bar button
// under the menu bar; the control strip keeps its layout below the tool bar.
void FindGridWindowTest::commandsSitAboveTheStrip() {
    const QList<QAction*> items = window_->findChild<QMenu*>("operationsMenu")->actions();
    QVERIFY(items.indexOf(Action("findGridAction")) >= 0);
    QVERIFY(items.indexOf(Action("findGridAction")) < items.indexOf(Action("operationAction0")));
    QCOMPARE(Action("findGridAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    QCOMPARE(Action("straightenedAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    // Nothing to find a grid in yet.
    for (const char* name : {"findGridAction", "straightenedAction", "exportCellsAction"})
        QVERIFY2(!Action(name)->isEnabled(), name);

    auto* toolBar = window_->findChild<QToolBar*>("toolBar");
    auto* strip = window_->findChild<QWidget*>("topStrip");
    QVERIFY(toolBar->widgetForAction(Action("findGridAction")) != nullptr);
    const QRect bar(toolBar->mapTo(window_.get(), QPoint(0, 0)), toolBar->size());
    QVERIFY(bar.top() >= window_->menuBar()->geometry().bottom());
    QVERIFY(strip->mapTo(window_.get(), QPoint(0, 0)).y() >= bar.bottom());
    QCOMPARE(window_->findChild<QWidget*>("operationList")->geometry(), QRect(141, 4, 161, 21));
    QCOMPARE(window_->findChild<QWidget*>("shortcutButton17")->geometry(), QRect(141 + 17 * 25, 60, 20, 20));

    Load("chessboard-perspective.jpg");
    auto* button = qobject_cast<QToolButton*>(toolBar->widgetForAction(Action("findGridAction")));
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(window_->workbench().lastFindGrid().lattice.found);
    QVERIFY(Action("straightenedAction")->isEnabled());
    QVERIFY(Action("exportCellsAction")->isEnabled());
}

void FindGridWindowTest::statusLineSaysWhatWasFound_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("status");
    QTest::newRow("perspective chessboard")
        << "chessboard-perspective.jpg" << "^Find Grid: \\d+ × \\d+ cells \\(chessboard\\), score [01]\\.\\d\\d, \\d+ ms$";
    QTest::newRow("turned sudoku") << "sudoku-rotated.jpg"
                                   << "^Find Grid: 9 × 9 cells \\(ruled\\), score [01]\\.\\d\\d, \\d+ ms$";
    QTest::newRow("no grid") << "plain.jpg" << "^Find Grid: no grid found$";
}

void FindGridWindowTest::statusLineSaysWhatWasFound() {
    QFETCH(QString, picture);
    QFETCH(QString, status);
    Load(picture);
    const QImage before = View()->bitmap().copy();
    PressFindGrid();
    QVERIFY2(QRegularExpression(status).match(Status()).hasMatch(), qPrintable(Status()));
    const FindGridRecord& record = window_->workbench().lastFindGrid();
    const QImage after = View()->bitmap();
    if (!record.lattice.found) {
        QCOMPARE(after, before);
        QVERIFY(window_->shownGrid() == nullptr);
        QVERIFY(!Action("straightenedAction")->isEnabled());
        return;
    }
    QVERIFY(Status().startsWith(QString("Find Grid: %1 × %2 cells").arg(record.lattice.columns).arg(record.lattice.rows)));
    QVERIFY(Status().endsWith(QString(", %1 ms").arg(record.milliseconds)));
    // The lattice, its names and (on a chessboard) its crossings, each in its colour.
    QVERIFY(CountColour(after, kLatticeColour) > 100);
    QVERIFY(CountColour(after, kLatticeNameColour) > 10 * record.lattice.columns * record.lattice.rows);
    QCOMPARE(CountColour(after, kLatticeCrossingColour) > 0, record.lattice.kind == GridKind::Chessboard);
    QVERIFY(window_->shownGrid() != nullptr);
}

// No plane, mark, caption, readout or log entry changes, nor the controls;
// the displayed picture gets the lattice.
void FindGridWindowTest::findGridLeavesThePictureStateAlone() {
    Load("sudoku-rotated.jpg");
    // A state worth keeping: an operation's planes, marks and log entries.
    Action("operationAction16")->trigger();
    QVERIFY(window_->findChild<QComboBox*>("logList")->count() > 0);
    const Untouched before = Untouched::Of(*window_);
    const Controls controls = window_->workbench().controls();
    const int progressMaximum = window_->workbench().progress().maximum();
    const int progressPosition = window_->workbench().progress().position();
    const QImage shown = View()->bitmap().copy();
    PressFindGrid();
    QVERIFY(window_->workbench().lastFindGrid().lattice.found);
    QVERIFY(Untouched::Of(*window_) == before);
    QCOMPARE(window_->workbench().controls().parameterText, controls.parameterText);
    QCOMPARE(window_->workbench().controls().selectedOperation, controls.selectedOperation);
    QCOMPARE(window_->workbench().progress().maximum(), progressMaximum);
    QCOMPARE(window_->workbench().progress().position(), progressPosition);
    QVERIFY(View()->bitmap() != shown);
    QVERIFY(!progressDialog_->isVisible());
}

// The lattice is drawn over rows read back from the displayed bitmap: they
// come back as written, in the order blue, green, red, black beyond.
void FindGridWindowTest::screenReadsRowsBackAsWritten() {
    Load("plain.jpg");
    const std::vector<uint8_t> row = {1, 2, 3, 40, 50, 60, 7, 8, 9};
    std::string why;
    QVERIFY(window_->screen().WriteDisplayRow(5, row.data(), 3, why));
    QCOMPARE(View()->bitmap().pixel(1, 5), qRgb(60, 50, 40));
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
// every zoom; off the grid it names none. The drawing stays as zoom changes.
void FindGridWindowTest::cellUnderTheMouseAtEveryZoom() {
    QFETCH(double, zoom);
    Load("chessboard-perspective.jpg");
    PressFindGrid();
    const Lattice lattice = window_->workbench().lastFindGrid().lattice;
    QVERIFY(lattice.found && lattice.columns >= 4 && lattice.rows >= 4);
    const QImage drawn = View()->bitmap().copy();
    if (zoom == 0)
        QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    else
        window_->SetZoom(zoom);
    QCOMPARE(View()->bitmap(), drawn);
    // A position between screen pixels (a scaled screen) lies in one picture pixel.
    QCOMPARE(View()->BitmapPoint(QPointF(10.75, 3.5) * View()->zoom()), QPoint(10, 3));
    const struct {
        int column, row;
        const char* name;
    } cells[] = {{1, 1, "A1"}, {4, 3, "D3"}, {lattice.columns, lattice.rows, nullptr}};
    for (const auto& cell : cells) {
        const QPointF centre = CellCentre(lattice, cell.column, cell.row);
        const QString name = cell.name ? QString(cell.name) : QString::fromStdString(CellName(cell.column, cell.row));
        const QString readout = HoverPixel(QPoint(int(std::lround(centre.x())), int(std::lround(centre.y()))));
        QVERIFY2(readout.endsWith(" in " + name), qPrintable(readout));
    }
    // A corner of the picture lies off this grid.
    QVERIFY(!HoverPixel(QPoint(1, 1)).contains(" in "));
    // Enlarged three times, every screen pixel shows the picture pixel that
    // the readout names there, the lattice's included.
    if (zoom == 3.0) {
        const QImage grabbed = View()->grab(QRect(0, 0, 600, 600)).toImage().convertToFormat(QImage::Format_RGB888);
        int differing = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 600; ++x) differing += grabbed.pixel(x, y) != drawn.pixel(x / 3, y / 3);
        QCOMPARE(differing, 0);
    }
    // Zoomed out, the lattice still shows in its colour.
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
        const Lattice lattice = window_->workbench().lastFindGrid().lattice;
        QVERIFY(lattice.found);
        const QPointF a1 = CellCentre(lattice, 1, 1);
        const QPoint pixel(int(std::lround(a1.x())), int(std::lround(a1.y())));
        QVERIFY(HoverPixel(pixel).endsWith(" in A1"));
        if (QString(remover) == "refreshButton")
            QTest::mouseClick(window_->findChild<QToolButton*>(remover), Qt::LeftButton);
        else
            Action(remover)->trigger();
        QVERIFY2(window_->shownGrid() == nullptr, remover);
        QVERIFY(!Action("straightenedAction")->isEnabled());
        QVERIFY(!Action("exportCellsAction")->isEnabled());
        QVERIFY(!HoverPixel(pixel + QPoint(1, 0)).contains(" in "));
        if (QString(remover) == "refreshButton") QCOMPARE(View()->bitmap(), loaded);
    }
}

// Ctrl+T shows the straightened grid in the picture's place, with the same
// zoom rules; the readout names its cells; Save Picture As saves it; Ctrl+T
// again brings the photo back as it was. An operation brings the photo back.
void FindGridWindowTest::straightenedViewOnAndOff() {
    Load("sudoku-rotated.jpg");
    PressFindGrid();
    const FindGridRecord record = window_->workbench().lastFindGrid();
    QCOMPARE(record.lattice.columns, 9);
    const QImage photo = View()->bitmap().copy();
    const Untouched before = Untouched::Of(*window_);
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);  // fitted: both pictures fit
    const double photoZoom = window_->zoom();

    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(window_->straightenedView());
    QVERIFY(Action("straightenedAction")->isChecked());
    const QImage straightened = View()->shown();
    QVERIFY(straightened.width() % 9 == 0 && straightened.height() % 9 == 0);
    QCOMPARE(straightened.width(), straightened.height());
    const int side = straightened.width() / 9;
    QVERIFY(side >= 16);
    QVERIFY(CountColour(straightened, kLatticeNameColour) > 81 * 5);
    QCOMPARE(View()->bitmap(), photo);  // the displayed picture itself stays
    const QSize room = Scroll()->viewport()->size();
    QVERIFY(View()->width() <= room.width() && View()->height() <= room.height());
    QVERIFY(View()->width() >= room.width() - 1 || View()->height() >= room.height() - 1);
    QVERIFY(window_->zoom() != photoZoom);

    // Its cells named under the mouse, at 100 % and at 200 %; the strip's
    // readouts stay with the displayed picture.
    window_->SetFitToWindow(false);
    for (double zoom : {1.0, 2.0}) {
        window_->SetZoom(zoom);
        QVERIFY(HoverPixel(QPoint(side / 2, side / 2)).endsWith(" in A1"));
        QVERIFY(HoverPixel(QPoint(4 * side + side / 2, 6 * side + side / 3)).endsWith(" in E7"));
        QVERIFY(HoverPixel(QPoint(9 * side - 1, 9 * side - 1)).endsWith(" in I9"));
    }
    QVERIFY(Untouched::Of(*window_) == before);

    window_->askSavePicturePath = [&](const QString&) { return Path("straightened.png"); };
    window_->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(QImage(Path("straightened.png")).convertToFormat(QImage::Format_RGB888), straightened);

    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(!window_->straightenedView());
    QCOMPARE(View()->shown(), photo);
    QCOMPARE(window_->zoom(), 2.0);
    QVERIFY(HoverPixel(QPoint(3, 3)).startsWith("(3, 3) "));

    // An operation runs on the photo, which it shows.
    QTest::keyClick(window_.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(window_->straightenedView());
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
    QCOMPARE(carried->lattice.columns, found.lattice.columns);
    for (std::size_t k : {std::size_t(0), found.source.crossings.size() - 1}) {
        QVERIFY(std::abs(carried->lattice.crossings[k].x - found.source.crossings[k].x) < 1e-6);
        QVERIFY(std::abs(carried->lattice.crossings[k].y - found.source.crossings[k].y) < 1e-6);
    }
    QVERIFY(CountColour(View()->bitmap(), kLatticeColour) > 1000);
    QVERIFY2(Status().contains("grid found before"), qPrintable(Status()));
    const QPointF b2 = CellCentre(carried->lattice, 2, 2);
    QVERIFY(HoverPixel(QPoint(int(b2.x()), int(b2.y()))).endsWith(" in B2"));
    // Export Grid writes the grid it shows.
    QVERIFY(window_->exportedStep().has_value());
    QVERIFY(window_->exportedStep()->step.grid.has_value());

    Load("grid-4000x3000.jpg");
    QVERIFY(window_->shownGrid() == nullptr);
    QVERIFY(!window_->exportedStep().has_value());
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
    int passes = 0;
    bool dialogShown = false;
    RunWithTicks([&] { PressFindGrid(); },
                 [&](int tick) {
                     passes = tick;
                     dialogShown = dialogShown || progressDialog_->isVisible();
                 });
    QVERIFY(passes > 2);
    QVERIFY(dialogShown);
    QTest::mouseClick(window_->findChild<QToolButton*>("refreshButton"), Qt::LeftButton);
    const QImage clean = View()->bitmap().copy();
    const Untouched before = Untouched::Of(*window_);

    auto* cancel = progressDialog_->findChild<QPushButton*>("cancelButton");
    RunWithTicks([&] { PressFindGrid(); },
                 [&](int tick) {
                     if (tick != passes / 2) return;
                     QWidget* active = QApplication::activeWindow();
                     if (escape)
                         QTest::keyClick(active != nullptr ? active : window_.get(), Qt::Key_Escape);
                     else
                         QTest::mouseClick(cancel, Qt::LeftButton);
                 });
    QVERIFY(window_->workbench().lastFindGrid().cancelled);
    QCOMPARE(Status(), QString("Cancelled"));
    QCOMPARE(View()->bitmap(), clean);
    QVERIFY(Untouched::Of(*window_) == before);
    QVERIFY(window_->shownGrid() == nullptr);
    QVERIFY(!window_->workbench().busy());
    QVERIFY(!progressDialog_->isVisible());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(window_->ExportGrid(Path("cancelled.json")), QString());
    const auto step = nlohmann::json::parse(ReadAll(Path("cancelled.json")).toStdString())["steps"][0];
    QVERIFY(step["step"] == "find-grid");
    QVERIFY(step["cancelled"] == true);
    QVERIFY(step["grid"]["found"] == false);
    // The next Find Grid runs to its end.
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
    QVERIFY(window_->shownGrid() != nullptr);
    window_->askSavePicturePath = [&](const QString&) { return Path("window.png"); };
    window_->askExportPath = [&](const QString&) { return Path("window.json"); };
    window_->askCellsFolder = [&](const QString&) { return Path("window-cells"); };
    window_->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    Action("exportCellsAction")->trigger();
    QVERIFY2(Status().startsWith("Exported "), qPrintable(Status()));
    QCOMPARE(window_->ExportGrid(Path("window.csv")), QString());

    QVERIFY(ReadAll(Path("window.png")) == ReadAll(Path("cli.png")));

    const auto report = nlohmann::json::parse(ReadAll(Path("cli.json")).toStdString());
    const auto exported = nlohmann::json::parse(ReadAll(Path("window.json")).toStdString());
    QVERIFY(exported["picture"] == report["picture"]);
    QVERIFY(exported["source"] == report["source"]);
    auto mine = exported["steps"][0];
    auto theirs = report["steps"].back();
    QVERIFY(mine["step"] == "find-grid");
    QVERIFY(!mine.contains("operation"));
    // The time is the one thing two runs do not share.
    mine["grid"].erase("milliseconds");
    theirs["grid"].erase("milliseconds");
    for (const char* key : {"step", "parameterText", "messages", "caption", "label", "activePlane", "logAdded",
                            "progress", "horizontalLines", "verticalLines", "cells", "grid"})
        QVERIFY2(mine[key] == theirs[key], key);
    const auto& cells = mine["cells"];
    const int columns = mine["grid"]["columns"].get<int>(), rows = mine["grid"]["rows"].get<int>();
    QCOMPARE(int(cells.size()), columns * rows);

    // CSV: one row per cell, its corners in the file's pixels as the JSON has them.
    const QList<QByteArray> lines = ReadAll(Path("window.csv")).split('\n');
    QCOMPARE(int(lines.size()), 1 + columns * rows + 1);
    for (int i = 0; i < columns * rows; ++i) {
        const QList<QByteArray> fields = lines[i + 1].chopped(1).split(',');
        const auto& cell = cells[std::size_t(i)];
        QCOMPARE(fields[0].toStdString(), cell["label"].get<std::string>());
        int field = 11;
        for (const char* corner : {"TL", "TR", "BL", "BR"})
            for (int k = 0; k < 2; ++k)
                QCOMPARE(fields[field++].toInt(), cell["sourceCorners"][corner][std::size_t(k)].get<int>());
    }

    // The cells: the same names, the same bytes.
    const QStringList fromCli = QDir(Path("cli-cells")).entryList(QDir::Files, QDir::Name);
    const QStringList fromWindow = QDir(Path("window-cells")).entryList(QDir::Files, QDir::Name);
    QCOMPARE(fromWindow, fromCli);
    QCOMPARE(int(fromWindow.size()), columns * rows);
    QVERIFY(fromWindow.contains("A1.png"));
    for (const QString& name : fromWindow)
        QVERIFY2(ReadAll(Path("window-cells/" + name)) == ReadAll(Path("cli-cells/" + name)), qPrintable(name));
    QCOMPARE(QImage(Path("window-cells/A1.png")).format(), QImage::Format_Grayscale8);
}

// Export Cells replaces an old cell whole, refuses a folder that is a file
// and a cell name taken by a folder, and never writes over the picture.
void FindGridWindowTest::exportedCellsNeverDestroyAnything() {
    Load("chessboard-perspective.jpg");
    PressFindGrid();
    QVERIFY(window_->shownGrid() != nullptr);
    const QString cells = Path("cells");
    QVERIFY(QDir().mkpath(cells));
    QFile stale(cells + "/A1.png");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("an older cell");
    stale.close();
    QFile note(cells + "/notes.txt");
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.write("kept");
    note.close();
    int written = 0;
    QCOMPARE(window_->ExportCells(cells, &written), QString());
    const Lattice& lattice = window_->shownGrid()->lattice;
    QCOMPARE(written, lattice.columns * lattice.rows);
    QVERIFY(!QImage(cells + "/A1.png").isNull());
    QCOMPARE(ReadAll(cells + "/notes.txt"), QByteArray("kept"));
    // No temporary file is left behind.
    QCOMPARE(int(QDir(cells).entryList(QDir::Files).size()), written + 1);

    QCOMPARE(window_->ExportCells(Path("chessboard-perspective.jpg"), &written), QString("not a folder"));
    QCOMPARE(written, 0);
    const QString blocked = Path("blocked");
    QVERIFY(QDir().mkpath(blocked + "/B1.png"));
    const QString error = window_->ExportCells(blocked, &written);
    QVERIFY2(error.startsWith("B1.png: "), qPrintable(error));
    QCOMPARE(written, 1);
    QVERIFY(QFileInfo(blocked + "/B1.png").isDir());

    // The picture being worked on, under a cell's name, stays as it was.
    const QString own = Path("own");
    QVERIFY(QDir().mkpath(own));
    QVERIFY(QFile::copy(Path("chessboard-perspective.jpg"), own + "/C1.png"));
    window_->OpenPath(own + "/C1.png");
    QCOMPARE(window_->windowTitle(), QString("Vexo - C1.png (800x600)"));
    PressFindGrid();
    QVERIFY(window_->shownGrid() != nullptr);
    const QByteArray photo = ReadAll(own + "/C1.png");
    QCOMPARE(window_->ExportCells(own, &written), QString("C1.png: it is the picture being worked on"));
    QCOMPARE(written, 2);
    QVERIFY(ReadAll(own + "/C1.png") == photo);
}

int RunFindGridWindowTest(int argc, char** argv) {
    FindGridWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "find_grid_window_test.moc"
