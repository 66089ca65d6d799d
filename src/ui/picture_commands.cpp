// Getting pictures in and results out: the Open dialog, recent files, drag
// and drop, the command line, Save Picture As and Export Grid, and the one
// way every output file is written. A picture always loads as a click in the
// file list would load it.
#include <QBuffer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMimeData>
#include <QSaveFile>
#include <QUrl>

#include "app/grid_export.h"
#include "app/png_encoding.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace vexo {

namespace {

// A JPEG file by its name, as the file list shows them, or by its first bytes.
bool LooksLikeJpeg(const QFileInfo& info) {
    const QString suffix = info.suffix().toLower();
    if (suffix == "jpg" || suffix == "jpeg") return true;
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(3);
    return head.size() == 3 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8 && uchar(head[2]) == 0xFF;
}

// What a drop brings: one local file or folder, or why it cannot be opened.
struct DropTarget {
    QString path;
    QString refusal;
};

DropTarget ReadDrop(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {{}, "Only JPEG files and folders can be dropped here"};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1) return {{}, "Drop one picture or one folder at a time"};
    if (!urls.first().isLocalFile()) return {{}, "Only files on this computer can be opened"};
    const QFileInfo info(urls.first().toLocalFile());
    if (info.isDir()) return {info.absoluteFilePath(), {}};
    if (!info.exists()) return {{}, "Cannot open " + info.fileName() + ": no such file"};
    if (!info.isFile() || !LooksLikeJpeg(info))
        return {{}, "Cannot open " + info.fileName() + ": not a JPEG file (only JPEG files and folders can be dropped)"};
    return {info.absoluteFilePath(), {}};
}

QString Quoted(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

// Nothing is ever lost by writing: a new or regular file is written under a
// temporary name beside it and takes its name only when whole, so a failed
// write leaves the old file as it was (and a file the user may not write
// stays untouched); a device or a pipe is written directly and never removed
// or replaced; a folder is refused. Empty on success, else why not.
QString WriteWhole(const QString& path, const char* data, qint64 size) {
    const QFileInfo target(path);
    if (target.isDir()) return "is a folder";
    if (target.exists() && !target.isFile()) {
        QFile direct(path);
        if (!direct.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return direct.errorString();
        if (direct.write(data, size) != size) return direct.errorString();
        return {};
    }
    // A link is followed: the file it leads to gets the new contents.
    QSaveFile file(target.isSymLink() && target.exists() ? target.canonicalFilePath() : path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    if (file.write(data, size) != size) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

void MainWindow::OpenPath(const QString& path) {
    if (workbench_->busy()) return;
    const QFileInfo info(path);
    if (info.isDir()) {
        OpenDirectory(info.absoluteFilePath());
        statusLine_->SetResult("Folder " + Quoted(info.absoluteFilePath()));
        return;
    }
    if (!LoadFile(info.absoluteFilePath())) return;
    OpenDirectory(info.absolutePath());
    SelectFileItem(info.fileName());
}

void MainWindow::OpenCommandLineArgument(const QString& argument) {
    OpenPath(QFileInfo(QDir::current(), argument).absoluteFilePath());
}

void MainWindow::OnOpenTriggered() {
    const QString path = askOpenPath ? askOpenPath() : QString();
    if (!path.isEmpty()) OpenPath(path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const DropTarget target = ReadDrop(event->mimeData());
    if (target.refusal.isEmpty() && !workbench_->busy()) {
        event->acceptProposedAction();
        return;
    }
    if (!target.refusal.isEmpty()) {
        // A drag that moves on over the window keeps what was there before it.
        if (dragRefusal_.isEmpty() || statusLine_->result() != dragRefusal_) beforeDragRefusal_ = statusLine_->result();
        dragRefusal_ = target.refusal;
        statusLine_->SetResult(target.refusal);
    }
    event->ignore();
}

// A drag that leaves without dropping takes its refusal with it. A refused
// drag never makes the window its target, so the window hears of the leave
// only through its platform window.
void MainWindow::OnDragLeft() {
    if (!dragRefusal_.isEmpty() && statusLine_->result() == dragRefusal_) statusLine_->SetResult(beforeDragRefusal_);
    dragRefusal_.clear();
}

void MainWindow::dropEvent(QDropEvent* event) {
    dragRefusal_.clear();
    const DropTarget target = ReadDrop(event->mimeData());
    if (!target.refusal.isEmpty() || workbench_->busy()) {
        if (!target.refusal.isEmpty()) statusLine_->SetResult(target.refusal);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OpenPath(target.path);
}

// What is shown: the displayed picture (the photo with what the operations
// and Find Grid drew on it), or the straightened grid in its place.
QString MainWindow::SavePicture(const QString& path) {
    const QImage& picture = imageView_->shown();
    if (!workbench_->image().loaded() || picture.isNull()) return "there is no picture to save";
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char* format = suffix == "png" ? "PNG" : (suffix == "jpg" || suffix == "jpeg") ? "JPEG" : nullptr;
    if (format == nullptr) return "the name must end in .png, .jpg or .jpeg";
    if (suffix == "png") {
        // Encoded as vexo-cli encodes it: the same picture, the same bytes.
        std::vector<uint8_t> png;
        std::string why;
        if (!EncodePng(picture.width(), picture.height(), picture.constBits(), std::size_t(picture.bytesPerLine()), png,
                       why))
            return QString::fromStdString(why);
        return WriteWhole(path, reinterpret_cast<const char*>(png.data()), qint64(png.size()));
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    if (!writer.write(picture)) return writer.errorString();
    return WriteWhole(path, jpeg.constData(), jpeg.size());
}

QString MainWindow::ExportGrid(const QString& path) {
    if (!exportedStep_) return "no operation has run on this picture yet";
    const ExportedStep& exported = *exportedStep_;
    const bool csv = QFileInfo(path).suffix().toLower() == "csv";
    const std::string text = csv ? GridCsv(exported.source, exported.step)
                                 : GridJson(exported.picture, exported.source, exported.step);
    return WriteWhole(path, text.data(), qint64(text.size()));
}

namespace {

// The picture's own name with another extension, in the browser's folder.
QString Suggested(const QString& directory, const std::string& picture, const char* extension) {
    const QString base = QFileInfo(QString::fromStdString(picture)).completeBaseName();
    return QDir(directory).filePath((base.isEmpty() ? QString("picture") : base) + extension);
}

}  // namespace

void MainWindow::OnSavePictureTriggered() {
    if (workbench_->busy() || !askSavePicturePath) return;
    const std::string picture = pictureName_.toStdString();
    WriteChosenFile(askSavePicturePath(Suggested(directory_, picture, straightenedView() ? "-straightened.png" : ".png")),
                    ".png", "save", "Saved",
                    [this](const QString& path) { return SavePicture(path); });
}

void MainWindow::OnExportGridTriggered() {
    if (workbench_->busy() || !exportedStep_ || !askExportPath) return;
    const bool findGrid = exportedStep_->step.kind == StepKind::FindGrid;
    const QString note = !exportedStep_->step.cancelled ? ""
                         : findGrid ? " (a cancelled Find Grid: no grid)"
                                    : " (a cancelled operation: only what it found before Cancel)";
    WriteChosenFile(askExportPath(Suggested(directory_, exportedStep_->picture, ".json")), ".json", "export",
                    "Exported", [this](const QString& path) { return ExportGrid(path); }, note);
}

// A name without extension gets `extension`; the outcome goes to the status
// line (with `note` after a success), a failure also into an error box.
void MainWindow::WriteChosenFile(QString path, const char* extension, const char* verb, const char* done,
                                 const std::function<QString(const QString&)>& write, const QString& note) {
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += extension;
    const QString error = write(path);
    if (error.isEmpty()) {
        statusLine_->SetResult(QString(done) + " " + Quoted(path) + note);
        return;
    }
    statusLine_->SetResult(QString("Cannot %1 %2: %3").arg(verb, QFileInfo(path).fileName(), error));
    screen_.ErrorBox(QString("Cannot %1 %2: %3").arg(verb, Quoted(path), error).toStdString());
}

}  // namespace vexo
