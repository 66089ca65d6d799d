// The status line below the picture: the picture's name and size, the zoom,
// the pixel under the mouse, and what the last command did. The texts are
// made by the functions below, which tests call directly.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <QString>
#include <string>
#include <vector>

#include "app/find_grid_record.h"
#include "app/operation_record.h"
#include "core/image_state.h"
#include "core/memory_screen.h"

namespace vexo {

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    void SetResult(const QString& text);
    void SetPicture(const QString& text);
    void SetZoom(double zoom);
    void SetPixel(const QString& text);

    QString result() const { return result_->text(); }
    QString picture() const { return picture_->text(); }
    QString zoomText() const { return zoom_->text(); }
    QString pixel() const { return pixel_->text(); }

private:
    QLabel* result_;
    QLabel* picture_;
    QLabel* zoom_;
    QLabel* pixel_;
};

// "grid.jpg: 4000 x 3000 shown at 2/8 (1000 x 750)".
QString PictureText(const QString& name, const ImageState& image);
// "100 %", "6.25 %", "1600 %".
QString ZoomText(double zoom);
// "(12, 34) 200" for a gray pixel, "(12, 34) 0:255:0" for a coloured one;
// "(12, 34) 200 in D7" when the pixel lies in a cell of the found grid.
QString PixelText(int x, int y, Rgb colour, const QString& cell = {});

// One line on what a command found and how long it took: "TITLE: WHAT, 0.21 s".
QString ResultLine(const QString& title, const QString& what, double seconds);

// What an operation did, as a result line: "Grid search: 9 + 9 lines, 64
// cells, 0.21 s", "Grid search: no grid found (no spacing found), 0.21 s",
// "Hough horizontal: 7 lines, 0.05 s", or "Cancelled". A grid search that
// came up empty says where in brackets. `label` is the colour readout after
// it, which the crossing detection fills with the number of crossings that
// fall outside the picture.
QString ResultText(const OperationRecord& record, const std::string& label, double seconds);

// What Find Grid found, as its result line: "Find Grid: 9 × 9 cells
// (ruled), score 0.94, 14 ms" (columns × rows, the kind, the score, the
// finder's own time), "Find Grid: no grid found", or "Cancelled".
QString FindGridResultText(const FindGridRecord& record);

// Why a file did not load, in plain words: "no such file", "is a folder",
// "permission denied", "not a JPEG file", "larger than 16384 × 16384", or the
// decoder's own words. `boxText` is the error box the load showed.
QString LoadFailureReason(const QString& path, const QString& boxText);
// What the decoder got past when the picture still loaded ("truncated: the
// bottom is filled in"); empty when it decoded cleanly.
QString DecoderWarningText(int warningCount, int firstWarningCode);

}  // namespace vexo
