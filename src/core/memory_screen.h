// A screen without a window: keeps the displayed picture as an RGB image and
// records every other call, for vexo-cli and the tests. With keepDisplay off
// it keeps only the displayed picture's size (nothing will read its pixels).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/screen.h"

namespace vexo {

struct RecordedMessage {
    enum Kind { Error, Info } kind;
    std::string text;
};

class MemoryScreen : public Screen {
public:
    // --- Screen ---
    void SizeDisplay(int width, int height) override;
    bool WriteDisplayRow(int row, const uint8_t* bgr, int pixels, std::string& systemMessage) override;
    void RepaintNow() override { ++repaints; }
    bool WantsDisplayRows() const override { return keepDisplay; }
    bool HasDisplayBitmap() const override { return hasBitmap; }
    Rgb DisplayPixel(int x, int y) const override;
    void ReadDisplayRow(int row, uint8_t* bgr, int pixels) const override;
    void SetCaption(const std::string& text) override { caption = text; }
    void SetReadout(const std::string& text) override { readout = text; }
    void SetPositionReadout(const std::string& text) override { positionReadout = text; }
    void LogAppend(const std::string& text) override { log.push_back(text); }
    void LogClear() override { log.clear(); }
    void ShowProgress(int position, int maximum) override {
        progressPosition = position;
        progressMaximum = maximum;
    }
    void SetProgressDialogVisible(bool visible) override;
    void SetBusyCursor(bool busy) override;
    void ErrorBox(const std::string& text) override { messages.push_back({RecordedMessage::Error, text}); }
    void PlainBox(const std::string& text) override { messages.push_back({RecordedMessage::Info, text}); }
    void ApplicationErrorBox(const std::string& text) override {
        messages.push_back({RecordedMessage::Error, text});
    }
    void PumpEvents() override;
    void RequestClose() override { closeRequested = true; }
    void SetFontBold(bool bold) override { fontBold = bold; }
    void SetFontPixels(int pixels) override { fontPixels = pixels; }
    void SetBrushClear() override { brushClear = true; }
    void SetFontColour(Rgb colour) override { fontColour = colour; }
    // Without a text renderer, a text is 7 pixels per code point wide and 13 high.
    TextExtent MeasureText(const std::string& text) override;
    void DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) override;

    // Set before the first load: false leaves `display` empty for good.
    bool keepDisplay = true;
    // The displayed picture as RGB bytes, width * height * 3.
    int displayWidth = 0;
    int displayHeight = 0;
    std::vector<uint8_t> display;
    bool hasBitmap = false;

    std::string caption = "Vexo";
    std::string readout = "255:255:255";
    std::string positionReadout = "199:200";
    std::vector<std::string> log;
    std::vector<RecordedMessage> messages;

    int progressPosition = 0;
    int progressMaximum = 5;
    bool progressVisible = false;
    int progressShows = 0;
    bool busyCursor = false;
    int busyCursorChanges = 0;
    int repaints = 0;
    int pumps = 0;
    bool closeRequested = false;

    bool fontBold = false;
    int fontPixels = 0;
    bool brushClear = false;
    Rgb fontColour{0, 0, 0};
    struct DrawnText {
        int x, y;
        ClipRect clip;
        std::string text;
        Rgb colour;
        bool bold;
        int pixels = 0;  // the em's height, 0 for the labels' own size
    };
    std::vector<DrawnText> texts;

    // Makes the next row writes fail with this text (tests of a failed render).
    int failRowWritesFrom = -1;
    std::string failText = "The parameter is incorrect.";
    // Called at every event pump (tests use it to simulate input mid-operation).
    std::vector<void (*)(void*)> pumpHooks;
    void* pumpHookContext = nullptr;

protected:
    // Puts one pixel of text colour; clipped to the display.
    void PutPixel(int x, int y, Rgb colour);
};

}  // namespace vexo
