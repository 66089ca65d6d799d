// The progress dialog shown, without blocking, while an operation runs.
#pragma once

#include <QDialog>

class QProgressBar;

namespace vexo {

class BevelPanel;

class TPleaseWait : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` is the window the dialog is centred over; it also owns it.
    explicit TPleaseWait(QWidget* mainWindow);

    void SetProgress(int position, int maximum);
    // Shows the dialog centred over the main window, or hides it.
    void SetShown(bool shown);

    BevelPanel* Panel1 = nullptr;
    QProgressBar* PB = nullptr;

private:
    void CreateControls();
    void CentreOverMainWindow();
};

}  // namespace vexo
