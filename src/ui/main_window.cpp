#include "ui/main_window.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "app/operations.h"
#include "ui/bevel_panel.h"
#include "ui/desktop_font.h"
#include "ui/image_view.h"
#include "ui/progress_dialog.h"
#include "ui/segment_slider.h"
#include "ui/status_line.h"

namespace vexo {

namespace {

constexpr int kTopHeight = 89;
constexpr int kLeftWidth = 137;
constexpr int kLeftBorder = 5;
constexpr int kSplitZone = 5;  // the panel's right border zone that serves as the splitter
constexpr int kFolderListHeight = 106;
constexpr int kShortcutLeft = 141;  // the left edge of the operation list
constexpr int kShortcutPitch = 25;

// File-type filters: description and the masks it lists.
struct FileFilter {
    const char* description;
    const char* masks;
};
constexpr FileFilter kFileFilters[] = {
    {"JPEG files (*.jpg;*.jpeg)", "*.jpg;*.jpeg"},
    {"All files (*.*)", "*.*"},
};

// Narrows the label's font until its word-wrapped text fits the label.
void FitWrappedText(QLabel* label) {
    QFont font = label->font();
    for (int stretch = 100; stretch >= 70; stretch -= 5) {
        font.setStretch(stretch);
        const QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, label->width(), 1000),
                                                             Qt::TextWordWrap, label->text());
        if (needed.width() <= label->width() && needed.height() <= label->height()) break;
    }
    label->setFont(font);
}

// The open list of a drop-down shows whole item texts, however narrow the box.
void WidenPopup(QComboBox* box) {
    int widest = 0;
    const QFontMetrics metrics(box->font());
    for (int i = 0; i < box->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    box->view()->setMinimumWidth(widest + 3 * metrics.averageCharWidth() + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

// Hands the application's key events and drag leaves to `handler` before
// their receivers get them; an event stops there when `handler` returns true.
class ApplicationWatcher : public QObject {
public:
    using Handler = std::function<bool(QObject* receiver, QEvent* event)>;
    ApplicationWatcher(QObject* owner, Handler handler) : QObject(owner), handler_(std::move(handler)) {
        QApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::DragLeave: return handler_(watched, event);
            default: return QObject::eventFilter(watched, event);
        }
    }

private:
    Handler handler_;
};

// "*.*" means every file, also names without a dot.
QStringList MaskPatterns(const QString& masks) {
    QStringList patterns = masks.split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
        if (pattern == "*.*") pattern = "*";
    return patterns;
}

}  // namespace

MainWindow::MainWindow() {
    setWindowTitle("Vexo");
    setFont(DesktopFont(8));
    move(204, 110);
    resize(519, 342);
    CreateTopStrip();
    CreateLeftPanel();
    CreatePictureArea();
    LayOutWindow();
    statusLine_ = new StatusLine(this);
    statusLine_->setObjectName("statusLine");
    setStatusBar(statusLine_);
    screen_.Attach({this, imageView_, colourReadout_, positionReadout_, logList_});
    workbench_ = std::make_unique<Workbench>(screen_);
    CreateActions();
    CreateMenus();
    ConnectHandlers();
    OpenDirectory(QDir::currentPath());
    // Made last, the shortcut buttons come last in the strip's keyboard focus chain.
    CreateShortcutButtons();
    SetToolTips();
    SetMinimumSizes();
    setAcceptDrops(true);
    // Space readies hand panning wherever the keyboard is, as long as the
    // mouse is over the picture; a drag leaving the window may take a message.
    new ApplicationWatcher(this, [this](QObject* receiver, QEvent* event) {
        if (event->type() != QEvent::DragLeave) return OnSpaceKey(static_cast<QKeyEvent*>(event));
        if (receiver == static_cast<QObject*>(windowHandle())) OnDragLeft();
        return false;
    });
    // After a file dialog the keyboard comes back to the window, also where
    // no window manager hands it back.
    askOpenPath = [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open Picture", directory_,
                                                          "JPEG files (*.jpg *.jpeg *.JPG *.JPEG);;All files (*)");
        activateWindow();
        return path;
    };
    askSavePicturePath = [this](const QString& suggested) {
        const QString path = QFileDialog::getSaveFileName(this, "Save Picture As", suggested,
                                                          "PNG pictures (*.png);;JPEG pictures (*.jpg *.jpeg)");
        activateWindow();
        return path;
    };
    askExportPath = [this](const QString& suggested) {
        const QString path = QFileDialog::getSaveFileName(this, "Export Grid", suggested,
                                                          "JSON (*.json);;CSV, one row per cell (*.csv)");
        activateWindow();
        return path;
    };
    askCellsFolder = [this](const QString& suggested) {
        const QString path = QFileDialog::getExistingDirectory(this, "Export Cells: the folder for A1.png, B1.png, …",
                                                               suggested);
        activateWindow();
        return path;
    };
    UpdateControls();
    UpdateActions();
}

MainWindow::~MainWindow() = default;

void MainWindow::AttachProgressDialog(ProgressDialog* dialog) {
    progressDialog_ = dialog;
    screen_.AttachProgressDialog(dialog);
    connect(dialog, &ProgressDialog::cancelRequested, this, &MainWindow::OnCancelRequested);
}

// --- Set-up ---

void MainWindow::CreateTopStrip() {
    topStrip_ = new BevelPanel(this);
    topStrip_->setObjectName("topStrip");
    topStrip_->setFixedHeight(kTopHeight);

    driveList_ = new QComboBox(topStrip_);
    driveList_->setObjectName("driveList");
    driveList_->setGeometry(8, 5, 129, 19);
    FillDriveList();

    fileFilterList_ = new QComboBox(topStrip_);
    fileFilterList_->setObjectName("fileFilterList");
    fileFilterList_->setGeometry(8, 31, 129, 21);
    for (const FileFilter& filter : kFileFilters) fileFilterList_->addItem(filter.description, QString(filter.masks));
    filePatterns_ = MaskPatterns(kFileFilters[0].masks);
    WidenPopup(fileFilterList_);

    CreateOperationControls();
    CreateReadouts();
}

void MainWindow::CreateOperationControls() {
    operationList_ = new QComboBox(topStrip_);
    operationList_->setObjectName("operationList");
    operationList_->setGeometry(kShortcutLeft, 4, 161, 21);
    operationList_->setMaxVisibleItems(20);
    for (const OperationInfo& operation : OperationTable) operationList_->addItem(operation.label);
    WidenPopup(operationList_);

    goButton_ = new QToolButton(topStrip_);
    goButton_->setObjectName("goButton");
    goButton_->setText("&GO");
    goButton_->setGeometry(312, 4, 29, 21);
    goButton_->setFocusPolicy(Qt::NoFocus);
    goButton_->setEnabled(false);

    goOnCheck_ = new QCheckBox("Go on", topStrip_);
    goOnCheck_->setObjectName("goOnCheck");
    goOnCheck_->setGeometry(347, 6, 54, 17);

    parameterLabel_ = new QLabel("Treshold / Segment size:", topStrip_);
    parameterLabel_->setObjectName("parameterLabel");
    parameterLabel_->setGeometry(231, 28, 74, 26);
    parameterLabel_->setWordWrap(true);
    parameterLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FitWrappedText(parameterLabel_);

    parameterEdit_ = new QLineEdit("20", topStrip_);
    parameterEdit_->setObjectName("parameterEdit");
    parameterEdit_->setGeometry(307, 30, 33, 21);

    refreshButton_ = new QToolButton(topStrip_);
    refreshButton_->setObjectName("refreshButton");
    refreshButton_->setText("R");
    refreshButton_->setGeometry(344, 28, 23, 22);
    refreshButton_->setFocusPolicy(Qt::NoFocus);
    refreshButton_->setToolTip("Resets the picture");

    segmentOffsetSlider_ = new SegmentSlider(topStrip_);
    segmentOffsetSlider_->setObjectName("segmentOffsetSlider");
    segmentOffsetSlider_->setGeometry(368, 24, 113, 33);
    segmentOffsetSlider_->setRange(0, 10);
    segmentOffsetSlider_->setValue(0);
    segmentOffsetSlider_->hide();
}

void MainWindow::CreateReadouts() {
    colourReadout_ = new QLabel("255:255:255", topStrip_);
    colourReadout_->setObjectName("colourReadout");
    colourReadout_->move(144, 34);
    colourReadout_->adjustSize();

    positionReadout_ = new QLabel("199:200", topStrip_);
    positionReadout_->setObjectName("positionReadout");
    positionReadout_->move(8, 64);
    positionReadout_->adjustSize();

    logList_ = new QComboBox(topStrip_);
    logList_->setObjectName("logList");
    logList_->setEditable(true);
    logList_->setGeometry(56, 60, 81, 21);
    // A long readout stays readable where it reaches a neighbour.
    colourReadout_->raise();
    positionReadout_->raise();
}

void MainWindow::CreateLeftPanel() {
    leftPanel_ = new BevelPanel(this);
    leftPanel_->setObjectName("leftPanel");
    leftPanel_->SetBevels(kLeftBorder, 1);
    leftPanel_->setFixedWidth(kLeftWidth);
    leftPanel_->setMouseTracking(true);
    leftPanel_->installEventFilter(this);

    folderList_ = new QTreeWidget(leftPanel_);
    folderList_->setObjectName("folderList");
    folderList_->setFixedHeight(kFolderListHeight);
    folderList_->setHeaderHidden(true);
    folderList_->setRootIsDecorated(false);
    folderList_->setItemsExpandable(false);
    folderList_->setIndentation(10);
    folderList_->setStyleSheet("QTreeView::branch { image: none; border-image: none; }");
    fileList_ = new QListWidget(leftPanel_);
    fileList_->setObjectName("fileList");
    // The lists keep their own cursor, whatever the splitter zone showed last.
    folderList_->viewport()->setCursor(Qt::ArrowCursor);
    fileList_->viewport()->setCursor(Qt::ArrowCursor);
    folderList_->setCursor(Qt::ArrowCursor);
    fileList_->setCursor(Qt::ArrowCursor);

    auto* column = new QVBoxLayout(leftPanel_);
    const int inset = leftPanel_->contentInset();
    column->setContentsMargins(inset, inset, inset, inset);
    column->setSpacing(0);
    column->addWidget(folderList_);
    column->addWidget(fileList_, 1);
}

void MainWindow::CreatePictureArea() {
    pictureScroll_ = new QScrollArea(this);
    pictureScroll_->setObjectName("pictureScroll");
    pictureScroll_->setWidgetResizable(false);
    pictureScroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureScroll_->setFocusPolicy(Qt::StrongFocus);
    pictureScroll_->viewport()->installEventFilter(this);
    imageView_ = new ImageView;
    imageView_->setObjectName("imageView");
    imageView_->installEventFilter(this);
    pictureScroll_->setWidget(imageView_);
    connect(imageView_, &ImageView::bitmapSized, this, [this] {
        RefitIfFitted();
        UpdateActions();
    });
}

void MainWindow::LayOutWindow() {
    auto* central = new QWidget(this);
    central->setObjectName("centralArea");
    setCentralWidget(central);
    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(topStrip_);
    auto* below = new QHBoxLayout;
    below->setSpacing(0);
    below->addWidget(leftPanel_);
    below->addWidget(pictureScroll_, 1);
    rows->addLayout(below, 1);
}

void MainWindow::ConnectHandlers() {
    connect(driveList_, &QComboBox::activated, this, &MainWindow::OnDriveChosen);
    connect(fileFilterList_, &QComboBox::activated, this, &MainWindow::OnFileFilterChosen);
    connect(folderList_, &QTreeWidget::itemActivated, this, &MainWindow::OnFolderOpened);
    connect(fileList_, &QListWidget::itemClicked, this, &MainWindow::OnFileClicked);
    connect(fileList_, &QListWidget::itemActivated, this, &MainWindow::OnFileClicked);
    connect(goButton_, &QToolButton::clicked, this, &MainWindow::OnGoClicked);
    connect(refreshButton_, &QToolButton::clicked, this, &MainWindow::OnRefreshClicked);
    connect(operationList_, &QComboBox::activated, this, &MainWindow::OnOperationChosen);
    connect(parameterEdit_, &QLineEdit::textChanged, this, &MainWindow::OnParameterTextChanged);
    connect(parameterEdit_, &QLineEdit::returnPressed, this, &MainWindow::OnParameterReturnPressed);
    connect(segmentOffsetSlider_, &QSlider::valueChanged, this, &MainWindow::OnSegmentOffsetMoved);
    connect(goOnCheck_, &QCheckBox::toggled, this, &MainWindow::OnGoOnToggled);
}

void MainWindow::CreateShortcutButtons() {
    for (int i = 0; i < operationList_->count(); ++i) {
        auto* button = new QPushButton(QString::number(i), topStrip_);
        button->setObjectName(QString("shortcutButton%1").arg(i));
        button->setGeometry(kShortcutLeft + i * kShortcutPitch, 60, 20, 20);
        button->setToolTip(operationList_->itemText(i));
        connect(button, &QPushButton::clicked, this, [this, i] { OnShortcutClicked(i); });
        button->show();
        shortcutButtons_.push_back(button);
    }
}

// Every control says what it is for; an operation's button and list item
// also say what the operation does and what its parameter means.
void MainWindow::SetToolTips() {
    driveList_->setToolTip("Drives and mounted volumes: pick one to browse it");
    fileFilterList_->setToolTip("Which files the file list shows");
    operationList_->setToolTip("The operation that GO runs");
    goButton_->setToolTip("Runs the chosen operation on the picture (Alt+G, or Enter in the parameter box)");
    goOnCheck_->setToolTip("After each operation, choose the next one in the list");
    colourReadout_->setToolTip("Colour under the mouse (red:green:blue); after operation 6, how many line crossings "
                               "fall outside the picture");
    parameterLabel_->setToolTip("The number the chosen operation reads");
    parameterEdit_->setToolTip("The operation's parameter: a whole number, decimal or hexadecimal ($1F, 0x1F). "
                               "Enter runs the operation.");
    segmentOffsetSlider_->setToolTip("Segmentation: how much every gray band is lifted");
    positionReadout_->setToolTip("Picture position under the mouse (x : y)");
    logList_->setToolTip("Line spacings measured by the grid search");
    folderList_->setToolTip("Folders: double-click or press Enter to open one");
    fileList_->setToolTip("Pictures in the folder: click one to load it");
    leftPanel_->setToolTip("Drag the right edge to make the file browser wider or narrower");
    pictureScroll_->setToolTip({});
    for (int i = 0; i < operationList_->count(); ++i) {
        const OperationInfo* operation = FindOperation(i);
        if (operation == nullptr) continue;
        QString help = QString("<b>%1</b><br>%2").arg(QString(operation->label).toHtmlEscaped(),
                                                      QString(operation->help.description).toHtmlEscaped());
        if (operation->help.parameter != nullptr)
            help += "<br><i>Parameter:</i> " + QString(operation->help.parameter).toHtmlEscaped();
        else
            help += "<br><i>Parameter:</i> not used.";
        operationList_->setItemData(i, help, Qt::ToolTipRole);
    }
}

// The window never gets so small that controls overlap or leave it: the top
// strip keeps the room its controls and texts need at the current font, the
// file browser room for both lists.
void MainWindow::SetMinimumSizes() {
    int right = 0;
    int bottom = kTopHeight;
    for (QWidget* child : topStrip_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        right = std::max(right, child->geometry().right() + 1);
        bottom = std::max(bottom, child->geometry().bottom() + 4);
    }
    topStrip_->setMinimumWidth(right + 8);
    topStrip_->setFixedHeight(bottom);
    fileList_->setMinimumHeight(3 * fileList_->fontMetrics().height() + 2 * fileList_->frameWidth());
    pictureScroll_->setMinimumSize(64, 64);
    // The readouts fit the room left of their right-hand neighbour.
    positionReadout_->setMaximumWidth(logList_->x() - positionReadout_->x() - 2);
    colourReadout_->setMaximumWidth(parameterLabel_->x() - colourReadout_->x() - 2);
    setMinimumSize(minimumSizeHint());
}

// --- File browser ---

void MainWindow::FillDriveList() {
    QStringList roots{"/", QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
    roots.removeDuplicates();
    driveList_->clear();
    driveList_->addItems(roots);
    WidenPopup(driveList_);
}

void MainWindow::OpenDirectory(const QString& path) {
    const QDir dir(path);
    if (!dir.exists()) return;
    directory_ = dir.absolutePath();
    // The drive entry is the longest root that holds the folder.
    int drive = -1;
    for (int i = 0; i < driveList_->count(); ++i) {
        const QString root = driveList_->itemText(i);
        const bool holds = directory_ == root || directory_.startsWith(root.endsWith('/') ? root : root + '/');
        if (holds && (drive < 0 || root.size() > driveList_->itemText(drive).size())) drive = i;
    }
    driveList_->setCurrentIndex(drive);
    FillFolderList();
    FillFileList();
}

// The folder's ancestors from the root down to the folder itself, each one
// level deeper, then its sub-folders.
void MainWindow::FillFolderList() {
    folderList_->clear();
    QStringList chain;
    for (QDir dir(directory_);;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp()) break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* folder = nullptr;
    for (const QString& path : chain) {
        const QString name = QDir(path).isRoot() ? path : QDir(path).dirName();
        folder = folder == nullptr ? new QTreeWidgetItem(folderList_) : new QTreeWidgetItem(folder);
        folder->setText(0, name);
        folder->setIcon(0, open);
        folder->setData(0, Qt::UserRole, path);
    }
    const QDir current(directory_);
    for (const QString& sub : current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* item = new QTreeWidgetItem(folder, QStringList{sub});
        item->setIcon(0, closed);
        item->setData(0, Qt::UserRole, current.absoluteFilePath(sub));
    }
    folderList_->expandAll();
    folderList_->setCurrentItem(folder);
    folderList_->scrollToItem(folder);
}

void MainWindow::FillFileList() {
    fileList_->clear();
    const QDir dir(directory_);
    if (!dir.isReadable()) {
        statusLine_->SetResult("Cannot read the folder " + QDir::toNativeSeparators(directory_) +
                               ": permission denied");
        return;
    }
    fileList_->addItems(dir.entryList(filePatterns_, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void MainWindow::SelectFileItem(const QString& name) {
    const auto found = fileList_->findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) return;
    const QSignalBlocker block(fileList_);
    fileList_->setCurrentItem(found.first());
    fileList_->scrollToItem(found.first());
}

// --- Handlers ---

void MainWindow::closeEvent(QCloseEvent* event) {
    if (workbench_->busy()) {
        // The running operation stops after its current step; the window
        // closes when its handler has returned.
        workbench_->Close();
        event->ignore();
        return;
    }
    if (progressDialog_ != nullptr) progressDialog_->hide();
    SaveSettings();
    event->accept();
}

// A window that loses the keyboard never hears Space come back up.
void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) SetSpaceHeld(false);
    QMainWindow::changeEvent(event);
}

void MainWindow::OnDriveChosen(int index) {
    if (index >= 0) OpenDirectory(driveList_->itemText(index));
}

void MainWindow::OnFileFilterChosen(int index) {
    if (index < 0) return;
    filePatterns_ = MaskPatterns(fileFilterList_->itemData(index).toString());
    FillFileList();
}

void MainWindow::OnFolderOpened(QTreeWidgetItem* item) {
    if (item != nullptr) OpenDirectory(item->data(0, Qt::UserRole).toString());
}

void MainWindow::OnFileClicked(QListWidgetItem* item) {
    if (item == nullptr) return;
    LoadFile(QDir(directory_).absoluteFilePath(item->text()));
}

void MainWindow::OnGoClicked() {
    RunTimed([this] { workbench_->GoClick(); }, StepKind::Go);
}

void MainWindow::OnParameterReturnPressed() {
    if (goButton_->isEnabled()) OnGoClicked();
}

void MainWindow::OnRefreshClicked() {
    if (!workbench_->busy()) SetStraightenedView(false);
    workbench_->RefreshClick();
    ForgetGridIfDrawnOver();
    AfterHandler();
}

void MainWindow::OnOperationChosen(int index) {
    workbench_->ChooseOperation(index);
    AfterHandler();
}

void MainWindow::OnParameterTextChanged(const QString& text) {
    if (workbench_->busy())
        statusLine_->SetResult("The parameter cannot change while an operation runs (Esc stops the operation)");
    workbench_->SetParameterText(text.toStdString());
    AfterHandler();
}

void MainWindow::OnSegmentOffsetMoved(int position) {
    workbench_->SetTrackBarPosition(position);
    AfterHandler();
}

void MainWindow::OnGoOnToggled(bool checked) {
    workbench_->SetGoOn(checked);
    AfterHandler();
}

void MainWindow::OnShortcutClicked(int index) {
    // The list shows the chosen item while the operation runs, not only after.
    if (!workbench_->busy() && !workbench_->terminated() && workbench_->image().loaded()) {
        const QSignalBlocker block(operationList_);
        operationList_->setCurrentIndex(index);
    }
    RunTimed([this, index] { workbench_->ShortcutClick(index); }, StepKind::Shortcut);
}

// As picking the item in the operation list and pressing GO: the operation's
// default parameter goes into the box first (the numbered buttons leave it).
void MainWindow::OnOperationMenuChosen(int index) {
    if (workbench_->busy()) return;
    workbench_->ChooseOperation(index);
    AfterHandler();
    RunTimed([this] { workbench_->GoClick(); }, StepKind::Op);
}

void MainWindow::OnCancelRequested() { workbench_->Cancel(); }

// The readouts of the strip follow the mouse over the displayed picture
// only; the status line names the pixel of what is shown, and the cell of
// the found grid it lies in.
void MainWindow::OnImageMouseMoved(QMouseEvent* event) {
    const QPoint at = imageView_->BitmapPoint(event->position());
    if (imageView_->showsBitmap()) workbench_->ImageMouseMove(at.x(), at.y());
    const QImage& shown = imageView_->shown();
    if (workbench_->image().loaded() && shown.valid(at)) {
        const QColor c = shown.pixelColor(at);
        statusLine_->SetPixel(
            PixelText(at.x(), at.y(), Rgb{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())}, CellUnder(at)));
    } else {
        statusLine_->SetPixel({});
    }
    AfterHandler();
}

// The splitter: the panel's right border zone. The width follows the mouse
// but keeps the zone on the window, so the panel can always be dragged back.
void MainWindow::OnLeftPanelMouseMoved(QMouseEvent* event) {
    const int x = qRound(event->position().x());
    if (draggingSplitter_) {
        leftPanel_->setFixedWidth(std::clamp(x, kSplitZone, std::max(kSplitZone, width() - kSplitZone)));
        return;
    }
    if (x >= leftPanel_->width() - kSplitZone)
        leftPanel_->setCursor(Qt::SplitHCursor);
    else
        leftPanel_->unsetCursor();
}

void MainWindow::OnLeftPanelMousePressed() {
    if (leftPanel_->testAttribute(Qt::WA_SetCursor) && leftPanel_->cursor().shape() == Qt::SplitHCursor) {
        draggingSplitter_ = true;
        leftPanel_->grabMouse();
    }
}

void MainWindow::OnLeftPanelMouseReleased() {
    draggingSplitter_ = false;
    leftPanel_->releaseMouse();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (pictureScroll_ == nullptr || imageView_ == nullptr) return QMainWindow::eventFilter(watched, event);
    const bool onPicture = watched == imageView_ || watched == pictureScroll_->viewport();
    if (onPicture && OnPanEvent(watched, event)) return true;
    if (watched == imageView_ && event->type() == QEvent::MouseMove) {
        OnImageMouseMoved(static_cast<QMouseEvent*>(event));
    } else if (watched == imageView_ && event->type() == QEvent::Leave) {
        statusLine_->SetPixel({});
    } else if ((watched == imageView_ || watched == pictureScroll_->viewport()) && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            OnImageWheel(wheel);
            return true;
        }
    } else if (watched == pictureScroll_->viewport() && event->type() == QEvent::Resize) {
        RefitIfFitted();
    } else if (watched == leftPanel_) {
        switch (event->type()) {
            case QEvent::MouseButtonPress: OnLeftPanelMousePressed(); break;
            case QEvent::MouseMove: OnLeftPanelMouseMoved(static_cast<QMouseEvent*>(event)); break;
            case QEvent::MouseButtonRelease: OnLeftPanelMouseReleased(); break;
            default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Mirroring the workbench ---

void MainWindow::AfterHandler() {
    UpdateControls();
    if (workbench_->busy()) return;
    if (workbench_->closeRequested() || screen_.closeRequested()) close();
}

void MainWindow::UpdateControls() {
    const Controls& controls = workbench_->controls();
    const bool busy = workbench_->busy();
    {
        const QSignalBlocker block(operationList_);
        operationList_->setCurrentIndex(controls.selectedOperation);
    }
    const QString parameter = QString::fromStdString(controls.parameterText);
    if (parameterEdit_->text() != parameter) {
        const QSignalBlocker block(parameterEdit_);
        parameterEdit_->setText(parameter);
    }
    goButton_->setEnabled(controls.goEnabled);
    // While an operation runs, "Go on" and the track bar stay as the user
    // left them: both count for the running operation.
    if (!busy) {
        {
            const QSignalBlocker block(segmentOffsetSlider_);
            segmentOffsetSlider_->setRange(0, controls.trackBar.maximum);
            segmentOffsetSlider_->setValue(controls.trackBar.position);
        }
        const QSignalBlocker block(goOnCheck_);
        goOnCheck_->setChecked(controls.goOn);
    }
    segmentOffsetSlider_->setVisible(controls.trackBar.visible);
}

}  // namespace vexo
