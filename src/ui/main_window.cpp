#include "ui/main_window.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
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

#include "core/operations.h"
#include "ui/bevel_panel.h"
#include "ui/desktop_font.h"
#include "ui/image_view.h"
#include "ui/progress_dialog.h"

namespace vexo {

namespace {

constexpr int kTopHeight = 89;
constexpr int kLeftWidth = 137;
constexpr int kLeftBorder = 5;
constexpr int kSplitZone = 5;  // the panel's right border zone that serves as the splitter
constexpr int kDirectoryListHeight = 106;
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

// "*.*" means every file, also names without a dot.
QStringList MaskPatterns(const QString& masks) {
    QStringList patterns = masks.split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
        if (pattern == "*.*") pattern = "*";
    return patterns;
}

}  // namespace

TMain::TMain() {
    setWindowTitle("Vexo");
    setFont(DesktopFont(8));
    move(204, 110);
    resize(519, 342);
    CreateTopStrip();
    CreateLeftPanel();
    CreatePictureArea();
    LayOutWindow();
    screen_.Attach({this, Image, L, LPos, CB});
    workbench_ = std::make_unique<Workbench>(screen_);
    ConnectHandlers();
    FormCreate();
}

TMain::~TMain() = default;

void TMain::AttachProgressDialog(ProgressDialog* dialog) {
    progressDialog_ = dialog;
    screen_.AttachProgressDialog(dialog);
}

// --- Set-up ---

void TMain::CreateTopStrip() {
    PTop = new BevelPanel(this);
    PTop->setObjectName("PTop");
    PTop->setFixedHeight(kTopHeight);

    DCB = new QComboBox(PTop);
    DCB->setObjectName("DCB");
    DCB->setGeometry(8, 5, 129, 19);
    FillDriveList();

    FCB = new QComboBox(PTop);
    FCB->setObjectName("FCB");
    FCB->setGeometry(8, 31, 129, 21);
    for (const FileFilter& filter : kFileFilters) FCB->addItem(filter.description, QString(filter.masks));
    fileMask_ = MaskPatterns(kFileFilters[0].masks);
    WidenPopup(FCB);

    CreateOperationControls();
    CreateReadouts();
}

void TMain::CreateOperationControls() {
    CBAction = new QComboBox(PTop);
    CBAction->setObjectName("CBAction");
    CBAction->setGeometry(kShortcutLeft, 4, 161, 21);
    CBAction->setMaxVisibleItems(20);
    for (const OperationInfo& operation : OperationTable) CBAction->addItem(operation.label);
    WidenPopup(CBAction);

    SBAction = new QToolButton(PTop);
    SBAction->setObjectName("SBAction");
    SBAction->setText("&GO");
    SBAction->setGeometry(312, 4, 29, 21);
    SBAction->setFocusPolicy(Qt::NoFocus);
    SBAction->setEnabled(false);

    CHBGoOn = new QCheckBox("Go on", PTop);
    CHBGoOn->setObjectName("CHBGoOn");
    CHBGoOn->setGeometry(347, 6, 54, 17);

    LPrah = new QLabel("Treshold / Segment size:", PTop);
    LPrah->setObjectName("LPrah");
    LPrah->setGeometry(231, 28, 74, 26);
    LPrah->setWordWrap(true);
    LPrah->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FitWrappedText(LPrah);

    ETH = new QLineEdit("20", PTop);
    ETH->setObjectName("ETH");
    ETH->setGeometry(307, 30, 33, 21);

    SBRefresh = new QToolButton(PTop);
    SBRefresh->setObjectName("SBRefresh");
    SBRefresh->setText("R");
    SBRefresh->setGeometry(344, 28, 23, 22);
    SBRefresh->setFocusPolicy(Qt::NoFocus);
    SBRefresh->setToolTip("Resets the picture");

    TB = new QSlider(Qt::Horizontal, PTop);
    TB->setObjectName("TB");
    TB->setGeometry(368, 24, 113, 33);
    TB->setTickPosition(QSlider::TicksBelow);
    TB->setTickInterval(1);
    TB->setRange(0, 10);
    TB->setValue(0);
    TB->hide();
}

void TMain::CreateReadouts() {
    L = new QLabel("255:255:255", PTop);
    L->setObjectName("L");
    L->move(144, 34);
    L->adjustSize();

    LPos = new QLabel("199:200", PTop);
    LPos->setObjectName("LPos");
    LPos->move(8, 64);
    LPos->adjustSize();

    CB = new QComboBox(PTop);
    CB->setObjectName("CB");
    CB->setEditable(true);
    CB->setGeometry(56, 60, 81, 21);
    // A long readout stays readable where it reaches a neighbour.
    L->raise();
    LPos->raise();
}

void TMain::CreateLeftPanel() {
    PLeft = new BevelPanel(this);
    PLeft->setObjectName("PLeft");
    PLeft->SetBevels(kLeftBorder, 1);
    PLeft->setFixedWidth(kLeftWidth);
    PLeft->setMouseTracking(true);
    PLeft->installEventFilter(this);

    DLB = new QTreeWidget(PLeft);
    DLB->setObjectName("DLB");
    DLB->setFixedHeight(kDirectoryListHeight);
    DLB->setHeaderHidden(true);
    DLB->setRootIsDecorated(false);
    DLB->setItemsExpandable(false);
    DLB->setIndentation(10);
    DLB->setStyleSheet("QTreeView::branch { image: none; border-image: none; }");
    FLB = new QListWidget(PLeft);
    FLB->setObjectName("FLB");

    auto* column = new QVBoxLayout(PLeft);
    const int inset = PLeft->contentInset();
    column->setContentsMargins(inset, inset, inset, inset);
    column->setSpacing(0);
    column->addWidget(DLB);
    column->addWidget(FLB, 1);
}

void TMain::CreatePictureArea() {
    SB = new QScrollArea(this);
    SB->setObjectName("SB");
    SB->setWidgetResizable(false);
    SB->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image = new ImageView;
    Image->setObjectName("Image");
    Image->installEventFilter(this);
    SB->setWidget(Image);
}

void TMain::LayOutWindow() {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(PTop);
    auto* below = new QHBoxLayout;
    below->setSpacing(0);
    below->addWidget(PLeft);
    below->addWidget(SB, 1);
    rows->addLayout(below, 1);
}

void TMain::ConnectHandlers() {
    connect(DCB, &QComboBox::activated, this, &TMain::DCBChange);
    connect(FCB, &QComboBox::activated, this, &TMain::FCBChange);
    connect(DLB, &QTreeWidget::itemActivated, this, &TMain::DLBOpen);
    connect(FLB, &QListWidget::itemClicked, this, &TMain::FLBClick);
    connect(FLB, &QListWidget::itemActivated, this, &TMain::FLBClick);
    connect(SBAction, &QToolButton::clicked, this, &TMain::SBActionClick);
    connect(SBRefresh, &QToolButton::clicked, this, &TMain::SBRefreshClick);
    connect(CBAction, &QComboBox::activated, this, &TMain::CBActionChange);
    connect(ETH, &QLineEdit::textChanged, this, &TMain::ETHChange);
    connect(TB, &QSlider::valueChanged, this, &TMain::TBChange);
    connect(CHBGoOn, &QCheckBox::toggled, this, &TMain::CHBGoOnClick);
}

void TMain::CreateShortcutButtons() {
    for (int i = 0; i < CBAction->count(); ++i) {
        auto* button = new QPushButton(QString::number(i), PTop);
        button->setObjectName(QString("shortcutButton%1").arg(i));
        button->setGeometry(kShortcutLeft + i * kShortcutPitch, 60, 20, 20);
        button->setToolTip(CBAction->itemText(i));
        connect(button, &QPushButton::clicked, this, [this, i] { ShortcutClick(i); });
        button->show();
        shortcutButtons.push_back(button);
    }
}

// --- File browser ---

void TMain::FillDriveList() {
    QStringList roots{"/", QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
    roots.removeDuplicates();
    DCB->clear();
    DCB->addItems(roots);
    WidenPopup(DCB);
}

void TMain::OpenDirectory(const QString& path) {
    const QDir dir(path);
    if (!dir.exists()) return;
    directory_ = dir.absolutePath();
    // The drive entry is the longest root that holds the folder.
    int drive = -1;
    for (int i = 0; i < DCB->count(); ++i) {
        const QString root = DCB->itemText(i);
        const bool holds = directory_ == root || directory_.startsWith(root.endsWith('/') ? root : root + '/');
        if (holds && (drive < 0 || root.size() > DCB->itemText(drive).size())) drive = i;
    }
    DCB->setCurrentIndex(drive);
    FillDirectoryList();
    FillFileList();
}

// The folder's ancestors from the root down to the folder itself, each one
// level deeper, then its sub-folders.
void TMain::FillDirectoryList() {
    DLB->clear();
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
        folder = folder == nullptr ? new QTreeWidgetItem(DLB) : new QTreeWidgetItem(folder);
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
    DLB->expandAll();
    DLB->setCurrentItem(folder);
    DLB->scrollToItem(folder);
}

void TMain::FillFileList() {
    FLB->clear();
    const QDir dir(directory_);
    FLB->addItems(dir.entryList(fileMask_, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

// --- Handlers ---

void TMain::FormCreate() {
    OpenDirectory(QDir::currentPath());
    dragging_ = false;
    CreateShortcutButtons();
    MirrorControls();
}

void TMain::FormClose() {
    if (progressDialog_ != nullptr) progressDialog_->hide();
}

void TMain::closeEvent(QCloseEvent* event) {
    if (workbench_->busy()) {
        // The running operation stops after its current step; the window
        // closes when its handler has returned.
        workbench_->Close();
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMain::DCBChange(int index) {
    if (index >= 0) OpenDirectory(DCB->itemText(index));
}

void TMain::FCBChange(int index) {
    if (index < 0) return;
    fileMask_ = MaskPatterns(FCB->itemData(index).toString());
    FillFileList();
}

void TMain::DLBOpen(QTreeWidgetItem* item) {
    if (item != nullptr) OpenDirectory(item->data(0, Qt::UserRole).toString());
}

void TMain::FLBClick(QListWidgetItem* item) {
    if (item == nullptr) return;
    workbench_->FileClick(QDir(directory_).absoluteFilePath(item->text()).toStdString());
    AfterHandler();
}

void TMain::SBActionClick() {
    workbench_->GoClick();
    AfterHandler();
}

void TMain::SBRefreshClick() {
    workbench_->RefreshClick();
    AfterHandler();
}

void TMain::CBActionChange(int index) {
    workbench_->ChooseOperation(index);
    AfterHandler();
}

void TMain::ETHChange(const QString& text) {
    workbench_->SetParameterText(text.toStdString());
    AfterHandler();
}

void TMain::TBChange(int position) {
    workbench_->SetTrackBarPosition(position);
    AfterHandler();
}

void TMain::CHBGoOnClick(bool checked) {
    workbench_->SetGoOn(checked);
    AfterHandler();
}

void TMain::ShortcutClick(int index) {
    workbench_->ShortcutClick(index);
    AfterHandler();
}

void TMain::ImageMouseMove(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    workbench_->ImageMouseMove(at.x(), at.y());
    AfterHandler();
}

// The splitter: the panel's right border zone. The width follows the mouse
// but keeps the zone on the window, so the panel can always be dragged back.
void TMain::PLeftMouseMove(QMouseEvent* event) {
    const int x = qRound(event->position().x());
    if (dragging_) {
        PLeft->setFixedWidth(std::clamp(x, kSplitZone, std::max(kSplitZone, width() - kSplitZone)));
        return;
    }
    if (x >= PLeft->width() - kSplitZone)
        PLeft->setCursor(Qt::SplitHCursor);
    else
        PLeft->unsetCursor();
}

void TMain::PLeftMouseDown() {
    if (PLeft->testAttribute(Qt::WA_SetCursor) && PLeft->cursor().shape() == Qt::SplitHCursor) {
        dragging_ = true;
        PLeft->grabMouse();
    }
}

void TMain::PLeftMouseUp() {
    dragging_ = false;
    PLeft->releaseMouse();
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image && event->type() == QEvent::MouseMove) {
        ImageMouseMove(static_cast<QMouseEvent*>(event));
    } else if (watched == PLeft) {
        switch (event->type()) {
            case QEvent::MouseButtonPress: PLeftMouseDown(); break;
            case QEvent::MouseMove: PLeftMouseMove(static_cast<QMouseEvent*>(event)); break;
            case QEvent::MouseButtonRelease: PLeftMouseUp(); break;
            default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- Mirroring the workbench ---

void TMain::AfterHandler() {
    MirrorControls();
    if (workbench_->busy()) return;
    if (workbench_->closeRequested() || screen_.closeRequested()) close();
}

void TMain::MirrorControls() {
    const Controls& controls = workbench_->controls();
    {
        const QSignalBlocker block(CBAction);
        CBAction->setCurrentIndex(controls.selectedOperation);
    }
    const QString parameter = QString::fromStdString(controls.parameterText);
    if (ETH->text() != parameter) {
        const QSignalBlocker block(ETH);
        ETH->setText(parameter);
    }
    SBAction->setEnabled(controls.goEnabled);
    {
        const QSignalBlocker block(TB);
        TB->setRange(0, controls.trackBar.maximum);
        TB->setValue(controls.trackBar.position);
    }
    TB->setVisible(controls.trackBar.visible);
    {
        const QSignalBlocker block(CHBGoOn);
        CHBGoOn->setChecked(controls.goOn);
    }
}

}  // namespace vexo
