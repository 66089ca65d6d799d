// The desktop window driven through its widgets on the offscreen platform.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "paint_spy.h"
#include "ui/bevel_panel.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

using namespace vexo;

namespace {

// The window's widgets, found by their object names.
struct WindowWidgets {
    QComboBox* fileFilterList = nullptr;
    QComboBox* operationList = nullptr;
    QToolButton* goButton = nullptr;
    QCheckBox* goOnCheck = nullptr;
    QLabel* colourReadout = nullptr;
    QLineEdit* parameterEdit = nullptr;
    QToolButton* refreshButton = nullptr;
    QSlider* segmentOffsetSlider = nullptr;
    QLabel* positionReadout = nullptr;
    QComboBox* logList = nullptr;
    std::vector<QPushButton*> shortcutButtons;
    BevelPanel* leftPanel = nullptr;
    QTreeWidget* folderList = nullptr;
    QListWidget* fileList = nullptr;
    ImageView* imageView = nullptr;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithNothingLoaded();
    void fileClickLoadsAndEnablesGo();
    void goRunsTheSelectedOperation();
    void choosingSegmentationShowsTheTrackBar();
    void goOnSelectsTheNextOperation();
    void shortcutButtonSelectsAndRuns();
    void brokenFileChangesNothing();
    void allFilesFilterListsEveryFile();
    void readoutsUnderTheMouse();
    void splitterFollowsTheMouse();
    void progressDialogShownWhileAnOperationRuns();
    void inputDuringAnOperationIsUndone();
    void closingDuringAnOperationWaitsForIt();
    void closeRequestedByTheCoreWaitsForTheHandler();
    void labelTextStaysInsideItsClip();

private:
    QListWidgetItem* FileItem(const QString& name);
    void ClickFile(const QString& name);
    void Load(const QString& name) {
        ClickFile(name);
        QVERIFY(GoEnabled());
    }
    bool GoEnabled() const { return ui_.goButton->isEnabled(); }
    template <class Widget>
    void Find(Widget*& widget, const char* name) {
        widget = window_->findChild<Widget*>(name);
        QVERIFY2(widget != nullptr, name);
    }
    void FindWidgets();
    void ChooseWithKeyboard(int index);
    void SetParameter(const QString& text);

    QTemporaryDir folder_;
    QString sample_;
    std::unique_ptr<MainWindow> window_;
    WindowWidgets ui_;
    ProgressDialog* progressDialog_ = nullptr;
};

void MainWindowTest::initTestCase() {
    QVERIFY(folder_.isValid());
    QtScreen::autoAnswerBoxes = true;

    // A real sample when the project has one, else a small grid of our own.
    const QString bundled = QStringLiteral(VEXO_SOURCE_DIR "/samples/grid-9x9.jpg");
    sample_ = "grid.jpg";
    if (!QFile::copy(bundled, folder_.filePath(sample_))) {
        QImage grid(160, 120, QImage::Format_Grayscale8);
        grid.fill(220);
        QPainter painter(&grid);
        painter.setPen(QColor(120, 120, 120));
        for (int x = 10; x < 160; x += 20) painter.drawLine(x, 0, x, 119);
        for (int y = 10; y < 120; y += 20) painter.drawLine(0, y, 159, y);
        painter.end();
        QVERIFY(grid.save(folder_.filePath(sample_), "JPEG", 95));
    }
    // Five pixels wide: rows are shown 8 pixels wide, the last 3 black.
    QImage narrow(5, 4, QImage::Format_Grayscale8);
    narrow.fill(255);
    QVERIFY(narrow.save(folder_.filePath("narrow.JPG"), "JPEG", 100));

    QFile broken(folder_.filePath("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("this is not a JPEG file at all");
    broken.close();
    QFile notes(folder_.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
}

void MainWindowTest::init() {
    QtScreen::answeredBoxes.clear();
    window_ = std::make_unique<MainWindow>();
    progressDialog_ = new ProgressDialog(window_.get());
    window_->AttachProgressDialog(progressDialog_);
    FindWidgets();
    window_->OpenDirectory(folder_.path());
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void MainWindowTest::cleanup() {
    window_.reset();
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void MainWindowTest::FindWidgets() {
    ui_ = {};
    Find(ui_.fileFilterList, "fileFilterList");
    Find(ui_.operationList, "operationList");
    Find(ui_.goButton, "goButton");
    Find(ui_.goOnCheck, "goOnCheck");
    Find(ui_.colourReadout, "colourReadout");
    Find(ui_.parameterEdit, "parameterEdit");
    Find(ui_.refreshButton, "refreshButton");
    Find(ui_.segmentOffsetSlider, "segmentOffsetSlider");
    Find(ui_.positionReadout, "positionReadout");
    Find(ui_.logList, "logList");
    Find(ui_.leftPanel, "leftPanel");
    Find(ui_.folderList, "folderList");
    Find(ui_.fileList, "fileList");
    Find(ui_.imageView, "imageView");
    while (auto* button = window_->findChild<QPushButton*>(QString("shortcutButton%1").arg(ui_.shortcutButtons.size())))
        ui_.shortcutButtons.push_back(button);
}

QListWidgetItem* MainWindowTest::FileItem(const QString& name) {
    const auto found = ui_.fileList->findItems(name, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

void MainWindowTest::ClickFile(const QString& name) {
    QListWidgetItem* item = FileItem(name);
    QVERIFY2(item != nullptr, qPrintable(name));
    QListWidget* list = ui_.fileList;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void MainWindowTest::ChooseWithKeyboard(int index) {
    QComboBox* list = ui_.operationList;
    list->setFocus();
    while (list->currentIndex() < index) QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > index) QTest::keyClick(list, Qt::Key_Up);
}

void MainWindowTest::SetParameter(const QString& text) {
    ui_.parameterEdit->setFocus();
    ui_.parameterEdit->selectAll();
    QTest::keyClicks(ui_.parameterEdit, text);
}

void MainWindowTest::startsWithNothingLoaded() {
    MainWindow& w = *window_;
    QCOMPARE(w.windowTitle(), QString("Vexo"));
    QVERIFY(!GoEnabled());
    QVERIFY(ui_.segmentOffsetSlider->isHidden());
    QCOMPARE(ui_.operationList->count(), 18);
    QCOMPARE(ui_.operationList->currentIndex(), 0);
    QCOMPARE(ui_.parameterEdit->text(), QString("20"));
    QCOMPARE(int(ui_.shortcutButtons.size()), 18);
    QCOMPARE(ui_.shortcutButtons[6]->toolTip(), QString("Hough cross detection (6)"));
    QCOMPARE(ui_.shortcutButtons[17]->geometry(), QRect(141 + 17 * 25, 60, 20, 20));

    // Without a picture, GO's shortcut, "R", a shortcut button and the mouse do nothing.
    QTest::mouseClick(ui_.refreshButton, Qt::LeftButton);
    QTest::mouseClick(ui_.shortcutButtons[0], Qt::LeftButton);
    QTest::mouseMove(ui_.imageView, QPoint(0, 0));
    QCOMPARE(w.windowTitle(), QString("Vexo"));
    QCOMPARE(ui_.colourReadout->text(), QString("255:255:255"));
    QCOMPARE(ui_.positionReadout->text(), QString("199:200"));
    QVERIFY(QtScreen::answeredBoxes.empty());
    QVERIFY(!progressDialog_->isVisible());
}

void MainWindowTest::fileClickLoadsAndEnablesGo() {
    MainWindow& w = *window_;
    // Only JPEG names are listed, whatever the case of the extension.
    QVERIFY(FileItem("narrow.JPG") != nullptr);
    QVERIFY(FileItem("notes.txt") == nullptr);
    ui_.logList->addItem("old log line");

    Load(sample_);
    const ImageState& image = w.workbench().image();
    QCOMPARE(w.windowTitle(),
             QString("Vexo - %1 (%2x%3)").arg(sample_).arg(image.width).arg(image.height));
    QCOMPARE(ui_.imageView->size(), QSize(image.stride, image.height));
    QCOMPARE(ui_.logList->count(), 0);
    // The picture is shown: no pixel of the white, red-outlined empty bitmap is left at the corner.
    QCOMPARE(ui_.imageView->bitmap().pixelColor(0, 0).red(), ui_.imageView->bitmap().pixelColor(0, 0).green());
}

void MainWindowTest::goRunsTheSelectedOperation() {
    MainWindow& w = *window_;
    Load(sample_);
    const QString title = w.windowTitle();
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QCOMPARE(w.windowTitle(), title + " [horizontal Sobel filter]");
    QCOMPARE(int(w.workbench().image().activePlane), 1);
    QCOMPARE(w.workbench().lastOperation().operation, 0);
    // Alt+G is GO as well.
    // The progress dialog came and went; the keyboard is back with the main window.
    QTRY_COMPARE(QApplication::activeWindow(), &w);
    QTest::keyClick(&w, Qt::Key_G, Qt::AltModifier);
    QTRY_COMPARE(int(w.workbench().image().activePlane), 0);
}

void MainWindowTest::choosingSegmentationShowsTheTrackBar() {
    MainWindow& w = *window_;
    ChooseWithKeyboard(3);
    QVERIFY(ui_.segmentOffsetSlider->isVisible());
    QCOMPARE(ui_.parameterEdit->text(), QString("30"));
    QCOMPARE(ui_.segmentOffsetSlider->maximum(), 29);
    QCOMPARE(ui_.segmentOffsetSlider->value(), 0);

    ui_.segmentOffsetSlider->setFocus();
    QTest::keyClick(ui_.segmentOffsetSlider, Qt::Key_Right);
    QCOMPARE(w.workbench().controls().trackBar.position, 1);

    // Typing a new size changes the bar's range and puts it back to 0.
    SetParameter("12");
    QCOMPARE(ui_.segmentOffsetSlider->maximum(), 11);
    QCOMPARE(ui_.segmentOffsetSlider->value(), 0);

    ChooseWithKeyboard(4);
    QVERIFY(ui_.segmentOffsetSlider->isHidden());
    QCOMPARE(ui_.parameterEdit->text(), QString("150"));
}

void MainWindowTest::goOnSelectsTheNextOperation() {
    MainWindow& w = *window_;
    Load(sample_);
    QTest::mouseClick(ui_.goOnCheck, Qt::LeftButton, {}, QPoint(5, ui_.goOnCheck->height() / 2));
    QVERIFY(w.workbench().controls().goOn);
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QCOMPARE(ui_.operationList->currentIndex(), 1);
    // Only selected: the parameter box keeps its text.
    QCOMPARE(ui_.parameterEdit->text(), QString("20"));
    QCOMPARE(w.workbench().lastOperation().operation, 0);
}

void MainWindowTest::shortcutButtonSelectsAndRuns() {
    MainWindow& w = *window_;
    Load(sample_);
    SetParameter("77");
    const QString title = w.windowTitle();
    QTest::mouseClick(ui_.shortcutButtons[6], Qt::LeftButton);
    QCOMPARE(ui_.operationList->currentIndex(), 6);
    QCOMPARE(ui_.parameterEdit->text(), QString("77"));
    QCOMPARE(w.windowTitle(), title + " [Hough cross detection]");
    QCOMPARE(w.workbench().lastOperation().operation, 6);
    QCOMPARE(QString::fromStdString(w.workbench().lastOperation().parameterText), QString("77"));

    // Button 3 does not bring up the track bar.
    QTest::mouseClick(ui_.shortcutButtons[3], Qt::LeftButton);
    QVERIFY(ui_.segmentOffsetSlider->isHidden());
}

void MainWindowTest::brokenFileChangesNothing() {
    MainWindow& w = *window_;
    ClickFile("broken.jpg");
    QCOMPARE(int(QtScreen::answeredBoxes.size()), 1);
    QCOMPARE(QtScreen::answeredBoxes[0].caption, QString("Vexo"));
    QVERIFY(QtScreen::answeredBoxes[0].errorIcon);
    QVERIFY2(QtScreen::answeredBoxes[0].text.startsWith("JPEG error #"),
             qPrintable(QtScreen::answeredBoxes[0].text));
    QVERIFY(!GoEnabled());
    QCOMPARE(w.windowTitle(), QString("Vexo"));

    Load(sample_);
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    const QString title = w.windowTitle();
    const QImage shown = ui_.imageView->bitmap().copy();
    ClickFile("broken.jpg");
    QCOMPARE(int(QtScreen::answeredBoxes.size()), 2);
    QVERIFY(GoEnabled());
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(ui_.imageView->bitmap(), shown);
    // "R" still brings back the picture that was loaded.
    QTest::mouseClick(ui_.refreshButton, Qt::LeftButton);
    QVERIFY(ui_.imageView->bitmap() != shown);
    QCOMPARE(int(w.workbench().image().activePlane), 0);
}

void MainWindowTest::allFilesFilterListsEveryFile() {
    MainWindow& w = *window_;
    ui_.fileFilterList->setFocus();
    QTest::keyClick(ui_.fileFilterList, Qt::Key_Down);
    QCOMPARE(ui_.fileFilterList->currentText(), QString("All files (*.*)"));
    QVERIFY(FileItem("notes.txt") != nullptr);
    ClickFile("notes.txt");
    QCOMPARE(int(QtScreen::answeredBoxes.size()), 1);
    QVERIFY(!GoEnabled());

    // The directory list shows the folder and lets the user open its parent.
    const QString parent = QDir(folder_.path() + "/..").absolutePath();
    QTreeWidgetItem* here = ui_.folderList->currentItem();
    QVERIFY(here != nullptr);
    QCOMPARE(here->data(0, Qt::UserRole).toString(), QDir(folder_.path()).absolutePath());
    ui_.folderList->setFocus();
    ui_.folderList->setCurrentItem(ui_.folderList->itemAbove(here));
    QTest::keyClick(ui_.folderList, Qt::Key_Return);
    QCOMPARE(w.currentDirectory(), parent);
}

void MainWindowTest::readoutsUnderTheMouse() {
    MainWindow& w = *window_;
    Load("narrow.JPG");
    // On a real display the pointer moves through the X server: the readouts
    // follow once its move has arrived.
    QCOMPARE(ui_.imageView->size(), QSize(8, 4));

    QTest::mouseMove(ui_.imageView, QPoint(6, 2));
    QTRY_COMPARE(ui_.colourReadout->text(), QString("0:0:0"));
    QTRY_COMPARE(ui_.positionReadout->text(), QString("6 : 2"));
    QTest::mouseMove(ui_.imageView, QPoint(1, 3));
    QTRY_COMPARE(ui_.colourReadout->text(), QString("255:255:255"));

    ImageState& image = w.workbench().image();
    image.marks.at(1, 3) = kMarkGreen;
    w.workbench().RenderPlane(image.active());
    QTest::mouseMove(ui_.imageView, QPoint(2, 3));
    QTest::mouseMove(ui_.imageView, QPoint(1, 3));
    QTRY_COMPARE(ui_.colourReadout->text(), QString("0:255:0"));
    QTRY_COMPARE(ui_.positionReadout->text(), QString("1 : 3"));
}

void MainWindowTest::splitterFollowsTheMouse() {
    QWidget* panel = ui_.leftPanel;
    const int y = panel->height() / 2;

    // Away from the edge: the default cursor, and a press starts no drag.
    QTest::mouseMove(panel, QPoint(panel->width() - 6, y));
    QVERIFY(panel->cursor().shape() != Qt::SplitHCursor);
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(panel->width() - 6, y));
    QTest::mouseMove(panel, QPoint(250, y));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(250, y));
    QCOMPARE(panel->width(), 137);

    QTest::mouseMove(panel, QPoint(panel->width() - 5, y));
    QCOMPARE(panel->cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(panel->width() - 5, y));
    QCOMPARE(QWidget::mouseGrabber(), panel);
    QTest::mouseMove(panel, QPoint(300, y));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(300, y));
    QCOMPARE(panel->width(), 300);
    QVERIFY(QWidget::mouseGrabber() == nullptr);
    // After the release the mouse only changes the cursor.
    QTest::mouseMove(panel, QPoint(200, y));
    QCOMPARE(panel->width(), 300);

    // Dragged past the window's left side, the edge stays grabbable.
    QTest::mouseMove(panel, QPoint(298, y));
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(298, y));
    QTest::mouseMove(panel, QPoint(-40, y));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(-40, y));
    QCOMPARE(panel->width(), 5);
}

void MainWindowTest::progressDialogShownWhileAnOperationRuns() {
    MainWindow& w = *window_;
    Load(sample_);
    bool seenShown = false;
    bool seenBusyCursor = false;
    bool centred = false;
    PaintSpy spy(ui_.imageView, [&] {
        if (!w.workbench().busy()) return;
        seenShown = seenShown || progressDialog_->isVisible();
        seenBusyCursor = seenBusyCursor || QApplication::overrideCursor() != nullptr;
        const QPoint offset = progressDialog_->frameGeometry().center() - w.frameGeometry().center();
        centred = centred || (std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1);
    });
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QVERIFY(seenShown);
    QVERIFY(seenBusyCursor);
    QVERIFY(centred);
    QVERIFY(!progressDialog_->isVisible());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    const auto* bar = progressDialog_->findChild<QProgressBar*>("progressBar");
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->value(), 0);
    // The panel and the bar keep their places; the dialog grew only for its Cancel button.
    QCOMPARE(progressDialog_->width(), 218);
    QCOMPARE(progressDialog_->findChild<QWidget*>("messagePanel")->geometry(), QRect(0, 0, 218, 57));
    QCOMPARE(bar->geometry(), QRect(0, 57, 218, 18));
}

void MainWindowTest::inputDuringAnOperationIsUndone() {
    MainWindow& w = *window_;
    Load(sample_);
    const QString title = w.windowTitle();
    bool tried = false;
    PaintSpy spy(ui_.imageView, [&] {
        if (!w.workbench().busy() || tried) return;
        tried = true;
        ui_.operationList->setFocus();
        QTest::keyClick(ui_.operationList, Qt::Key_Down);
        SetParameter("99");
        QTest::mouseClick(ui_.shortcutButtons[2], Qt::LeftButton);
        ClickFile("narrow.JPG");
        // The controls show the workbench's state, not what was typed.
        QCOMPARE(ui_.operationList->currentIndex(), 0);
        QCOMPARE(ui_.parameterEdit->text(), QString("20"));
    });
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QVERIFY(tried);
    QCOMPARE(w.windowTitle(), title + " [horizontal Sobel filter]");
    QVERIFY(w.workbench().image().width > 5);
    QCOMPARE(w.workbench().lastOperation().operation, 0);
}

void MainWindowTest::closingDuringAnOperationWaitsForIt() {
    MainWindow& w = *window_;
    Load(sample_);
    bool stillOpen = false;
    PaintSpy spy(ui_.imageView, [&] {
        if (!w.workbench().busy()) return;
        w.close();
        stillOpen = stillOpen || w.isVisible();
    });
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QVERIFY(stillOpen);
    QVERIFY(!w.workbench().busy());
    QVERIFY(!w.isVisible());
    QVERIFY(!progressDialog_->isVisible());
}

void MainWindowTest::closeRequestedByTheCoreWaitsForTheHandler() {
    MainWindow& w = *window_;
    Load(sample_);
    bool stillOpen = false;
    PaintSpy spy(ui_.imageView, [&] {
        if (!w.workbench().busy()) return;
        w.screen().RequestClose();
        stillOpen = stillOpen || w.isVisible();
    });
    QTest::mouseClick(ui_.goButton, Qt::LeftButton);
    QVERIFY(stillOpen);
    QVERIFY(!w.isVisible());
}

void MainWindowTest::labelTextStaysInsideItsClip() {
    MainWindow& w = *window_;
    Load(sample_);
    Screen& screen = w.screen();
    const QImage before = ui_.imageView->bitmap().copy();

    screen.SetFontBold(true);
    screen.SetBrushClear();
    screen.SetFontColour({255, 0, 0});
    const TextExtent extent = screen.MeasureText("W8");
    QVERIFY(extent.width > 8);
    QVERIFY(extent.height > 8);
    // A clip of 6 x 6 pixels from (20, 20): right and bottom are exclusive.
    screen.DrawTextClipped(20, 18, ClipRect{20, 20, 26, 26}, "W8");
    const QImage& after = ui_.imageView->bitmap();
    int changedInside = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 20 && x < 26 && y >= 20 && y < 26;
            if (after.pixel(x, y) == before.pixel(x, y)) continue;
            QVERIFY2(inside, qPrintable(QString("changed at %1,%2").arg(x).arg(y)));
            ++changedInside;
        }
    QVERIFY(changedInside > 0);

    // Rows outside the displayed bitmap are refused with a text.
    std::vector<uint8_t> row(3 * std::size_t(after.width()), 0);
    std::string message;
    QVERIFY(!screen.WriteDisplayRow(after.height(), row.data(), after.width(), message));
    QVERIFY(!message.empty());
    QVERIFY(!screen.WriteDisplayRow(-1, row.data(), after.width(), message));
    QVERIFY(screen.WriteDisplayRow(0, row.data(), after.width(), message));
    QCOMPARE(screen.DisplayPixel(3, 0), (Rgb{0, 0, 0}));
    QCOMPARE(screen.DisplayPixel(after.width(), 0), (Rgb{0, 0, 0}));
}

int RunMainWindowTest(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
