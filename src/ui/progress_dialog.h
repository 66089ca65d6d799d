// The progress dialog shown, without blocking, while an operation runs.
#pragma once

#include <QDialog>

class QProgressBar;

namespace vexo {

class BevelPanel;

class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` is the window the dialog is centred over; it also owns it.
    explicit ProgressDialog(QWidget* mainWindow);

    void SetProgress(int position, int maximum);
    // Shows the dialog centred over the main window, or hides it.
    void SetShown(bool shown);

private:
    void CreateControls();
    void CentreOverMainWindow();

    BevelPanel* messagePanel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
};

}  // namespace vexo
