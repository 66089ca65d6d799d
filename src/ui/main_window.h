// The main window: the control strip on top, the file browser on the left and
// the picture in a scroll box, with a menu bar above and a status line below.
// It forwards every input to the workbench and then mirrors the workbench's
// controls into its widgets. Its member functions are defined by concern:
// main_window.cpp (set-up, the strip, the browser and their handlers),
// window_results.cpp (loads and operations reported in the status line),
// window_menus.cpp (actions, menus, help), picture_commands.cpp (open, drop,
// save, export, command line), window_grid.cpp (Find Grid, its drawing, the
// straightened grid and the exported cells), zoom.cpp (zoom, fit and
// panning), window_settings.cpp (remembered settings).
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/operations.h"
#include "app/step_record.h"
#include "app/workbench.h"
#include "ui/qt_screen.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QKeyEvent;
class QMouseEvent;
class QPushButton;
class QToolBar;
class QScrollArea;
class QSlider;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWheelEvent;

namespace vexo {

class BevelPanel;
class ImageView;
class ProgressDialog;
class StatusLine;

// The last command (an operation or Find Grid) as the grid export writes it.
struct ExportedStep {
    std::string picture;  // file name
    SourceSize source;
    StepRecord step;
};

// Every widget carries an object name equal to its member's name without the
// trailing underscore ("operationList", "goButton", ...); the shortcut buttons
// are "shortcutButton0" to "shortcutButton17"; actions are named likewise
// ("openAction", "operationAction16", ...).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    void AttachProgressDialog(ProgressDialog* dialog);
    // Shows `path` in the folder list and its matching files in the file list.
    void OpenDirectory(const QString& path);
    const QString& currentDirectory() const { return directory_; }

    // Opens what the user named: a JPEG file loads as a click on it in the
    // file list (the browser moves to its folder once it has loaded), a
    // folder opens in the browser. Anything else changes nothing and says why
    // in an error box and the status line. `source` names where it came from
    // in the message ("Cannot open PATH: ...").
    void OpenPath(const QString& path);
    // The picture or folder named on the command line; shown once the window is up.
    void OpenCommandLineArgument(const QString& argument);

    // The displayed picture exactly as shown at 100 %, as PNG or JPEG by the
    // name's extension. Empty on success, else what went wrong.
    QString SavePicture(const QString& path);
    // The last command's result: JSON, or CSV for a ".csv" name.
    QString ExportGrid(const QString& path);
    const std::optional<ExportedStep>& exportedStep() const { return exportedStep_; }
    // The cells of the grid shown, straightened from the file's own pixels,
    // as gray PNGs A1.png, B1.png, ... in `folder` (made if needed). Empty on
    // success, else what went wrong; `written` counts the cells written.
    QString ExportCells(const QString& folder, int* written = nullptr);

    // Find Grid on the picture as loaded: its lattice and names drawn over
    // the displayed picture, the result in the status line.
    void FindGrid();
    // The grid that Find Grid drew and that is still shown, in the displayed
    // picture's pixels; none once another operation, "R" or a load has
    // drawn over it.
    const FindGridRecord* shownGrid() const;
    // The straightened grid in the picture's place, or the picture again.
    void SetStraightenedView(bool on);
    bool straightenedView() const;

    // Zoom: how the displayed bitmap is drawn, from 1/16 to 16.
    double zoom() const;
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    void SetFitToWindow(bool fit);
    bool fitToWindow() const { return fitToWindow_; }

    // Settings remembered between runs: read at start, written on close.
    void RestoreSettings();
    void SaveSettings() const;
    const QStringList& recentFiles() const { return recentFiles_; }

    // The dialogs that ask for a file name; tests answer them directly.
    std::function<QString()> askOpenPath;
    std::function<QString(const QString& suggested)> askSavePicturePath;
    std::function<QString(const QString& suggested)> askExportPath;
    std::function<QString(const QString& suggested)> askCellsFolder;

    Workbench& workbench() { return *workbench_; }
    QtScreen& screen() { return screen_; }
    StatusLine& statusLine() { return *statusLine_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Set-up (main_window.cpp).
    void CreateTopStrip();
    void CreateOperationControls();
    void CreateReadouts();
    void CreateLeftPanel();
    void CreatePictureArea();
    void LayOutWindow();
    void ConnectHandlers();
    void CreateShortcutButtons();
    void SetToolTips();
    void SetMinimumSizes();

    // Actions and menus (window_menus.cpp).
    void CreateActions();
    void CreateMenus();
    void UpdateActions();
    void UpdateRecentFileActions();
    void AddRecentFile(const QString& path);
    void ShowOperationsHelp();
    void ShowAbout();

    // File browser.
    void FillDriveList();
    void FillFolderList();
    void FillFileList();
    void SelectFileItem(const QString& name);

    // Handlers, named for what the user did.
    void OnDriveChosen(int index);
    void OnFileFilterChosen(int index);
    void OnFolderOpened(QTreeWidgetItem* item);
    void OnFileClicked(QListWidgetItem* item);
    void OnGoClicked();
    void OnRefreshClicked();
    void OnOperationChosen(int index);
    void OnParameterTextChanged(const QString& text);
    void OnParameterReturnPressed();
    void OnSegmentOffsetMoved(int position);
    void OnGoOnToggled(bool checked);
    void OnShortcutClicked(int index);
    void OnOperationMenuChosen(int index);
    void OnImageMouseMoved(QMouseEvent* event);
    void OnImageWheel(QWheelEvent* event);
    void OnLeftPanelMousePressed();
    void OnLeftPanelMouseMoved(QMouseEvent* event);
    void OnLeftPanelMouseReleased();
    void OnOpenTriggered();
    void OnSavePictureTriggered();
    void OnExportGridTriggered();
    void OnExportCellsTriggered();
    void OnCancelRequested();
    void OnDragLeft();
    void WriteChosenFile(QString path, const char* extension, const char* verb, const char* done,
                         const std::function<QString(const QString&)>& write, const QString& note = {});

    // Loads `path` as a click in the file list does; true when it loaded.
    bool LoadFile(const QString& path);
    // Runs an operation (GO, a shortcut button, the Operations menu) and
    // reports its result in the status line.
    void RunTimed(const std::function<void()>& press, StepKind kind);
    // The step record of the current state, as the export writes it.
    ExportedStep StepNow(StepKind kind, std::size_t messagesBefore, int logBefore) const;

    // Find Grid's drawing (window_grid.cpp).
    // Notes that `record` is drawn over the displayed picture as it is now.
    void KeepGridShown(const FindGridRecord& record);
    // Forgets the shown grid once something has drawn over it.
    void ForgetGridIfDrawnOver();
    // Right after a load, when a grid was shown before it: the same picture
    // file loaded again at another scale gets that grid drawn again in its
    // new pixels; any other picture has no grid shown.
    void CarryGridOver();
    // The cell of the shown grid (photo or straightened) under a pixel of
    // what the picture control shows, or empty.
    QString CellUnder(QPoint pixel) const;
    // The straightened grid with its cell names, made when first shown.
    bool MakeStraightenedPicture();
    void ReportLoadFailure(const QString& path, const QString& boxText);
    void ReportLoaded();

    // Zoom and panning (zoom.cpp).
    void ApplyZoom(double zoom, std::optional<QPointF> anchor);
    // The next step of Zoom In (up) or Zoom Out from the current zoom.
    double ZoomStep(bool up) const;
    double FitZoom() const;
    void RefitIfFitted();
    // A drag with the middle button, or with the left one while Space is
    // held, moves the picture with the mouse. True when the event was the
    // drag's own.
    bool OnPanEvent(QObject* watched, QEvent* event);
    // Space held over the picture (or with the picture area focused) readies
    // the left button for panning; true when the key was taken for that.
    bool OnSpaceKey(QKeyEvent* event);
    void SetSpaceHeld(bool held);
    void UpdatePanCursor();

    // After every handler: the controls show the workbench's state, and the
    // window closes if that was asked for while the handler ran.
    void AfterHandler();
    void UpdateControls();
    void UpdatePictureStatus();

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
    StatusLine* statusLine_ = nullptr;

    // Actions.
    QAction* openAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    std::array<QAction*, 10> recentFileActions_{};
    QAction* savePictureAction_ = nullptr;
    QAction* exportGridAction_ = nullptr;
    QAction* exportCellsAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* zoomInAction_ = nullptr;
    QAction* zoomOutAction_ = nullptr;
    QAction* actualSizeAction_ = nullptr;
    QAction* fitToWindowAction_ = nullptr;
    QAction* fullSizeAction_ = nullptr;
    QAction* straightenedAction_ = nullptr;
    QAction* restorePictureAction_ = nullptr;
    QAction* findGridAction_ = nullptr;
    std::vector<QAction*> operationActions_;
    QAction* operationsHelpAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* cancelAction_ = nullptr;
    QToolBar* toolBar_ = nullptr;

    QtScreen screen_;
    std::unique_ptr<Workbench> workbench_;
    ProgressDialog* progressDialog_ = nullptr;
    QString directory_;
    QString pictureName_;  // file name of the loaded picture
    QString picturePath_;  // its absolute path
    QStringList filePatterns_;  // of the chosen file filter
    QStringList recentFiles_;
    bool draggingSplitter_ = false;
    bool fitToWindow_ = false;
    std::optional<ExportedStep> exportedStep_;
    // Find Grid's grid while its drawing is on the displayed picture: the
    // record in that picture's pixels, the display's change count right
    // after the drawing, and the file it was found in.
    struct ShownGrid {
        FindGridRecord record;
        uint64_t drawnAt = 0;
        QString file;
        qint64 fileSize = 0;
        QDateTime fileModified;
        // The straightened grid: the picture, and its lattice of squares
        // (made when first asked for).
        QImage straightened;
        Lattice straightenedLattice;
    };
    std::optional<ShownGrid> shownGrid_;
    QPoint photoScroll_;  // where the photo was scrolled when the straightened grid took its place
    // Panning.
    bool spaceHeld_ = false;
    QWidget* panWidget_ = nullptr;  // holds the mouse while a drag pans
    Qt::MouseButton panButton_ = Qt::NoButton;
    QPointF panStart_;  // global position where the drag began
    QPoint panScrollStart_;
    // A refused drag's message, and the status it replaced until the drag leaves.
    QString dragRefusal_;
    QString beforeDragRefusal_;
};

}  // namespace vexo
