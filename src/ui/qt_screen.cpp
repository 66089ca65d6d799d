#include "ui/qt_screen.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "core/render.h"
#include "ui/desktop_font.h"
#include "ui/image_view.h"
#include "ui/progress_dialog.h"

namespace vexo {

QtScreen::QtScreen() : textFont_(DesktopFont(8)) {}

QtScreen::~QtScreen() {
    if (busyCursor_) QApplication::restoreOverrideCursor();
}

void QtScreen::SizeDisplay(int width, int height) {
    if (widgets_.image == nullptr) return;
    ++displayChanges_;
    if (!widgets_.image->NewBitmap(width, height)) {
        missingBitmap_ = "Not enough memory to show a picture of " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels.";
        return;
    }
    missingBitmap_.clear();
    QImage& bitmap = widgets_.image->bitmap();
    bitmap.fill(Qt::white);
    QPainter painter(&bitmap);
    painter.setPen(Qt::red);
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.end();
    widgets_.image->BitmapChanged(bitmap.rect());
}

bool QtScreen::WriteDisplayRow(int row, const uint8_t* bgr, int pixels, std::string& systemMessage) {
    if (widgets_.image == nullptr || widgets_.image->bitmap().isNull()) {
        systemMessage = missingBitmap_.empty() ? "There is no displayed picture to write into." : missingBitmap_;
        return false;
    }
    QImage& bitmap = widgets_.image->bitmap();
    ++displayChanges_;
    if (row < 0 || row >= bitmap.height()) {
        systemMessage = "The row " + std::to_string(row) + " lies outside the displayed picture.";
        return false;
    }
    const int n = std::min(pixels, bitmap.width());
    uint8_t* out = bitmap.scanLine(row);
    CopyBgrAsRgb(bgr, out, n);
    widgets_.image->BitmapChanged(QRect(0, row, n, 1));
    return true;
}

void QtScreen::RepaintNow() {
    if (widgets_.image != nullptr) widgets_.image->repaint();
}

bool QtScreen::HasDisplayBitmap() const {
    return widgets_.image != nullptr && !widgets_.image->bitmap().isNull();
}

Rgb QtScreen::DisplayPixel(int x, int y) const {
    if (!HasDisplayBitmap()) return {0, 0, 0};
    const QImage& bitmap = widgets_.image->bitmap();
    if (x < 0 || y < 0 || x >= bitmap.width() || y >= bitmap.height()) return {0, 0, 0};
    const uint8_t* p = bitmap.constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

void QtScreen::ReadDisplayRow(int row, uint8_t* bgr, int pixels) const {
    int n = 0;
    if (HasDisplayBitmap() && row >= 0 && row < widgets_.image->bitmap().height()) {
        const QImage& bitmap = widgets_.image->bitmap();
        n = std::clamp(bitmap.width(), 0, std::max(pixels, 0));
        const uint8_t* p = bitmap.constScanLine(row);
        for (int x = 0; x < n; ++x, p += 3, bgr += 3) {
            bgr[0] = p[2];
            bgr[1] = p[1];
            bgr[2] = p[0];
        }
    }
    if (pixels > n) std::memset(bgr, 0, std::size_t(pixels - n) * 3);
}

void QtScreen::SetCaption(const std::string& text) {
    if (widgets_.window != nullptr) widgets_.window->setWindowTitle(QString::fromStdString(text));
}

// A readout keeps to the room it has: a text too long for it is drawn
// narrower, then smaller, rather than over its neighbour.
void QtScreen::SetLabel(QLabel* label, const std::string& text) {
    if (label == nullptr) return;
    const QString shown = QString::fromStdString(text);
    label->setText(shown);
    const int room = label->maximumWidth();
    QFont font = label->parentWidget() != nullptr ? label->parentWidget()->font() : label->font();
    if (room < QWIDGETSIZE_MAX) {
        const int floor = std::max(5, font.pointSize() - 3);
        for (int stretch = 100; QFontMetrics(font).horizontalAdvance(shown) > room;) {
            if (stretch > 70) {
                stretch -= 10;
                font.setStretch(stretch);
            } else if (font.pointSize() > floor) {
                font.setPointSize(font.pointSize() - 1);
            } else {
                break;
            }
        }
    }
    label->setFont(font);
    label->adjustSize();
}

void QtScreen::SetReadout(const std::string& text) { SetLabel(widgets_.colourReadout, text); }

void QtScreen::SetPositionReadout(const std::string& text) { SetLabel(widgets_.positionReadout, text); }

// Adding a line leaves the text in the box's edit field as it was.
void QtScreen::LogAppend(const std::string& text) {
    if (widgets_.log == nullptr) return;
    const QString shown = widgets_.log->currentText();
    widgets_.log->addItem(QString::fromStdString(text));
    widgets_.log->setEditText(shown);
}

void QtScreen::LogClear() {
    if (widgets_.log != nullptr) widgets_.log->clear();
}

void QtScreen::ShowProgress(int position, int maximum) {
    if (progressDialog_ != nullptr) progressDialog_->SetProgress(position, maximum);
}

void QtScreen::SetProgressDialogVisible(bool visible) {
    if (progressDialog_ != nullptr) progressDialog_->SetShown(visible);
}

void QtScreen::SetBusyCursor(bool busy) {
    if (busy == busyCursor_) return;
    busyCursor_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtScreen::Box(const QString& caption, const std::string& text, bool errorIcon) {
    shownMessages_.push_back({errorIcon ? RecordedMessage::Error : RecordedMessage::Info, text});
    if (beforeBox) beforeBox(shownMessages_.back());
    const QString message = QString::fromStdString(text);
    if (autoAnswerBoxes) {
        answeredBoxes.push_back({caption, message, errorIcon});
        return;
    }
    QMessageBox box(errorIcon ? QMessageBox::Critical : QMessageBox::NoIcon, caption, message, QMessageBox::Ok,
                    widgets_.window);
    QElapsedTimer open;
    open.start();
    box.exec();
    boxSeconds_ += double(open.nsecsElapsed()) / 1e9;
}

void QtScreen::ErrorBox(const std::string& text) { Box("Error", text, true); }

void QtScreen::PlainBox(const std::string& text) { Box("Vexo", text, false); }

void QtScreen::ApplicationErrorBox(const std::string& text) { Box("Vexo", text, true); }

void QtScreen::PumpEvents() { QCoreApplication::processEvents(); }

void QtScreen::SetFontBold(bool bold) {
    bold_ = bold;
    textFont_.setBold(bold);
}

void QtScreen::SetFontPixels(int pixels) { fontPixels_ = std::max(0, pixels); }

QFont QtScreen::TextFont() const {
    QFont font = textFont_;
    if (fontPixels_ > 0) font.setPixelSize(fontPixels_);
    return font;
}

std::size_t QtScreen::logCount() const {
    return widgets_.log == nullptr ? 0 : std::size_t(widgets_.log->count());
}

TextExtent QtScreen::MeasureText(const std::string& text) {
    if (labelFont_.hasFace()) {
        Measured& last = lastMeasured_;
        if (last.pixels == fontPixels_ && last.bold == bold_ && last.text == text) return last.extent;
        if (const auto extent = labelFont_.Measure(text, bold_, fontPixels_)) {
            last = {text, bold_, fontPixels_, *extent};
            return *extent;
        }
    }
    const QString qtext = QString::fromStdString(text);
    if (HasDisplayBitmap()) {
        const QFontMetrics metrics(TextFont(), &widgets_.image->bitmap());
        return {metrics.horizontalAdvance(qtext), metrics.height()};
    }
    const QFontMetrics metrics(TextFont());
    return {metrics.horizontalAdvance(qtext), metrics.height()};
}

// The pixels a text drawn at (x, y) may touch: its line, with a margin of
// a line height for glyphs that reach beyond it, inside the clip.
QRect QtScreen::TextArea(int x, int y, const ClipRect& clip, const std::string& text) {
    const TextExtent extent = MeasureText(text);
    const int64_t margin = std::max(1, extent.height);
    const int64_t left = std::max<int64_t>(clip.left, int64_t(x) - margin);
    const int64_t top = std::max<int64_t>(clip.top, int64_t(y) - margin);
    const int64_t right = std::min<int64_t>(clip.right, int64_t(x) + extent.width + margin);
    const int64_t bottom = std::min<int64_t>(clip.bottom, int64_t(y) + extent.height + margin);
    if (left >= right || top >= bottom) return {};
    const QRect bitmapRect = widgets_.image->bitmap().rect();
    const int64_t l = std::max<int64_t>(left, bitmapRect.left());
    const int64_t t = std::max<int64_t>(top, bitmapRect.top());
    const int64_t r = std::min<int64_t>(right, int64_t(bitmapRect.right()) + 1);
    const int64_t b = std::min<int64_t>(bottom, int64_t(bitmapRect.bottom()) + 1);
    if (l >= r || t >= b) return {};
    return QRect(int(l), int(t), int(r - l), int(b - t));
}

void QtScreen::DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) {
    if (!HasDisplayBitmap()) return;
    QImage& bitmap = widgets_.image->bitmap();
    if (LabelFontUsable()) {
        const RgbCanvas canvas{bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.bytesPerLine()};
        labelFont_.Draw(canvas, x, y, clip, text, fontColour_, bold_, fontPixels_);
        widgets_.image->BitmapChanged(TextArea(x, y, clip, text));
        widgets_.image->update();
        return;
    }
    QPainter painter(&bitmap);
    painter.setClipRect(QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
    const QFont font = TextFont();
    painter.setFont(font);
    painter.setPen(QColor(fontColour_.red, fontColour_.green, fontColour_.blue));
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(x, y + QFontMetrics(font, &bitmap).ascent(), QString::fromStdString(text));
    painter.end();
    widgets_.image->BitmapChanged(TextArea(x, y, clip, text));
    // Shown with the next repaint, or when the event loop next runs.
    widgets_.image->update();
}

}  // namespace vexo
