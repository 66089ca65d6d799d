#include "app/workbench.h"

#include <new>

#include "app/lattice_drawing.h"
#include "app/operations.h"
#include "app/pipelines.h"
#include "core/errors.h"
#include "core/picture_file.h"
#include "core/render.h"
#include "lines/line_list.h"

namespace vexo {

Workbench::Workbench(Screen& screen)
    : screen_(screen), lines_(std::make_unique<LineLists>()), progress_(screen) {}

// Closing the main window frees the planes; the decoder ends with the program.
Workbench::~Workbench() {
    if (image_.planes[0]) FreePlanes(image_);
}

// Every handler runs through here: input that arrives while an operation runs
// (the convolutions pump events) or after the program was told to end is
// ignored, and the errors a handler raises end it and are shown.
template <typename F>
void Workbench::Guarded(F&& handler) {
    if (busy_ || terminated_) return;
    try {
        handler();
    } catch (const VexoError& error) {
        screen_.ApplicationErrorBox(error.what());
    } catch (const Terminate& error) {
        terminated_ = true;
        screen_.ErrorBox(error.what());
        screen_.RequestClose();
    } catch (const std::bad_alloc&) {
        terminated_ = true;
        screen_.ErrorBox(kNotEnoughMemory);
        screen_.RequestClose();
    } catch (const Stopped&) {
        // The window is closing; nothing more to show.
    } catch (const std::exception& error) {
        screen_.ApplicationErrorBox(error.what());
    }
}

// ---------------------------------------------------------------- handlers

void Workbench::FileClick(const std::string& path) {
    Guarded([&] {
        screen_.LogClear();
        LoadImage(path);
        controls_.goEnabled = true;
    });
}

void Workbench::RefreshClick() {
    Guarded([&] {
        if (image_.loaded()) Refresh(true);
    });
}

void Workbench::ImageMouseMove(int x, int y) {
    if (!screen_.HasDisplayBitmap() || !image_.loaded()) return;
    if (x < 0 || y < 0 || x >= image_.stride || y >= image_.height) return;
    const Rgb c = screen_.DisplayPixel(x, y);
    screen_.SetReadout(std::to_string(c.red) + ":" + std::to_string(c.green) + ":" + std::to_string(c.blue));
    screen_.SetPositionReadout(std::to_string(x) + " : " + std::to_string(y));
}

void Workbench::GoClick() {
    Guarded([&] {
        if (image_.loaded()) RunOperation();
    });
}

void Workbench::FindGridClick() {
    Guarded([&] {
        if (image_.loaded() && image_.decoder) RunFindGrid();
    });
}

void Workbench::ChooseOperation(int index) {
    if (index < -1 || index >= kOperationCount) return;
    Guarded([&] {
        controls_.selectedOperation = index;
        OperationChanged();
    });
}

void Workbench::SetParameterText(const std::string& text) {
    Guarded([&] {
        if (text == controls_.parameterText) return;
        controls_.parameterText = text;
        ParameterTextChanged();
    });
}

void Workbench::ShortcutClick(int index) {
    if (index < 0 || index >= kOperationCount) return;
    Guarded([&] {
        if (!image_.loaded()) return;
        controls_.selectedOperation = index;
        RunOperation();
    });
}

// The track bar and "Go on" stay live while an operation runs: neither can
// change the picture state under it.
void Workbench::SetTrackBarPosition(int position) {
    if (terminated_) return;
    TrackBar& tb = controls_.trackBar;
    tb.position = position < 0 ? 0 : (position > tb.maximum ? tb.maximum : position);
}

void Workbench::SetGoOn(bool checked) {
    if (terminated_) return;
    controls_.goOn = checked;
}

void Workbench::Close() {
    if (busy_) closeRequested_ = true;
}

void Workbench::Cancel() {
    if (busy_) cancelRequested_ = true;
}

void Workbench::Pump() {
    screen_.PumpEvents();
    lastPump_ = std::chrono::steady_clock::now();
    if (closeRequested_) throw Stopped();
    if (cancelRequested_) throw Cancelled();
}

void Workbench::Pause() {
    if (std::chrono::steady_clock::now() - lastPump_ >= pumpInterval_) Pump();
}

void Workbench::OperationChanged() {
    const OperationInfo* operation = FindOperation(controls_.selectedOperation);
    controls_.trackBar.visible = operation != nullptr && operation->segmentOffset;
    if (operation == nullptr) return;
    const char* text = operation->defaultText;
    if (text != nullptr && controls_.parameterText != text) {
        controls_.parameterText = text;
        ParameterTextChanged();
    }
}

void Workbench::ParameterTextChanged() {
    const auto value = ParseParameter(controls_.parameterText);
    if (!value) {
        controls_.parameterValue = -1;
        return;
    }
    controls_.parameterValue = *value;
    if (const OperationInfo* operation = FindOperation(controls_.selectedOperation);
        operation != nullptr && operation->segmentOffset) {
        const int64_t maximum = int64_t(*value) - 1;
        if (maximum >= 0) controls_.trackBar.maximum = static_cast<int>(maximum);
        controls_.trackBar.position = 0;
    }
}

// ------------------------------------------------------------------ loading

void Workbench::LoadImage(const std::string& path) {
    GrayPlane plane0;
    std::unique_ptr<JpegDecoder> decoder = DecodePictureFile(path, fullSize_, &plane0);
    LoadDecoded(std::move(decoder), path, std::move(plane0));
}

void Workbench::LoadDecoded(std::unique_ptr<JpegDecoder> decoder, const std::string& path) {
    LoadDecoded(std::move(decoder), path, GrayPlane());
}

// Nothing of the current picture changes until the new one is decoded and its
// planes are obtained. `plane0` is the decoder's copy of the picture when the
// decode made one, else empty.
void Workbench::LoadDecoded(std::unique_ptr<JpegDecoder> decoder, const std::string& path, GrayPlane plane0) {
    if (!decoder || decoder->decodedBitmap == nullptr) throw VexoError("No decoded picture");
    const GrayPlane& bitmap = *decoder->decodedBitmap;
    const int width = bitmap.width;
    const int height = bitmap.height;
    if (width < 1 || height < 1 || !bitmap) throw VexoError("Picture is empty");
    CheckPictureSize(width, height);
    if (plane0.width != width || plane0.height != height || !plane0) {
        plane0 = Plane::AllocateUnfilled(width, height);
        CheckAllocation(plane0);
        PlaneFromBitmap(bitmap, plane0);
    }
    // Plane 1 and the mark plane read as zero; their pages cost nothing until written.
    Plane plane1 = Plane::Allocate(width, height);
    CheckAllocation(plane1);
    Plane marks = Plane::Allocate(width, height);
    CheckAllocation(marks);
    displayRow_.reserve(std::size_t(StrideFor(width)) * 3);
    screen_.SizeDisplay(StrideFor(width), height);

    image_.source = decoder->Source();
    image_.decoder = std::move(decoder);
    if (image_.planes[0]) FreePlanes(image_);
    image_.width = width;
    image_.height = height;
    image_.planes[0] = std::move(plane0);
    image_.planes[1] = std::move(plane1);
    image_.marks = std::move(marks);
    image_.stride = StrideFor(width);
    image_.activePlane = 0;
    image_.title = "Vexo - " + FileNameOf(path) + " (" + std::to_string(width) + "x" + std::to_string(height) + ")";
    screen_.SetCaption(image_.title);
    // The new mark plane is clear already.
    RenderPlane(image_.planes[0]);
}

// Back to the loaded picture in plane 0. The marks are cleared only after the
// render, and only for a sender, so the screen still shows them.
void Workbench::Refresh(bool withSender) {
    if (!image_.loaded() || !image_.decoder || image_.decoder->decodedBitmap == nullptr) return;
    image_.activePlane = 0;
    PlaneFromBitmap(*image_.decoder->decodedBitmap, image_.planes[0]);
    RenderPlane(image_.planes[0]);
    if (withSender) ClearMarks(image_.marks);
}

void Workbench::RenderPlane(const GrayPlane& plane) {
    if (closeRequested_) throw Stopped();
    if (!plane || !image_.marks) return;
    vexo::RenderPlane(plane, image_.marks, image_.stride, screen_, displayRow_);
}

// ---------------------------------------------------------------- the frame

namespace {

std::vector<LineEnds> Snapshot(const LineList& list) {
    std::vector<LineEnds> out;
    for (const Line& line : list) out.push_back({line.a, line.b});
    return out;
}

}  // namespace

void Workbench::RunOperation() {
    const int index = controls_.selectedOperation;
    busy_ = true;
    struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
    } idle{busy_};

    OperationRecord fresh;
    fresh.sequence = lastOperation_.sequence + 1;
    fresh.operation = index;
    fresh.parameterText = controls_.parameterText;
    lastOperation_ = std::move(fresh);
    cancelRequested_ = false;
    lastPump_ = std::chrono::steady_clock::now();
    screen_.SetBusyCursor(true);
    progress_.SetPosition(0);
    progress_.Show();
    try {
        ClearMarks(image_.marks);
        if (const OperationInfo* operation = FindOperation(index)) {
            Pipeline pipeline(*this, *operation);
            operation->run(pipeline);
        }
    } catch (const Cancelled&) {
        // The frame ends as usual, but "Go on" does not move on.
        cancelRequested_ = false;
        lastOperation_.cancelled = true;
    } catch (...) {
        // The program is ending (memory exhausted, or the window closed):
        // leave nothing busy behind.
        lines_->horizontalLines.Clear();
        lines_->verticalLines.Clear();
        screen_.SetBusyCursor(false);
        progress_.Hide();
        throw;
    }
    lastOperation_.horizontalLines = Snapshot(lines_->horizontalLines);
    lastOperation_.verticalLines = Snapshot(lines_->verticalLines);
    lines_->horizontalLines.Clear();
    lines_->verticalLines.Clear();
    screen_.SetBusyCursor(false);
    progress_.Hide();
    if (lastOperation_.cancelled) return;
    if (controls_.goOn && index < kOperationCount - 1) controls_.selectedOperation = index + 1;
}

// Find Grid runs like an operation (busy, the progress dialog, Cancel at its
// pauses) but leaves the progress bar as it found it, and a picture too large
// for its memory is reported without ending the program.
void Workbench::RunFindGrid() {
    busy_ = true;
    struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
    } idle{busy_};
    lastFindGrid_ = FindGridRecord{lastFindGrid_.sequence + 1, false, {}, {}, image_.source, 0};
    cancelRequested_ = false;
    const auto start = std::chrono::steady_clock::now();
    lastPump_ = start;
    const int maximum = progress_.maximum(), position = progress_.position();
    auto restore = [&] {
        progress_.SetMaximum(maximum);
        progress_.SetPosition(position);
        progress_.Hide();
        screen_.SetBusyCursor(false);
    };
    screen_.SetBusyCursor(true);
    progress_.SetMaximum(kFindGridStages + 1);
    progress_.SetPosition(0);
    progress_.Show();
    try {
        const GrayPlane luminance = image_.decoder->DecodeLuminance();
        progress_.Step();
        Pause();
        const WorkHooks hooks{[this] { progress_.Step(); }, [this] { Pause(); }};
        lastFindGrid_.lattice = FindGrid(luminance, hooks);
    } catch (const Cancelled&) {
        cancelRequested_ = false;
        lastFindGrid_.cancelled = true;
        lastFindGrid_.lattice = Lattice{};
    } catch (const std::bad_alloc&) {
        restore();
        lastFindGrid_.lattice = Lattice{};
        screen_.ErrorBox(kFindGridNoMemory);
        return;
    } catch (const Terminate&) {
        restore();
        lastFindGrid_.lattice = Lattice{};
        screen_.ErrorBox(kFindGridNoMemory);
        return;
    } catch (...) {
        restore();
        throw;
    }
    lastFindGrid_.milliseconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    lastFindGrid_.source = ToSourcePixels(lastFindGrid_.lattice, image_.source.scale);
    restore();
    if (lastFindGrid_.lattice.found) DrawLattice(lastFindGrid_.lattice, screen_, image_.stride, image_.height);
}

}  // namespace vexo
