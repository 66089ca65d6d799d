// The screen of the desktop window: the displayed bitmap of the picture
// control, the caption, the readout labels, the log list, the progress
// dialog, the busy cursor and the message boxes.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "core/label_text.h"
#include "core/memory_screen.h"
#include "core/screen.h"

class QComboBox;
class QLabel;
class QWidget;

namespace vexo {

class ImageView;
class ProgressDialog;

class QtScreen : public Screen {
public:
    struct Widgets {
        QWidget* window = nullptr;
        ImageView* image = nullptr;
        QLabel* colourReadout = nullptr;    // the colour under the mouse; also the crossing count
        QLabel* positionReadout = nullptr;  // the picture position under the mouse
        QComboBox* log = nullptr;           // the measured line spacings, one item per line
    };

    QtScreen();
    ~QtScreen() override;
    void Attach(const Widgets& widgets) { widgets_ = widgets; }
    void AttachProgressDialog(ProgressDialog* dialog) { progressDialog_ = dialog; }

    // RequestClose was called: the main window closes once the running
    // handler has returned.
    bool closeRequested() const { return closeRequested_; }

    // With this set, message boxes are recorded in answeredBoxes instead of
    // being shown, as if OK had been pressed at once (tests).
    static inline bool autoAnswerBoxes = false;
    struct AnsweredBox {
        QString caption;
        QString text;
        bool errorIcon;
    };
    static inline std::vector<AnsweredBox> answeredBoxes;

    // Every message box shown so far, in order (answered or not).
    const std::vector<RecordedMessage>& shownMessages() const { return shownMessages_; }
    // Called with each message box just before it opens.
    std::function<void(const RecordedMessage&)> beforeBox;
    // How long the message boxes so far stayed open, in seconds.
    double boxSeconds() const { return boxSeconds_; }
    // How many times the displayed bitmap has been replaced or had a row
    // written: a drawing made over it stays whole while this stays the same.
    uint64_t displayChanges() const { return displayChanges_; }
    // Every item the log list has received since it was last emptied.
    std::size_t logCount() const;

    // --- Screen ---
    void SizeDisplay(int width, int height) override;
    bool WriteDisplayRow(int row, const uint8_t* bgr, int pixels, std::string& systemMessage) override;
    void RepaintNow() override;
    bool HasDisplayBitmap() const override;
    Rgb DisplayPixel(int x, int y) const override;
    void ReadDisplayRow(int row, uint8_t* bgr, int pixels) const override;
    void SetCaption(const std::string& text) override;
    void SetReadout(const std::string& text) override;
    void SetPositionReadout(const std::string& text) override;
    void LogAppend(const std::string& text) override;
    void LogClear() override;
    void ShowProgress(int position, int maximum) override;
    void SetProgressDialogVisible(bool visible) override;
    void SetBusyCursor(bool busy) override;
    void ErrorBox(const std::string& text) override;
    void PlainBox(const std::string& text) override;
    void ApplicationErrorBox(const std::string& text) override;
    void PumpEvents() override;
    void RequestClose() override { closeRequested_ = true; }
    void SetFontBold(bool bold) override;
    void SetFontPixels(int pixels) override;
    void SetBrushClear() override {}  // text is always drawn without a background
    void SetFontColour(Rgb colour) override { fontColour_ = colour; }
    TextExtent MeasureText(const std::string& text) override;
    void DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) override;

private:
    void Box(const QString& caption, const std::string& text, bool errorIcon);
    bool LabelFontUsable() const { return labelFont_.hasFace() && HasDisplayBitmap(); }
    static void SetLabel(QLabel* label, const std::string& text);
    QRect TextArea(int x, int y, const ClipRect& clip, const std::string& text);
    // The desktop font as text is drawn now (bold, size), for pictures drawn without the label font.
    QFont TextFont() const;

    Widgets widgets_;
    ProgressDialog* progressDialog_ = nullptr;
    bool busyCursor_ = false;
    bool closeRequested_ = false;
    std::string missingBitmap_;  // why the last SizeDisplay left no bitmap
    std::vector<RecordedMessage> shownMessages_;
    double boxSeconds_ = 0;
    // Cell labels: the same renderer as every written picture, so what is
    // shown and saved equals vexo-cli's; the desktop font when it has no face.
    LabelFont labelFont_;
    QFont textFont_;
    bool bold_ = false;
    int fontPixels_ = 0;  // the em's height; 0 for the labels' own size
    // The last text measured, in the font it was measured in: a text is
    // measured to be placed, then again for where it was drawn.
    struct Measured {
        std::string text;
        bool bold = false;
        int pixels = -1;
        TextExtent extent;
    } lastMeasured_;
    uint64_t displayChanges_ = 0;
    Rgb fontColour_{0, 0, 0};
};

}  // namespace vexo
