// The one window onto the screen that the image core uses.
//
// Everything the operations show goes through this interface: rows of the
// displayed picture, the repaint, the caption, the two readout labels, the log
// list, the progress dialog, the busy cursor, message boxes, the event pump
// and text drawn onto the displayed picture. The desktop window implements it
// with widgets; vexo-cli and the tests use MemoryScreen.
#pragma once

#include <cstdint>
#include <string>

#include "core/rgb.h"

namespace vexo {

struct TextExtent {
    int width = 0;
    int height = 0;
};

// A clip rectangle; right and bottom are exclusive, as on a canvas.
struct ClipRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class Screen {
public:
    virtual ~Screen() = default;

    // Displayed bitmap: becomes width x height pixels (the image control too),
    // white with a red outline from (0, 0) to (width - 1, height - 1).
    virtual void SizeDisplay(int width, int height) = 0;
    // Writes one row of `pixels` pixels, 3 bytes each in the order blue, green,
    // red, as row `row` from the top. On failure returns false and puts the
    // system's text of the failure into `systemMessage`.
    virtual bool WriteDisplayRow(int row, const uint8_t* bgr, int pixels,
                                 std::string& systemMessage) = 0;
    // Shows the displayed bitmap now, without returning to the event loop.
    virtual void RepaintNow() = 0;
    // False for a screen that neither shows nor keeps the displayed picture:
    // renders then write no rows (everything else about them stays).
    virtual bool WantsDisplayRows() const { return true; }
    // False until a bitmap has been sized (nothing loaded yet).
    virtual bool HasDisplayBitmap() const = 0;
    // The displayed pixel at (x, y), labels included; black outside the bitmap.
    virtual Rgb DisplayPixel(int x, int y) const = 0;
    // Row `row` of the displayed picture, `pixels` pixels from the left, as
    // WriteDisplayRow takes them (blue, green, red); black outside the bitmap.
    virtual void ReadDisplayRow(int row, uint8_t* bgr, int pixels) const {
        for (int x = 0; x < pixels; ++x, bgr += 3) {
            const Rgb c = DisplayPixel(x, row);
            bgr[0] = c.blue;
            bgr[1] = c.green;
            bgr[2] = c.red;
        }
    }

    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetReadout(const std::string& text) = 0;          // label L
    virtual void SetPositionReadout(const std::string& text) = 0;  // label LPos
    virtual void LogAppend(const std::string& text) = 0;           // log list CB
    virtual void LogClear() = 0;

    // Progress dialog: the bar's state after every change, and the dialog's
    // visibility (shown without blocking, centred over the main window).
    virtual void ShowProgress(int position, int maximum) = 0;
    virtual void SetProgressDialogVisible(bool visible) = 0;
    virtual void SetBusyCursor(bool busy) = 0;

    // Modal boxes with one OK button.
    virtual void ErrorBox(const std::string& text) = 0;             // caption "Error", error icon
    virtual void PlainBox(const std::string& text) = 0;             // caption "Vexo", no icon
    virtual void ApplicationErrorBox(const std::string& text) = 0;  // top-level handler: caption "Vexo", error icon

    // Handles pending window events, then returns.
    virtual void PumpEvents() = 0;
    // The program must end (memory exhausted): close the main window.
    virtual void RequestClose() = 0;

    // Text on the displayed picture (cell labels). Text is UTF-8.
    virtual void SetFontBold(bool bold) = 0;
    // The height of the font's em in pixels; 0 for the cell labels' own size.
    virtual void SetFontPixels(int pixels) { (void)pixels; }
    virtual void SetBrushClear() = 0;
    virtual void SetFontColour(Rgb colour) = 0;
    virtual TextExtent MeasureText(const std::string& text) = 0;
    // Draws text with its top-left corner at (x, y), clipped to `clip`.
    virtual void DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) = 0;
};

}  // namespace vexo
