#include "ui/status_line.h"

#include <jpeglib.h>
// jerror.h gives the message codes; it needs jpeglib.h first.
#include <jerror.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/operations.h"
#include "core/plane.h"

namespace vexo {

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent), result_(new QLabel), picture_(new QLabel), zoom_(new QLabel), pixel_(new QLabel) {
    result_->setObjectName("statusResult");
    picture_->setObjectName("statusPicture");
    zoom_->setObjectName("statusZoom");
    pixel_->setObjectName("statusPixel");
    result_->setToolTip("What the last command did");
    picture_->setToolTip("The picture's name, the file's own size and the size it is worked on at");
    zoom_->setToolTip("How large the picture is drawn (View menu, Ctrl+wheel)");
    pixel_->setToolTip("The picture pixel under the mouse and its value");
    // The result may be long; it gives way to the fixed readouts.
    result_->setMinimumWidth(0);
    result_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addWidget(result_, 1);
    addPermanentWidget(picture_);
    addPermanentWidget(zoom_);
    addPermanentWidget(pixel_);
    SetZoom(1.0);
}

void StatusLine::SetResult(const QString& text) {
    result_->setText(text);
    result_->setToolTip(text.isEmpty() ? QString("What the last command did") : text);
}

void StatusLine::SetPicture(const QString& text) { picture_->setText(text); }

void StatusLine::SetZoom(double zoom) { zoom_->setText(ZoomText(zoom)); }

void StatusLine::SetPixel(const QString& text) { pixel_->setText(text); }

QString PictureText(const QString& name, const ImageState& image) {
    if (!image.loaded()) return {};
    return name + ": " + QString::fromStdString(WorkingSizeText(image));
}

QString ZoomText(double zoom) { return QString::number(zoom * 100.0, 'g', 4) + " %"; }

QString PixelText(int x, int y, Rgb colour, const QString& cell) {
    QString text = QString("(%1, %2) ").arg(x).arg(y);
    if (colour.red == colour.green && colour.green == colour.blue)
        text += QString::number(colour.red);
    else
        text += QString("%1:%2:%3").arg(colour.red).arg(colour.green).arg(colour.blue);
    if (!cell.isEmpty()) text += " in " + cell;
    return text;
}

namespace {

QString Count(std::size_t n, const char* one, const char* many) {
    return QString::number(qulonglong(n)) + " " + (n == 1 ? one : many);
}

}  // namespace

QString ResultLine(const QString& title, const QString& what, double seconds) {
    return title + ": " + what + ", " + QString::number(seconds, 'f', 2) + " s";
}

QString ResultText(const OperationRecord& record, const std::string& label, double seconds) {
    if (record.cancelled) return "Cancelled";
    const OperationInfo* operation = FindOperation(record.operation);
    if (operation == nullptr) return {};
    const std::size_t h = record.horizontalLines.size();
    const std::size_t v = record.verticalLines.size();
    QString what;
    switch (operation->help.result) {
        case OperationResult::Picture: what = "done"; break;
        case OperationResult::HorizontalLines: what = Count(h, "line", "lines"); break;
        case OperationResult::VerticalLines: what = Count(v, "line", "lines"); break;
        case OperationResult::Crossings: {
            what = QString("%1 + %2 lines").arg(h).arg(v);
            static const QRegularExpression crossings("^Hough: (-?\\d+)$");
            const auto match = crossings.match(QString::fromStdString(label));
            if (match.hasMatch())
                what += ", " + match.captured(1) + (match.captured(1) == "1" ? " crossing" : " crossings") +
                        " outside the picture";
            break;
        }
        case OperationResult::Grid:
            if (record.cells.empty())
                what = "no grid found";
            else
                what = QString("%1 + %2 lines, ").arg(h).arg(v) + Count(record.cells.size(), "cell", "cells");
            break;
    }
    if (!record.outcome.empty() && record.outcome != kGridFound)
        what += " (" + QString::fromStdString(record.outcome) + ")";
    return ResultLine(operation->help.title, what, seconds);
}

QString FindGridResultText(const FindGridRecord& record) {
    if (record.cancelled) return "Cancelled";
    const Lattice& lattice = record.lattice;
    if (!lattice.found) return "Find Grid: no grid found";
    return QString("Find Grid: %1 × %2 cells (%3), score %4, %5 ms")
        .arg(lattice.columns)
        .arg(lattice.rows)
        .arg(GridKindName(lattice.kind))
        .arg(std::round(lattice.score * 100) / 100, 0, 'f', 2)  // as the report rounds it
        .arg(record.milliseconds);
}

QString LoadFailureReason(const QString& path, const QString& boxText) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return "no such file";
    if (!info.exists()) return "a link to nothing";
    if (info.isDir()) return "is a folder";
    if (!info.isFile()) return "not a regular file";
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM ? "permission denied" : QString::fromLocal8Bit(strerror(errno));
    ::close(fd);
    if (boxText.startsWith("Picture too large"))
        return QString("larger than %1 × %1").arg(kMaxPictureSide);
    static const QRegularExpression jpegError("^JPEG error #(\\d+)$");
    const auto match = jpegError.match(boxText);
    if (match.hasMatch()) {
        const int code = match.captured(1).toInt();
        if (code == JERR_NO_SOI) return "not a JPEG file";
        if (code == JERR_INPUT_EMPTY) return "empty file";
        jpeg_error_mgr errors{};
        jpeg_std_error(&errors);
        if (code > 0 && code <= errors.last_jpeg_message && errors.jpeg_message_table[code] != nullptr) {
            QString words = QString::fromLatin1(errors.jpeg_message_table[code]);
            // The printf fields of the message are not known here.
            words.replace(QRegularExpression("%[-0-9.]*[a-z]+"), "?");
            return "cannot be decoded (" + words + ")";
        }
        return "cannot be decoded";
    }
    if (boxText.startsWith("Cannot open file")) return "cannot be read";
    return boxText;
}

QString DecoderWarningText(int warningCount, int firstWarningCode) {
    if (warningCount <= 0) return {};
    if (firstWarningCode == JWRN_JPEG_EOF) return "truncated: the bottom is filled in";
    return QString("damaged data: the decoder got past %1").arg(Count(std::size_t(warningCount), "fault", "faults"));
}

}  // namespace vexo
