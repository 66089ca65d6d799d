// The main window: the file browser on the left, the control strip on top and
// the picture in a scroll box. It forwards every input to the workbench and
// then mirrors the workbench's controls into its widgets.
#pragma once

#include <QWidget>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/workbench.h"
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

// Every widget carries an object name equal to its member's name without the
// trailing underscore ("operationList", "goButton", ...); the shortcut buttons
// are "shortcutButton0" to "shortcutButton17".
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    void AttachProgressDialog(ProgressDialog* dialog);
    // Shows `path` in the folder list and its matching files in the file list.
    void OpenDirectory(const QString& path);
    const QString& currentDirectory() const { return directory_; }

    Workbench& workbench() { return *workbench_; }
    QtScreen& screen() { return screen_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Set-up.
    void CreateTopStrip();
    void CreateOperationControls();
    void CreateReadouts();
    void CreateLeftPanel();
    void CreatePictureArea();
    void LayOutWindow();
    void ConnectHandlers();
    void CreateShortcutButtons();

    // File browser.
    void FillDriveList();
    void FillFolderList();
    void FillFileList();

    // Handlers, named for what the user did.
    void OnDriveChosen(int index);
    void OnFileFilterChosen(int index);
    void OnFolderOpened(QTreeWidgetItem* item);
    void OnFileClicked(QListWidgetItem* item);
    void OnGoClicked();
    void OnRefreshClicked();
    void OnOperationChosen(int index);
    void OnParameterTextChanged(const QString& text);
    void OnSegmentOffsetMoved(int position);
    void OnGoOnToggled(bool checked);
    void OnShortcutClicked(int index);
    void OnImageMouseMoved(QMouseEvent* event);
    void OnLeftPanelMousePressed();
    void OnLeftPanelMouseMoved(QMouseEvent* event);
    void OnLeftPanelMouseReleased();

    // After every handler: the controls show the workbench's state, and the
    // window closes if that was asked for while the handler ran.
    void AfterHandler();
    void UpdateControls();

    // The control strip on top.
    BevelPanel* topStrip_ = nullptr;
    QComboBox* driveList_ = nullptr;
    QComboBox* fileFilterList_ = nullptr;
    QComboBox* operationList_ = nullptr;
    QToolButton* goButton_ = nullptr;
    QCheckBox* goOnCheck_ = nullptr;
    QLabel* colourReadout_ = nullptr;  // also shows the crossing count
    QLabel* parameterLabel_ = nullptr;
    QLineEdit* parameterEdit_ = nullptr;
    QToolButton* refreshButton_ = nullptr;
    QSlider* segmentOffsetSlider_ = nullptr;  // shown only while segmentation is chosen
    QLabel* positionReadout_ = nullptr;
    QComboBox* logList_ = nullptr;
    std::vector<QPushButton*> shortcutButtons_;  // one per operation
    // The file browser on the left; its right border zone is the splitter.
    BevelPanel* leftPanel_ = nullptr;
    QTreeWidget* folderList_ = nullptr;
    QListWidget* fileList_ = nullptr;
    // The picture.
    QScrollArea* pictureScroll_ = nullptr;
    ImageView* imageView_ = nullptr;

    QtScreen screen_;
    std::unique_ptr<Workbench> workbench_;
    ProgressDialog* progressDialog_ = nullptr;
    QString directory_;
    QStringList filePatterns_;  // of the chosen file filter
    bool draggingSplitter_ = false;
};

}  // namespace vexo
