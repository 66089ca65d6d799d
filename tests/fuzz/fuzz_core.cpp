// A small picture, one or two operations and a parameter text into the
// workbench. Every operation on every picture must come back with the
// workbench consistent: not busy, not terminated, both line lists empty, the
// picture unchanged in size, the progress bar within its range, and no
// message besides the parameter messages and the histogram's result.
//
// Input during an operation must be ignored, except "Go on" and the track
// bar, which take effect; closing the window or cancelling during one must
// stop it cleanly at that pump. Every pause point of long work pumps.
//
// When the picture's width is 1 more than a multiple of 8, Find Grid runs at
// the end; it must change no plane and no mark and leave the workbench as it
// was. (It takes four times as long as the rest under the sanitizers, and
// fuzz_find_grid fuzzes the finder itself.)
//
// Input layout (missing bytes read as 0):
//   0      width - 1  (mod 64)         1      height - 1 (mod 64)
//   2      first operation (mod 18)    3      flags, below
//   4      second operation (mod 18); its top 3 bits: the event pump at
//          which the window is closed or the operation cancelled (0 =
//          never), with input while busy
//   5      parameter text length (mod 32); bit 5: move the segment track
//          bar to the position in bytes 0..3 (clamped to its range) before
//          GO; bit 6: cancel instead of closing
//   6..    the parameter text, then the samples, row by row, repeated
//          cyclically when fewer than width x height (all 0 when none)
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/operations.h"
#include "app/workbench.h"
#include "core/memory_screen.h"
#include "core/pixel_loop.h"
#include "lines/line_list.h"

namespace {

enum Flag : uint8_t {
    kTypeParameter = 1,   // type the text after choosing the first operation
    kGoOn = 2,            // tick "Go on"
    kRefreshBetween = 4,  // press R after the first operation
    kSecondOperation = 8,
    kSecondByShortcut = 16,  // run the second by its shortcut button instead of the list and GO
    kRetypeSecond = 32,      // type the text again before the second operation
    kMouseMove = 64,         // move the mouse over the picture at the end
    kInputWhileBusy = 128,   // click and type at every event pump of the operations
};

// Input that arrives while an operation runs is ignored: nothing runs or
// loads and of the controls only "Go on" and the track bar position change.
// With stopAtPump set, the window is closed (or the operation cancelled) at
// that pump, counted over both operations.
struct BusyInput {
    vexo::Workbench* bench = nullptr;
    int pumps = 0;
    int stopAtPump = 0;
    bool cancel = false;
    bool cancelled = false;  // a cancel was asked during the running operation
};

void OnPump(void* context) {
    auto& input = *static_cast<BusyInput*>(context);
    vexo::Workbench& bench = *input.bench;
    ++input.pumps;
    const vexo::Controls before = bench.controls();
    const uint64_t sequence = bench.lastOperation().sequence;
    bench.GoClick();
    bench.ShortcutClick(input.pumps % vexo::kOperationCount);
    bench.RefreshClick();
    bench.ChooseOperation((input.pumps * 7) % vexo::kOperationCount);
    bench.SetParameterText(input.pumps % 2 ? "abc" : "3");
    bench.SetTrackBarPosition(input.pumps);
    bench.SetGoOn(!before.goOn);
    bench.FileClick("/nonexistent/picture.jpg");
    const vexo::Controls& after = bench.controls();
    const int position = input.pumps > before.trackBar.maximum ? before.trackBar.maximum : input.pumps;
    if (after.selectedOperation != before.selectedOperation || after.parameterText != before.parameterText ||
        after.parameterValue != before.parameterValue || after.trackBar.maximum != before.trackBar.maximum ||
        after.trackBar.visible != before.trackBar.visible || bench.lastOperation().sequence != sequence ||
        !bench.busy()) {
        std::fprintf(stderr, "fuzz_core: input during an operation was not ignored\n");
        std::abort();
    }
    if (after.goOn == before.goOn || after.trackBar.position != position) {
        std::fprintf(stderr, "fuzz_core: \"Go on\" or the track bar ignored during an operation\n");
        std::abort();
    }
    if (input.pumps == input.stopAtPump) {
        if (input.cancel) {
            bench.Cancel();
            input.cancelled = true;
        } else {
            bench.Close();
        }
    }
}

[[noreturn]] void Fail(const char* what, int operation) {
    std::fprintf(stderr, "fuzz_core: %s (operation %d)\n", what, operation);
    std::abort();
}

void CheckAfter(vexo::Workbench& bench, const vexo::MemoryScreen& screen, int width, int height, int operation) {
    if (bench.busy()) Fail("still busy", operation);
    if (bench.terminated() || screen.closeRequested) Fail("program ended", operation);
    if (!bench.lines().horizontalLines.empty() || !bench.lines().verticalLines.empty())
        Fail("line lists not emptied", operation);
    const vexo::ImageState& image = bench.image();
    if (image.width != width || image.height != height || !image.loaded()) Fail("picture changed size", operation);
    if (image.activePlane > 1) Fail("active plane out of range", operation);
    for (const vexo::Plane* plane : {&image.planes[0], &image.planes[1], &image.marks})
        if (!*plane || plane->width != width || plane->height != height) Fail("plane lost", operation);
    if (screen.displayWidth != vexo::StrideFor(width) || screen.displayHeight != height)
        Fail("display has the wrong size", operation);
    if (screen.progressPosition < 0 || screen.progressPosition > screen.progressMaximum)
        Fail("progress bar out of range", operation);
    if (screen.busyCursor || screen.progressVisible) Fail("frame not closed", operation);
    for (const auto& message : screen.messages) {
        if (message.kind == vexo::RecordedMessage::Info) {
            if (message.text.rfind("Pst je ", 0) != 0) Fail("unexpected plain box", operation);
        } else if (message.text != "Wrong treshold!" && message.text != "Wrong segment size!") {
            std::fprintf(stderr, "fuzz_core: error box \"%s\"\n", message.text.c_str());
            Fail("unexpected error box", operation);
        }
    }
}

// A cancelled operation stopped at the pump of the cancel and did not move
// on; the frame's end is checked as for any operation.
void CheckCancel(vexo::Workbench& bench, BusyInput& input, int operation) {
    if (!input.cancelled) {
        if (bench.lastOperation().cancelled) Fail("cancelled without a cancel", operation);
        return;
    }
    input.cancelled = false;
    if (!bench.lastOperation().cancelled) Fail("cancel not recorded", operation);
    if (input.pumps != input.stopAtPump) Fail("pumped after the cancel", operation);
    if (bench.controls().selectedOperation != operation) Fail("cancelled operation moved on", operation);
}

// The window was closed during the operation: it stopped at that pump and
// left nothing busy behind.
bool Closed(vexo::Workbench& bench, const vexo::MemoryScreen& screen, int operation) {
    if (!bench.closeRequested()) return false;
    if (bench.busy() || screen.busyCursor || screen.progressVisible) Fail("frame not closed after close", operation);
    if (!bench.lines().horizontalLines.empty() || !bench.lines().verticalLines.empty())
        Fail("line lists not emptied after close", operation);
    return true;
}

// `out` holds the samples again and again (zeros when there are none).
VEXO_PIXEL_LOOP void FillCyclically(std::vector<uint8_t>& out, const uint8_t* samples, std::size_t count) {
    if (count == 0) {
        std::fill(out.begin(), out.end(), uint8_t(0));
        return;
    }
    for (std::size_t at = 0; at < out.size(); at += count)
        std::memcpy(out.data() + at, samples, std::min(count, out.size() - at));
}

}  // namespace

// Find Grid on the picture as the operations left it: it changes neither
// plane nor the marks, leaves the workbench idle and the progress bar as it
// was, and what it finds holds together.
void CheckFindGrid(vexo::Workbench& bench, vexo::MemoryScreen& screen) {
    const vexo::ImageState& image = bench.image();
    auto copy = [](const vexo::Plane& p) { return std::vector<uint8_t>(p.begin(), p.begin() + p.size()); };
    const std::vector<uint8_t> plane0 = copy(image.planes[0]), plane1 = copy(image.planes[1]), marks = copy(image.marks);
    const int maximum = bench.progress().maximum(), position = bench.progress().position();
    const std::size_t messages = screen.messages.size();
    bench.FindGridClick();
    if (copy(image.planes[0]) != plane0 || copy(image.planes[1]) != plane1) Fail("Find Grid changed a plane", -1);
    if (copy(image.marks) != marks) Fail("Find Grid changed the marks", -1);
    if (bench.busy()) Fail("busy after Find Grid", -1);
    if (bench.progress().maximum() != maximum || bench.progress().position() != position)
        Fail("Find Grid left the progress bar changed", -1);
    if (screen.messages.size() != messages) Fail("Find Grid showed a message", -1);
    const vexo::Lattice& l = bench.lastFindGrid().lattice;
    if (l.found && (l.columns < 1 || l.rows < 1 ||
                    l.crossings.size() != std::size_t(l.columns + 1) * std::size_t(l.rows + 1)))
        Fail("Find Grid's lattice does not hold together", -1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto byte = [&](std::size_t i) -> uint8_t { return i < size ? data[i] : 0; };
    const int width = 1 + byte(0) % 64;
    const int height = 1 + byte(1) % 64;
    const int first = byte(2) % vexo::kOperationCount;
    const uint8_t flags = byte(3);
    const int second = byte(4) % vexo::kOperationCount;
    std::size_t textLength = byte(5) % 32;
    std::size_t at = 6;
    if (at > size) at = size;
    if (textLength > size - at) textLength = size - at;
    const std::string text(reinterpret_cast<const char*>(data) + at, textLength);
    at += textLength;
    const uint8_t* samples = data + at;
    const std::size_t sampleCount = size - at;

    vexo::DecodedBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    for (int j = 0; j < 256; ++j) bitmap.palette[j] = {uint8_t(j), uint8_t(j), uint8_t(j)};
    bitmap.paletteSize = 256;
    bitmap.indices.resize(std::size_t(width) * height);
    FillCyclically(bitmap.indices, samples, sampleCount);

    vexo::MemoryScreen screen;
    vexo::Workbench bench(screen);
    bench.LoadDecoded(vexo::JpegDecoder::FromBitmap(std::move(bitmap)), "fuzz.jpg");
    if (!screen.messages.empty()) Fail("loading showed a message", -1);

    bench.SetPumpInterval(std::chrono::steady_clock::duration::zero());
    BusyInput busyInput;
    if (flags & kInputWhileBusy) {
        busyInput.bench = &bench;
        busyInput.stopAtPump = byte(4) >> 5;  // 0 (never) .. 7
        busyInput.cancel = (byte(5) & 0x40) != 0;
        screen.pumpHookContext = &busyInput;
        screen.pumpHooks.push_back(OnPump);
    }

    bench.ChooseOperation(first);
    if (flags & kTypeParameter) bench.SetParameterText(text);
    if (flags & kGoOn) bench.SetGoOn(true);
    if (byte(5) & 0x20) {
        const int position = int(uint32_t(byte(0)) | uint32_t(byte(1)) << 8 | uint32_t(byte(2)) << 16 |
                                 uint32_t(byte(3) & 0x7F) << 24);
        bench.SetTrackBarPosition(position);
        const vexo::TrackBar& bar = bench.controls().trackBar;
        if (bar.position < 0 || bar.position > bar.maximum) Fail("track bar outside its range", first);
    }
    bench.GoClick();
    if (Closed(bench, screen, first)) return 0;
    CheckAfter(bench, screen, width, height, first);
    CheckCancel(bench, busyInput, first);

    if (flags & kRefreshBetween) bench.RefreshClick();
    if (flags & kSecondOperation) {
        if (flags & kSecondByShortcut) {
            if (flags & kRetypeSecond) bench.SetParameterText(text);
            bench.ShortcutClick(second);
        } else {
            bench.ChooseOperation(second);
            if (flags & kRetypeSecond) bench.SetParameterText(text);
            bench.GoClick();
        }
        if (Closed(bench, screen, second)) return 0;
        CheckAfter(bench, screen, width, height, second);
        CheckCancel(bench, busyInput, second);
    }
    if (flags & kMouseMove) bench.ImageMouseMove(int(byte(0)) - 64, int(byte(1)) - 64);
    if (width % 8 == 1) CheckFindGrid(bench, screen);
    return 0;
}
