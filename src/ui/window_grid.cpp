// Find Grid in the window: running it, the grid it drew while that drawing
// stays on the picture (the cell under the mouse, the same file loaded again
// at another scale), the straightened grid in the picture's place, and the
// cells exported as pictures.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>
#include <new>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <utility>

#include "app/grid_at_scale.h"
#include "app/grid_report.h"
#include "app/lattice_drawing.h"
#include "app/png_encoding.h"
#include "app/straightened_grid.h"
#include "core/errors.h"
#include "core/label_text.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace vexo {

// Writes a whole file safely (picture_commands.cpp).
QString WriteWhole(const QString& path, const char* data, qint64 size);

namespace {

// The straightened grid's own lattice: every cell `side` pixels square, cell
// (i, j) on pixels i * side .. (i + 1) * side - 1 (pixel centres at whole
// numbers, so its borders lie half a pixel before them).
Lattice SquareLattice(const Lattice& found, int side) {
    Lattice squares;
    squares.found = true;
    squares.kind = found.kind;
    squares.columns = found.columns;
    squares.rows = found.rows;
    squares.score = found.score;
    for (int j = 0; j <= found.rows; ++j)
        for (int i = 0; i <= found.columns; ++i) squares.crossings.push_back({i * double(side) - 0.5, j * double(side) - 0.5});
    squares.homography.h = {double(side), 0, -0.5, 0, double(side), -0.5, 0, 0, 1};
    return squares;
}

// The straightened grid as shown: its gray pixels, each cell's name at the
// cell's centre in the found lattice's name colour, sized as on the photo.
// Null when the memory for it cannot be had.
QImage NamedPicture(const GrayPlane& plane, const Lattice& squares) {
    QImage picture(plane.width, plane.height, QImage::Format_RGB888);
    if (picture.isNull()) return picture;
    for (int y = 0; y < plane.height; ++y) {
        const uint8_t* gray = plane.row(y);
        uchar* out = picture.scanLine(y);
        for (int x = 0; x < plane.width; ++x, out += 3) out[0] = out[1] = out[2] = gray[x];
    }
    static const LabelFont font;
    const int pixels = LatticeNamePixels(squares);
    const RgbCanvas canvas{picture.bits(), picture.width(), picture.height(), picture.bytesPerLine()};
    QFont fallback = QApplication::font();
    fallback.setPixelSize(pixels);
    fallback.setBold(true);
    for (int j = 0; j < squares.rows; ++j)
        for (int i = 0; i < squares.columns; ++i) {
            const PointF& tl = squares.at(i, j);
            const PointF& br = squares.at(i + 1, j + 1);
            const ClipRect clip{int(tl.x + 0.5), int(tl.y + 0.5), int(br.x + 0.5), int(br.y + 0.5)};
            const std::string name = CellName(i + 1, j + 1);
            const double cx = (tl.x + br.x) / 2, cy = (tl.y + br.y) / 2;
            if (const auto extent = font.Measure(name, true, pixels)) {
                font.Draw(canvas, int(std::lround(cx - extent->width / 2.0)), int(std::lround(cy - extent->height / 2.0)),
                          clip, name, kLatticeNameColour, true, pixels);
                continue;
            }
            QPainter painter(&picture);
            painter.setClipRect(QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
            painter.setFont(fallback);
            painter.setPen(QColor(kLatticeNameColour.red, kLatticeNameColour.green, kLatticeNameColour.blue));
            painter.drawText(QRectF(tl.x + 0.5, tl.y + 0.5, br.x - tl.x, br.y - tl.y), Qt::AlignCenter,
                             QString::fromStdString(name));
        }
    return picture;
}

// What a failure to get the file's pixels or the memory for a picture means
// to the user.
QString Why(const std::exception& error) {
    if (dynamic_cast<const Terminate*>(&error) != nullptr || dynamic_cast<const std::bad_alloc*>(&error) != nullptr)
        return "not enough memory";
    return QString::fromStdString(error.what());
}

// The device and inode of an existing file, links followed.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

}  // namespace

// --- Running Find Grid ---

void MainWindow::FindGrid() {
    if (workbench_->busy() || !workbench_->image().loaded()) {
        AfterHandler();
        return;
    }
    // The lattice is drawn over the photo: the photo is what to watch.
    SetStraightenedView(false);
    const uint64_t sequence = workbench_->lastFindGrid().sequence;
    const std::size_t messages = screen_.shownMessages().size();
    const int logBefore = logList_->count();
    cancelAction_->setEnabled(true);
    workbench_->FindGridClick();
    cancelAction_->setEnabled(false);
    const FindGridRecord& record = workbench_->lastFindGrid();
    if (record.sequence != sequence) {
        ExportedStep exported = StepNow(StepKind::FindGrid, messages, logBefore);
        StepRecord& step = exported.step;
        step.cancelled = record.cancelled;
        step.cells = LatticeCells(record);
        step.grid = record;
        // A message box (not enough memory) says what happened; the status
        // line repeats it.
        statusLine_->SetResult(step.messages.empty() ? FindGridResultText(record)
                                                     : QString::fromStdString(step.messages.back().text));
        exportedStep_ = std::move(exported);
        if (record.lattice.found && !record.cancelled) KeepGridShown(record);
    }
    ForgetGridIfDrawnOver();
    AfterHandler();
    UpdateActions();
}

// --- The grid shown ---

void MainWindow::KeepGridShown(const FindGridRecord& record) {
    const QFileInfo file(picturePath_);
    ShownGrid grid;
    grid.record = record;
    grid.drawnAt = screen_.displayChanges();
    grid.file = picturePath_;
    grid.fileSize = file.size();
    grid.fileModified = file.lastModified();
    shownGrid_ = std::move(grid);
}

const FindGridRecord* MainWindow::shownGrid() const {
    if (!shownGrid_ || screen_.displayChanges() != shownGrid_->drawnAt) return nullptr;
    return &shownGrid_->record;
}

void MainWindow::ForgetGridIfDrawnOver() {
    if (!shownGrid_ || shownGrid() != nullptr) return;
    SetStraightenedView(false);
    shownGrid_.reset();
    UpdateActions();
}

void MainWindow::CarryGridOver() {
    if (!shownGrid_) return;
    ShownGrid previous = std::move(*shownGrid_);
    shownGrid_.reset();
    const ImageState& image = workbench_->image();
    const QFileInfo file(picturePath_);
    const SourceSize& was = previous.record.sourceSize;
    const bool sameFile = previous.file == picturePath_ && previous.fileSize == file.size() &&
                          previous.fileModified == file.lastModified() && was.width == image.source.width &&
                          was.height == image.source.height;
    if (!sameFile || was.scale == image.source.scale || !image.loaded()) return;
    const FindGridRecord carried = GridAtScale(previous.record, image.source);
    DrawLattice(carried.lattice, screen_, image.stride, image.height);
    KeepGridShown(carried);
    ExportedStep exported = StepNow(StepKind::FindGrid, screen_.shownMessages().size(), logList_->count());
    exported.step.cells = LatticeCells(carried);
    exported.step.grid = carried;
    exportedStep_ = std::move(exported);
    statusLine_->SetResult(statusLine_->result() + ", with the grid found before drawn again");
}

QString MainWindow::CellUnder(QPoint pixel) const {
    const FindGridRecord* grid = shownGrid();
    if (grid == nullptr) return {};
    const Lattice& lattice = straightenedView() ? shownGrid_->straightenedLattice : grid->lattice;
    int column = 0, row = 0;
    if (!CellAt(lattice, pixel.x(), pixel.y(), column, row)) return {};
    return QString::fromStdString(CellName(column, row));
}

// --- The straightened grid ---

bool MainWindow::straightenedView() const { return !imageView_->showsBitmap(); }

bool MainWindow::MakeStraightenedPicture() {
    ShownGrid& grid = *shownGrid_;
    if (!grid.straightened.isNull()) return true;
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const GrayPlane file = workbench_->image().decoder->DecodeFullLuminance();
        const GrayPlane plane = StraightenedGridPicture(grid.record, file);
        if (!plane || grid.record.source.columns <= 0) throw std::bad_alloc();
        grid.straightenedLattice = SquareLattice(grid.record.source, plane.width / grid.record.source.columns);
        grid.straightened = NamedPicture(plane, grid.straightenedLattice);
        if (grid.straightened.isNull()) why = "not enough memory";
    } catch (const std::exception& error) {
        why = Why(error);
    }
    QApplication::restoreOverrideCursor();
    if (why.isEmpty()) return true;
    grid.straightened = QImage();
    statusLine_->SetResult("Cannot show the straightened grid: " + why);
    screen_.ErrorBox(("Cannot show the straightened grid: " + why).toStdString());
    return false;
}

// Both pictures follow the same zoom and Fit to Window; each keeps where it
// was scrolled to.
void MainWindow::SetStraightenedView(bool on) {
    if (on != straightenedView() && !workbench_->busy()) {
        QScrollBar* h = pictureScroll_->horizontalScrollBar();
        QScrollBar* v = pictureScroll_->verticalScrollBar();
        if (on && shownGrid() != nullptr && MakeStraightenedPicture()) {
            photoScroll_ = {h->value(), v->value()};
            imageView_->ShowInstead(shownGrid_->straightened);
            RefitIfFitted();
            h->setValue(0);
            v->setValue(0);
            const Lattice& squares = shownGrid_->straightenedLattice;
            statusLine_->SetPicture(QString("%1 straightened: %2 × %3 cells of %4 pixels")
                                        .arg(pictureName_)
                                        .arg(squares.columns)
                                        .arg(squares.rows)
                                        .arg(shownGrid_->straightened.width() / std::max(1, squares.columns)));
        } else if (!on) {
            imageView_->ShowInstead({});
            RefitIfFitted();
            h->setValue(photoScroll_.x());
            v->setValue(photoScroll_.y());
            UpdatePictureStatus();
        }
        statusLine_->SetPixel({});
    }
    UpdateActions();
}

// --- Exported cells ---

QString MainWindow::ExportCells(const QString& folder, int* written) {
    if (written != nullptr) *written = 0;
    const FindGridRecord* grid = shownGrid();
    if (grid == nullptr || !workbench_->image().decoder) return "no grid is shown";
    // The folder is made and checked before anything is written.
    const QFileInfo where(folder);
    if (where.exists() && !where.isDir()) return "not a folder";
    if (!QDir().mkpath(folder)) return "the folder cannot be made";
    if (!QFileInfo(folder).isWritable()) return "the folder cannot be written to (permission denied)";
    const QDir dir(folder);
    const auto picture = FileIdentity(picturePath_);
    // Outputs never replace the picture worked on, nor each other (names
    // that differ only in case, on a folder that ignores case).
    std::set<std::pair<dev_t, ino_t>> made;
    QString error;
    int count = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const GrayPlane file = workbench_->image().decoder->DecodeFullLuminance();
        ForEachStraightenedCell(*grid, file, [&](const std::string& name, const GrayPlane& cell) {
            const QString fileName = QString::fromStdString(name) + ".png";
            const QString path = dir.filePath(fileName);
            if (const auto identity = FileIdentity(path)) {
                if (picture && *identity == *picture) {
                    error = fileName + ": it is the picture being worked on";
                    return false;
                }
                if (made.count(*identity) != 0) {
                    error = fileName + ": the folder does not tell it from a cell written before (it ignores case)";
                    return false;
                }
            }
            std::vector<uint8_t> png;
            std::string why;
            if (!EncodeGrayPng(cell.width, cell.height, cell.begin(), std::size_t(cell.width), png, why)) {
                error = fileName + ": " + QString::fromStdString(why);
                return false;
            }
            const QString failed = WriteWhole(path, reinterpret_cast<const char*>(png.data()), qint64(png.size()));
            if (!failed.isEmpty()) {
                error = fileName + ": " + failed;
                return false;
            }
            if (const auto identity = FileIdentity(path)) made.insert(*identity);
            ++count;
            return true;
        });
    } catch (const std::exception& caught) {
        error = Why(caught);
    }
    QApplication::restoreOverrideCursor();
    if (written != nullptr) *written = count;
    return error;
}

void MainWindow::OnExportCellsTriggered() {
    if (workbench_->busy() || shownGrid() == nullptr || !askCellsFolder) return;
    const QString folder = askCellsFolder(directory_);
    if (folder.isEmpty()) return;
    int written = 0;
    const QString error = ExportCells(folder, &written);
    const QString shown = QDir::toNativeSeparators(folder);
    if (error.isEmpty()) {
        statusLine_->SetResult(QString("Exported %1 cells to %2").arg(written).arg(shown));
        return;
    }
    const QString done = written > 0 ? QString(" (%1 cells written before it)").arg(written) : QString();
    statusLine_->SetResult("Cannot export the cells to " + shown + ": " + error + done);
    screen_.ErrorBox(("Cannot export the cells to " + shown + ": " + error + done).toStdString());
}

}  // namespace vexo
