// The picture as a viewer shows it: lines, marks and labels that stay
// visible at every zoom, zoom that leaves Fit to Window, panning by hand,
// Restore Picture from the menu, and the segment track bar's ticks.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include "lines/line_list.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

using namespace vexo;

namespace {

bool IsColour(QRgb pixel, int red, int green, int blue) {
    return std::abs(qRed(pixel) - red) < 40 && std::abs(qGreen(pixel) - green) < 40 &&
           std::abs(qBlue(pixel) - blue) < 40;
}

// Two picture points within a pixel of each other, and the message when not.
bool Near(QPointF a, QPointF b) { return std::abs(a.x() - b.x()) <= 1 && std::abs(a.y() - b.y()) <= 1; }
QString Moved(QPointF a, QPointF b) {
    return QString("(%1, %2) moved to (%3, %4)").arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y());
}

// The picture point under a point of the viewport, in bitmap pixels.
QPointF PicturePointAt(QScrollArea* scroll, double zoom, QPointF inViewport) {
    return {(scroll->horizontalScrollBar()->value() + inViewport.x()) / zoom,
            (scroll->verticalScrollBar()->value() + inViewport.y()) / zoom};
}

}  // namespace

class ViewerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void overlayStaysVisibleWhenZoomedOut();
    void labelsStayVisibleWhenZoomedOut();
    void zoomKeysLeaveFitAndKeepTheCentre();
    void controlWheelLeavesFitAndKeepsThePointUnderTheMouse();
    void dragPansThePicture_data();
    void dragPansThePicture();
    void restorePictureFromTheMenu();
    void segmentTrackBarTicksEveryStep();

private:
    void Load(const QString& name);
    QAction* Action(const char* name) { return window_->findChild<QAction*>(name); }
    ImageView* View() { return window_->findChild<ImageView*>("imageView"); }
    QScrollArea* Scroll() { return window_->findChild<QScrollArea*>("pictureScroll"); }
    // The control as it is drawn on the screen.
    QImage Shown() { return View()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QTemporaryDir folder_;
    QString sample_ = "grid.jpg";
    std::unique_ptr<MainWindow> window_;
};

void ViewerTest::initTestCase() {
    QVERIFY(folder_.isValid());
    QtScreen::autoAnswerBoxes = true;
    QVERIFY(QFile::copy(QStringLiteral(VEXO_SOURCE_DIR "/samples/grid-9x9.jpg"), folder_.filePath(sample_)));
}

void ViewerTest::init() {
    QtScreen::answeredBoxes.clear();
    window_ = std::make_unique<MainWindow>();
    window_->AttachProgressDialog(new ProgressDialog(window_.get()));
    window_->OpenDirectory(folder_.path());
    window_->resize(1000, 760);
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void ViewerTest::cleanup() {
    window_.reset();
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void ViewerTest::Load(const QString& name) {
    window_->OpenPath(folder_.filePath(name));
    QVERIFY(window_->workbench().image().loaded());
}

// A one-pixel line keeps its colour at every zoom below 100 %, while the
// photo around it is still smoothed: stripes one pixel wide turn gray.
void ViewerTest::overlayStaysVisibleWhenZoomedOut() {
    Load(sample_);
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
        const QImage shown = Shown();
        const int column = int(std::floor(kColumn * zoom));
        const int row = int(std::floor(kRow * zoom));
        const QString at = QString("zoom %1").arg(zoom);
        for (int y = 0; y < int(image.height * zoom) - 1; ++y)
            if (y != row)
                QVERIFY2(IsColour(shown.pixel(column, y), 0, 255, 0), qPrintable(at + QString(", row %1").arg(y)));
        for (int x = 0; x < int(image.width * zoom) - 1; ++x)
            if (x != column)
                QVERIFY2(IsColour(shown.pixel(x, row), 0, 0, 255), qPrintable(at + QString(", column %1").arg(x)));
    }
    window_->SetZoom(0.25);
    const QImage shown = Shown();
    int between = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) between += qGray(shown.pixel(x, y)) > 30 && qGray(shown.pixel(x, y)) < 225;
    QVERIFY2(between > 15 * 15 / 2, qPrintable(QString("%1 smoothed pixels").arg(between)));
    // Drawing never touches the displayed bitmap itself.
    QCOMPARE(View()->bitmap().pixelColor(kColumn, 10), QColor(0, 255, 0));
    QCOMPARE(View()->bitmap().pixelColor(1, 10), QColor(255, 255, 255));
}

// After the grid search every cell label still shows in yellow at 1/8.
void ViewerTest::labelsStayVisibleWhenZoomedOut() {
    Load(sample_);
    Action("operationAction16")->trigger();
    const std::vector<Cell>& cells = window_->workbench().lastOperation().cells;
    QCOMPARE(int(cells.size()), 64);
    constexpr double kZoom = 1.0 / 8;
    window_->SetZoom(kZoom);
    const QImage shown = Shown();
    for (const Cell& cell : cells) {
        QVERIFY(cell.box.has_value());
        const QRect box(QPoint(int(cell.box->left * kZoom), int(cell.box->top * kZoom)),
                        QPoint(int(cell.box->right * kZoom), int(cell.box->bottom * kZoom)));
        int yellow = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) yellow += IsColour(shown.pixel(x, y), 255, 255, 0);
        QVERIFY2(yellow > 0, cell.label.c_str());
    }
}

// Zoom In while fitted leaves Fit to Window and zooms one step from the
// fitted zoom, keeping the picture point at the centre of the view.
void ViewerTest::zoomKeysLeaveFitAndKeepTheCentre() {
    Load(sample_);
    window_->resize(560, 470);
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QTRY_VERIFY(window_->fitToWindow());
    const double fitted = window_->zoom();
    QVERIFY2(fitted < 0.99, qPrintable(QString::number(fitted)));
    QVERIFY(Action("zoomInAction")->isEnabled());
    QVERIFY(Action("zoomOutAction")->isEnabled());

    QScrollArea* scroll = Scroll();
    const QPointF centre(scroll->viewport()->width() / 2.0, scroll->viewport()->height() / 2.0);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(!window_->fitToWindow());
    QVERIFY(!Action("fitToWindowAction")->isChecked());
    QCOMPARE(window_->zoom(), 1.0);
    const QPointF before = PicturePointAt(scroll, 1.0, centre);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(window_->zoom(), 1.5);
    const QPointF after = PicturePointAt(scroll, 1.5, centre);
    QVERIFY2(Near(before, after), qPrintable(Moved(before, after)));

    // Zoom Out from Fit to Window goes one step below the fitted zoom.
    QTest::keyClick(window_.get(), Qt::Key_9, Qt::ControlModifier);
    QTRY_VERIFY(window_->fitToWindow());
    QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
    QVERIFY(!window_->fitToWindow());
    QVERIFY(window_->zoom() < fitted);
}

void ViewerTest::controlWheelLeavesFitAndKeepsThePointUnderTheMouse() {
    Load(sample_);
    window_->resize(560, 470);
    window_->SetFitToWindow(true);
    QTRY_VERIFY(window_->zoom() < 0.99);
    QScrollArea* scroll = Scroll();
    const QPoint at(120, 90);
    const QPointF before = PicturePointAt(scroll, window_->zoom(), at);
    QWheelEvent wheel(QPointF(at), QPointF(scroll->viewport()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(scroll->viewport(), &wheel);
    QVERIFY(!window_->fitToWindow());
    QCOMPARE(window_->zoom(), 1.0);
    const QPointF after = PicturePointAt(scroll, 1.0, at);
    QVERIFY2(Near(before, after), qPrintable(Moved(before, after)));
}

void ViewerTest::dragPansThePicture_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("space");
    QTest::addColumn<bool>("pans");
    QTest::newRow("middle button") << int(Qt::MiddleButton) << false << true;
    QTest::newRow("space and left button") << int(Qt::LeftButton) << true << true;
    QTest::newRow("left button alone") << int(Qt::LeftButton) << false << false;
}

// A drag moves the picture with the mouse. Space over the picture readies the
// left button for it, whichever control has the keyboard: it presses no button.
void ViewerTest::dragPansThePicture() {
    QFETCH(int, button);
    QFETCH(bool, space);
    QFETCH(bool, pans);
    Load(sample_);
    window_->SetZoom(4.0);
    QScrollArea* scroll = Scroll();
    scroll->horizontalScrollBar()->setValue(800);
    scroll->verticalScrollBar()->setValue(600);
    ImageView* view = View();
    const QPoint start = view->mapFrom(scroll->viewport(), QPoint(200, 150));
    // The pointer comes onto the picture (from wherever the last test left it).
    QTest::mouseMove(view, start + QPoint(7, 5));
    QTest::mouseMove(view, start);
    QTRY_VERIFY(view->underMouse());
    auto* keyboard = window_->findChild<QPushButton*>("shortcutButton0");
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
    // Nothing ran and nothing changed but the view.
    QCOMPARE(window_->workbench().lastOperation().sequence, uint64_t(0));
    QVERIFY(QtScreen::answeredBoxes.empty());
}

// Restore Picture is "R" from the Operations menu, with Ctrl+R.
void ViewerTest::restorePictureFromTheMenu() {
    Load(sample_);
    const QImage loaded = View()->bitmap().copy();
    QAction* restore = Action("restorePictureAction");
    QVERIFY(restore != nullptr);
    QCOMPARE(restore->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    QVERIFY(window_->findChild<QMenu*>("operationsMenu")->actions().contains(restore));
    window_->findChild<QToolButton*>("goButton")->click();
    QCOMPARE(int(window_->workbench().image().activePlane), 1);
    QVERIFY(View()->bitmap() != loaded);
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(window_.get(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(int(window_->workbench().image().activePlane), 0);
    QCOMPARE(View()->bitmap(), loaded);
}

// Segmentation's track bar has a tick at every step of the default size;
// only a range whose ticks would stand closer than 2 pixels is thinned.
void ViewerTest::segmentTrackBarTicksEveryStep() {
    auto* list = window_->findChild<QComboBox*>("operationList");
    list->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(list, Qt::Key_Down);
    auto* slider = window_->findChild<QSlider*>("segmentOffsetSlider");
    QCOMPARE(slider->maximum(), 29);
    QCOMPARE(slider->tickInterval(), 1);
    auto* edit = window_->findChild<QLineEdit*>("parameterEdit");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "60");
    QCOMPARE(slider->maximum(), 59);
    QCOMPARE(slider->tickInterval(), 2);
    edit->selectAll();
    QTest::keyClicks(edit, "256");
    QVERIFY(slider->tickInterval() > 1);
    QVERIFY(2.0 * slider->maximum() / slider->tickInterval() <= slider->width());
}

int RunViewerTest(int argc, char** argv) {
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewer_test.moc"
