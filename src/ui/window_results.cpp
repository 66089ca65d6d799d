// What the window reports around loads and operations: the status line's
// picture and result, the recent files, and the record of the last operation
// that Export Grid writes.
#include <QComboBox>
#include <QElapsedTimer>
#include <algorithm>
#include <QFileInfo>
#include <QLabel>
#include <QAction>

#include "ui/main_window.h"
#include "ui/status_line.h"

namespace vexo {

bool MainWindow::LoadFile(const QString& path) {
    if (workbench_->busy()) return false;  // ignored, as every input during an operation
    SetStraightenedView(false);
    const bool gridWasShown = shownGrid() != nullptr;
    const JpegDecoder* before = workbench_->image().decoder.get();
    // The status line says why before the error box opens, so that both
    // show together.
    screen_.beforeBox = [this, &path](const RecordedMessage& box) {
        ReportLoadFailure(path, QString::fromStdString(box.text));
    };
    workbench_->FileClick(path.toStdString());
    screen_.beforeBox = nullptr;
    const bool loaded = workbench_->image().decoder.get() != before && workbench_->image().loaded();
    if (loaded) {
        pictureName_ = QString::fromStdString(FileNameOf(path.toStdString()));
        picturePath_ = QFileInfo(path).absoluteFilePath();
        exportedStep_.reset();
        AddRecentFile(picturePath_);
        // The pixel under the mouse was one of the old picture.
        statusLine_->SetPixel({});
        ReportLoaded();
        if (gridWasShown)
            CarryGridOver();
        else
            shownGrid_.reset();
    }
    AfterHandler();
    UpdateActions();
    return loaded;
}

void MainWindow::ReportLoaded() {
    const ImageState& image = workbench_->image();
    UpdatePictureStatus();
    QString text = "Loaded " + pictureName_;
    if (image.decoder) {
        const QString warning = DecoderWarningText(image.decoder->WarningCount(), image.decoder->FirstWarningCode());
        if (!warning.isEmpty()) text += " (" + warning + ")";
    }
    statusLine_->SetResult(text);
}

void MainWindow::ReportLoadFailure(const QString& path, const QString& boxText) {
    statusLine_->SetResult("Cannot open " + QFileInfo(path).fileName() + ": " + LoadFailureReason(path, boxText));
}

void MainWindow::UpdatePictureStatus() { statusLine_->SetPicture(PictureText(pictureName_, workbench_->image())); }

void MainWindow::RunTimed(const std::function<void()>& press, StepKind kind) {
    if (workbench_->busy()) {
        press();  // ignored by the workbench; the controls are mirrored back
        AfterHandler();
        return;
    }
    const uint64_t sequence = workbench_->lastOperation().sequence;
    const std::size_t messages = screen_.shownMessages().size();
    const int logBefore = logList_->count();
    // The operation shows its work on the picture.
    SetStraightenedView(false);
    cancelAction_->setEnabled(true);
    // The time the operation took, without the time its message boxes stayed open.
    const double boxSecondsBefore = screen_.boxSeconds();
    QElapsedTimer timer;
    timer.start();
    press();
    const double seconds =
        std::max(0.0, double(timer.nsecsElapsed()) / 1e9 - (screen_.boxSeconds() - boxSecondsBefore));
    cancelAction_->setEnabled(false);
    const OperationRecord& record = workbench_->lastOperation();
    if (record.sequence != sequence) {
        ExportedStep exported = StepNow(kind, messages, logBefore);
        TakeOperation(exported.step, record);
        statusLine_->SetResult(ResultText(record, exported.step.label, seconds));
        exportedStep_ = std::move(exported);
    }
    ForgetGridIfDrawnOver();
    AfterHandler();
    UpdateActions();
}

// What the window shows now, with the messages and log lines since the
// step began.
ExportedStep MainWindow::StepNow(StepKind kind, std::size_t messagesBefore, int logBefore) const {
    ExportedStep exported;
    const ImageState& image = workbench_->image();
    exported.picture = pictureName_.toStdString();
    exported.source = image.source;
    StepRecord& step = exported.step;
    step.kind = kind;
    step.parameterText = workbench_->controls().parameterText;
    const auto& shown = screen_.shownMessages();
    step.messages.assign(shown.begin() + std::ptrdiff_t(std::min(messagesBefore, shown.size())), shown.end());
    step.caption = windowTitle().toStdString();
    step.label = colourReadout_->text().toStdString();
    step.activePlane = image.activePlane;
    for (int i = logList_->count() < logBefore ? 0 : logBefore; i < logList_->count(); ++i)
        step.logAdded.push_back(logList_->itemText(i).toStdString());
    step.progressMaximum = workbench_->progress().maximum();
    step.progressPosition = workbench_->progress().position();
    return exported;
}

}  // namespace vexo
