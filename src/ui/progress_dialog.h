// The progress dialog shown, without blocking, while an operation runs, with
// a Cancel button (and Esc) that asks the operation to stop.
#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;

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

signals:
    // Cancel was pressed, or Esc while the dialog had the keyboard.
    void cancelRequested();

protected:
    void reject() override { emit cancelRequested(); }

private:
    void CreateControls();
    void CentreOverMainWindow();

    BevelPanel* messagePanel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace vexo
