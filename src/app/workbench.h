// The workbench: the picture state, the line lists, the state of the controls
// and every handler the window (or vexo-cli) calls. It runs the operations
// inside their common frame and reaches the screen only through Screen.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/find_grid_record.h"
#include "app/operation_record.h"
#include "core/image_state.h"
#include "core/progress.h"
#include "core/screen.h"

namespace vexo {

class Pipeline;
struct LineLists;

// The error box of a Find Grid that could not have the memory it needs.
inline constexpr const char* kFindGridNoMemory = "Find Grid: not enough memory for this picture";

struct TrackBar {
    bool visible = false;
    int maximum = 10;
    int position = 0;
};

// What the controls of the window hold; the window mirrors it.
struct Controls {
    int selectedOperation = 0;  // index in the operation list, -1 for none
    std::string parameterText = "20";
    int32_t parameterValue = 20;  // -1 when the text is not an integer
    bool goOn = false;
    bool goEnabled = false;
    TrackBar trackBar;
};

class Workbench {
public:
    explicit Workbench(Screen& screen);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // --- Handlers. Each is ignored after the program has been told to end,
    // and all but SetTrackBarPosition, SetGoOn, Close and Cancel while an
    // operation runs. Errors are shown through the screen. ---

    // A click on a file: empties the log, loads the picture, enables GO.
    void FileClick(const std::string& path);
    // The "R" button.
    void RefreshClick();
    void ImageMouseMove(int x, int y);
    // GO.
    void GoClick();
    // Find Grid: finds the grid in the loaded picture's own gray levels and
    // draws it over the displayed picture. No plane, mark, caption, readout,
    // log entry or control changes. Long work shows the progress dialog, and
    // Cancel stops it; nothing is drawn then. Nothing happens without a
    // picture.
    void FindGridClick();
    // The user picks an item of the operation list.
    void ChooseOperation(int index);
    // The parameter box's text becomes `text` (typed or pasted).
    void SetParameterText(const std::string& text);
    // A numbered shortcut button.
    void ShortcutClick(int index);
    // Also while an operation runs: a later step reads the new position.
    void SetTrackBarPosition(int position);
    // Also while an operation runs: its end then selects the next operation
    // (or not) by the new state.
    void SetGoOn(bool checked);
    // The main window is closing during an operation: the operation stops at
    // its next event pump and the program ends once the handler returns.
    void Close();
    // Asks the running operation to stop at its next event pump; the frame
    // ends as usual except that "Go on" does not move on, and
    // lastOperation().cancelled tells. Nothing happens when no operation runs.
    void Cancel();
    // The least time between two event pumps at the pause points of long
    // work (50 ms unless set); zero pumps at every pause point, so that the
    // pumps of an operation can be counted.
    void SetPumpInterval(std::chrono::steady_clock::duration interval) { pumpInterval_ = interval; }
    // Later loads decode at full size (true) or at the working size (false).
    void SetFullSize(bool fullSize) { fullSize_ = fullSize; }
    bool fullSize() const { return fullSize_; }

    // --- Operations of the core, also used by tests. ---

    // Replaces the picture by the file's; throws VexoError or Terminate and
    // then changes nothing.
    void LoadImage(const std::string& path);
    // The part of LoadImage after decoding: replaces the picture state by the
    // decoder's picture (named after `path`) and shows it.
    void LoadDecoded(std::unique_ptr<JpegDecoder> decoder, const std::string& path);
    void Refresh(bool withSender);
    void RenderPlane(const GrayPlane& plane);
    // Runs the selected operation inside the frame.
    void RunOperation();

    bool busy() const { return busy_; }
    bool terminated() const { return terminated_; }
    // The window was closed during an operation: it closes once the handler returns.
    bool closeRequested() const { return closeRequested_; }
    const Controls& controls() const { return controls_; }
    ImageState& image() { return image_; }
    LineLists& lines() { return *lines_; }
    ProgressBar& progress() { return progress_; }
    Screen& screen() { return screen_; }
    const OperationRecord& lastOperation() const { return lastOperation_; }
    const FindGridRecord& lastFindGrid() const { return lastFindGrid_; }

private:
    // A pipeline works on the workbench's picture, lines, screen and record.
    friend class Pipeline;

    // Hands pending events to the window; stops the operation when it has
    // been cancelled or the window closed meanwhile.
    void Pump();
    // A pause point of long work: pumps once the pump interval has passed
    // since the last pump.
    void Pause();
    void LoadDecoded(std::unique_ptr<JpegDecoder> decoder, const std::string& path, GrayPlane plane0);
    void ParameterTextChanged();
    void RunFindGrid();
    void OperationChanged();
    template <typename F>
    void Guarded(F&& handler);

    Screen& screen_;
    ImageState image_;
    std::unique_ptr<LineLists> lines_;
    ProgressBar progress_;
    Controls controls_;
    OperationRecord lastOperation_;
    FindGridRecord lastFindGrid_;
    std::vector<uint8_t> displayRow_;
    bool busy_ = false;
    bool terminated_ = false;
    bool closeRequested_ = false;
    bool cancelRequested_ = false;
    bool fullSize_ = false;
    std::chrono::steady_clock::duration pumpInterval_ = std::chrono::milliseconds(50);
    std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace vexo
