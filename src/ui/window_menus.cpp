// The main window's actions, menus and tool bar: File, View, Operations,
// Help. Every command is one action, made once; actions whose command cannot
// run are disabled (no picture: no Save, no zoom; no operation yet: no
// Export; no grid shown: no straightened grid, no cells).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/operations.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/operations_help.h"

namespace vexo {

namespace {

constexpr int kRecentFiles = 10;

QAction* MakeAction(QObject* parent, const char* name, const QString& text, const QKeySequence& key,
                    const QString& tip) {
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setToolTip(tip);
    action->setStatusTip(tip);
    return action;
}

// "Hough NEW with lines (16)" with a mnemonic on a one-digit number: "(&6)".
QString MenuText(const OperationInfo& operation, int index) {
    QString text = QString(operation.label).replace('&', "&&");
    if (index < 10) text.replace(QString("(%1)").arg(index), QString("(&%1)").arg(index));
    return text;
}

}  // namespace

void MainWindow::CreateActions() {
    openAction_ = MakeAction(this, "openAction", "&Open…", QKeySequence::Open,
                             "Open a JPEG picture; the file browser moves to its folder");
    connect(openAction_, &QAction::triggered, this, &MainWindow::OnOpenTriggered);
    for (int i = 0; i < kRecentFiles; ++i) {
        auto* action = new QAction(this);
        action->setObjectName(QString("recentFileAction%1").arg(i));
        action->setVisible(false);
        connect(action, &QAction::triggered, this, [this, action] { OpenPath(action->data().toString()); });
        recentFileActions_[std::size_t(i)] = action;
    }
    savePictureAction_ = MakeAction(this, "savePictureAction", "&Save Picture As…", QKeySequence::Save,
                                    "Save the picture as shown, labels and marks included, at 100 % (PNG or JPEG)");
    connect(savePictureAction_, &QAction::triggered, this, &MainWindow::OnSavePictureTriggered);
    exportGridAction_ = MakeAction(this, "exportGridAction", "&Export Grid…", QKeySequence(Qt::CTRL | Qt::Key_E),
                                   "Save what the last command found (an operation's lines and cells, or Find Grid's "
                                   "grid) as JSON or CSV");
    connect(exportGridAction_, &QAction::triggered, this, &MainWindow::OnExportGridTriggered);
    exportCellsAction_ =
        MakeAction(this, "exportCellsAction", "Export &Cells…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                   "Save every cell of the found grid, straightened from the file's own pixels, as A1.png, B1.png, … "
                   "in a folder");
    connect(exportCellsAction_, &QAction::triggered, this, &MainWindow::OnExportCellsTriggered);
    quitAction_ = MakeAction(this, "quitAction", "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), "Close Vexo");
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);

    zoomInAction_ = MakeAction(this, "zoomInAction", "Zoom &In", QKeySequence(Qt::CTRL | Qt::Key_Plus),
                               "Draw the picture larger (also Ctrl+wheel)");
    // Ctrl+= too: on many keyboards "+" needs Shift.
    zoomInAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoomInAction_, &QAction::triggered, this, &MainWindow::ZoomIn);
    zoomOutAction_ = MakeAction(this, "zoomOutAction", "Zoom &Out", QKeySequence(Qt::CTRL | Qt::Key_Minus),
                                "Draw the picture smaller (also Ctrl+wheel)");
    connect(zoomOutAction_, &QAction::triggered, this, &MainWindow::ZoomOut);
    actualSizeAction_ = MakeAction(this, "actualSizeAction", "&Actual Size", QKeySequence(Qt::CTRL | Qt::Key_0),
                                   "One screen pixel for every picture pixel");
    connect(actualSizeAction_, &QAction::triggered, this, [this] {
        SetFitToWindow(false);
        SetZoom(1.0);
    });
    fitToWindowAction_ = MakeAction(this, "fitToWindowAction", "&Fit to Window", QKeySequence(Qt::CTRL | Qt::Key_9),
                                    "Draw the whole picture in the window, also when the window is resized");
    fitToWindowAction_->setCheckable(true);
    connect(fitToWindowAction_, &QAction::toggled, this, &MainWindow::SetFitToWindow);
    fullSizeAction_ = MakeAction(this, "fullSizeAction", "Load at &Full Size", {},
                                 "Load pictures larger than 1200 pixels at their own size instead of scaled down "
                                 "(slower operations)");
    fullSizeAction_->setCheckable(true);
    connect(fullSizeAction_, &QAction::toggled, this, [this](bool on) { workbench_->SetFullSize(on); });
    straightenedAction_ = MakeAction(this, "straightenedAction", "S&traightened Grid", QKeySequence(Qt::CTRL | Qt::Key_T),
                                     "Show the found grid straightened, every cell square, in the picture's place; "
                                     "again for the photo");
    straightenedAction_->setCheckable(true);
    connect(straightenedAction_, &QAction::toggled, this, &MainWindow::SetStraightenedView);

    for (int i = 0; i < kOperationCount; ++i) {
        const OperationInfo& operation = *FindOperation(i);
        QString tip = operation.help.description;
        if (operation.help.parameter != nullptr) tip += QString("\nParameter: ") + operation.help.parameter;
        auto* action = MakeAction(this, "", MenuText(operation, i), {}, tip);
        action->setObjectName(QString("operationAction%1").arg(i));
        connect(action, &QAction::triggered, this, [this, i] { OnOperationMenuChosen(i); });
        operationActions_.push_back(action);
    }
    restorePictureAction_ =
        MakeAction(this, "restorePictureAction", "&Restore Picture", QKeySequence(Qt::CTRL | Qt::Key_R),
                   "Show the loaded picture again, as the \"R\" button does");
    connect(restorePictureAction_, &QAction::triggered, this, &MainWindow::OnRefreshClicked);
    findGridAction_ = MakeAction(this, "findGridAction", "Find &Grid", QKeySequence(Qt::CTRL | Qt::Key_G),
                                 "Find the grid or chessboard in the photo as loaded and name its cells; the planes, "
                                 "the marks and the log stay as they are");
    connect(findGridAction_, &QAction::triggered, this, &MainWindow::FindGrid);

    operationsHelpAction_ = MakeAction(this, "operationsHelpAction", "&Operations", QKeySequence::HelpContents,
                                       "What each operation does and what its parameter means");
    connect(operationsHelpAction_, &QAction::triggered, this, &MainWindow::ShowOperationsHelp);
    aboutAction_ = MakeAction(this, "aboutAction", "&About Vexo", {}, "Version of Vexo, Qt and libjpeg-turbo");
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::ShowAbout);

    // Esc in the main window stops the running operation (the progress
    // dialog has its own); between operations Esc is left to the controls,
    // and a message box keeps it for itself.
    cancelAction_ = MakeAction(this, "cancelAction", "Cancel", QKeySequence(Qt::Key_Escape),
                               "Stop the running operation");
    cancelAction_->setShortcutContext(Qt::WindowShortcut);
    cancelAction_->setEnabled(false);
    connect(cancelAction_, &QAction::triggered, this, &MainWindow::OnCancelRequested);
    addAction(cancelAction_);
}

void MainWindow::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("fileMenu");
    file->addAction(openAction_);
    recentMenu_ = file->addMenu("Open &Recent");
    recentMenu_->setObjectName("recentMenu");
    for (QAction* action : recentFileActions_) recentMenu_->addAction(action);
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::UpdateRecentFileActions);
    file->addSeparator();
    file->addAction(savePictureAction_);
    file->addAction(exportGridAction_);
    file->addAction(exportCellsAction_);
    file->addSeparator();
    file->addAction(quitAction_);

    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("viewMenu");
    view->addAction(zoomInAction_);
    view->addAction(zoomOutAction_);
    view->addAction(actualSizeAction_);
    view->addAction(fitToWindowAction_);
    view->addSeparator();
    view->addAction(straightenedAction_);
    view->addSeparator();
    view->addAction(fullSizeAction_);

    QMenu* operations = menuBar()->addMenu("O&perations");
    operations->setObjectName("operationsMenu");
    operations->setToolTipsVisible(true);
    operations->addAction(restorePictureAction_);
    operations->addAction(findGridAction_);
    operations->addSeparator();
    for (QAction* action : operationActions_) operations->addAction(action);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("helpMenu");
    help->addAction(operationsHelpAction_);
    help->addAction(aboutAction_);
    for (QMenu* menu : {file, view, help}) menu->setToolTipsVisible(true);

    // Under the menu bar, above the control strip (which keeps its own
    // layout, only lower in the window).
    toolBar_ = new QToolBar("Tools", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar_->toggleViewAction()->setEnabled(false);
    toolBar_->addAction(findGridAction_);
    toolBar_->addAction(straightenedAction_);
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void MainWindow::UpdateActions() {
    const bool picture = workbench_->image().loaded() && !imageView_->bitmap().isNull();
    savePictureAction_->setEnabled(picture);
    exportGridAction_->setEnabled(picture && exportedStep_.has_value());
    zoomInAction_->setEnabled(picture && zoom() < kMaxZoom);
    zoomOutAction_->setEnabled(picture && zoom() > kMinZoom);
    actualSizeAction_->setEnabled(picture);
    restorePictureAction_->setEnabled(picture);
    for (QAction* action : operationActions_) action->setEnabled(picture);
    findGridAction_->setEnabled(picture);
    const bool grid = picture && shownGrid() != nullptr;
    exportCellsAction_->setEnabled(grid);
    straightenedAction_->setEnabled(grid);
    {
        const QSignalBlocker block(straightenedAction_);
        straightenedAction_->setChecked(straightenedView());
    }
    {
        const QSignalBlocker block(fullSizeAction_);
        fullSizeAction_->setChecked(workbench_->fullSize());
    }
    {
        const QSignalBlocker block(fitToWindowAction_);
        fitToWindowAction_->setChecked(fitToWindow_);
    }
    UpdateRecentFileActions();
}

// The recent files that still exist, newest first; missing ones are dropped.
void MainWindow::UpdateRecentFileActions() {
    QStringList kept;
    for (const QString& path : recentFiles_)
        if (QFileInfo(path).isFile() && !kept.contains(path)) kept << path;
    recentFiles_ = kept.mid(0, kRecentFiles);
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* action = recentFileActions_[std::size_t(i)];
        if (i < recentFiles_.size()) {
            const QString& path = recentFiles_[i];
            QString name = QFileInfo(path).fileName().replace('&', "&&");
            action->setText(i < 9 ? QString("&%1 %2").arg(i + 1).arg(name) : name);
            action->setData(path);
            action->setToolTip(path);
            action->setStatusTip(path);
            action->setVisible(true);
        } else {
            action->setVisible(false);
        }
    }
    recentMenu_->setEnabled(!recentFiles_.isEmpty());
}

void MainWindow::AddRecentFile(const QString& path) {
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    UpdateRecentFileActions();
}

void MainWindow::ShowOperationsHelp() {
    auto* dialog = findChild<QDialog*>("operationsHelp");
    if (dialog == nullptr) {
        dialog = new QDialog(this);
        dialog->setObjectName("operationsHelp");
        dialog->setWindowTitle("Vexo - Operations");
        auto* text = new QTextBrowser(dialog);
        text->setObjectName("operationsHelpText");
        text->setHtml(OperationsHelpHtml());
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::hide);
        auto* column = new QVBoxLayout(dialog);
        column->addWidget(text);
        column->addWidget(buttons);
        dialog->resize(760, 560);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::ShowAbout() { QMessageBox::about(this, "About Vexo", AboutText()); }

}  // namespace vexo
