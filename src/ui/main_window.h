// The main window: the file browser on the left, the control strip on top and
// the picture in a scroll box. It forwards every input to the workbench and
// then mirrors the workbench's controls into its widgets.
#pragma once

#include <QWidget>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "core/workbench.h"
#include "ui/qt_screen.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class QMouseEvent;
class QPushButton;
class QScrollArea;
class QSlider;
class QToolButton;

namespace vexo {

class BevelPanel;
class ImageView;
class ProgressDialog;

class TMain : public QWidget {
    Q_OBJECT
public:
    TMain();
    ~TMain() override;

    void AttachProgressDialog(ProgressDialog* dialog);
    // Shows `path` in the directory list and its matching files in the file list.
    void OpenDirectory(const QString& path);
    const QString& currentDirectory() const { return directory_; }

    Workbench& workbench() { return *workbench_; }
    QtScreen& screen() { return screen_; }

    // Controls, named as the user knows them.
    BevelPanel* PTop = nullptr;
    QComboBox* DCB = nullptr;
    QComboBox* FCB = nullptr;
    QComboBox* CBAction = nullptr;
    QToolButton* SBAction = nullptr;
    QCheckBox* CHBGoOn = nullptr;
    QLabel* L = nullptr;
    QLabel* LPrah = nullptr;
    QLineEdit* ETH = nullptr;
    QToolButton* SBRefresh = nullptr;
    QSlider* TB = nullptr;
    QLabel* LPos = nullptr;
    QComboBox* CB = nullptr;
    std::vector<QPushButton*> shortcutButtons;
    BevelPanel* PLeft = nullptr;
    QTreeWidget* DLB = nullptr;
    QListWidget* FLB = nullptr;
    QScrollArea* SB = nullptr;
    ImageView* Image = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateTopStrip();
    void CreateOperationControls();
    void CreateReadouts();
    void CreateLeftPanel();
    void CreatePictureArea();
    void LayOutWindow();
    void ConnectHandlers();
    void FillDriveList();
    void FillDirectoryList();
    void FillFileList();
    void CreateShortcutButtons();

    void FormCreate();
    void FormClose();
    void DCBChange(int index);
    void FCBChange(int index);
    void DLBOpen(QTreeWidgetItem* item);
    void FLBClick(QListWidgetItem* item);
    void SBActionClick();
    void SBRefreshClick();
    void CBActionChange(int index);
    void ETHChange(const QString& text);
    void TBChange(int position);
    void CHBGoOnClick(bool checked);
    void ShortcutClick(int index);
    void ImageMouseMove(QMouseEvent* event);
    void PLeftMouseDown();
    void PLeftMouseMove(QMouseEvent* event);
    void PLeftMouseUp();

    // After every handler: the controls show the workbench's state, and the
    // window closes if that was asked for while the handler ran.
    void AfterHandler();
    void MirrorControls();

    QtScreen screen_;
    std::unique_ptr<Workbench> workbench_;
    ProgressDialog* progressDialog_ = nullptr;
    QString directory_;
    QStringList fileMask_;
    bool dragging_ = false;
};

}  // namespace vexo
