// What long work may call back into while it runs, without knowing the screen:
// the event pump and a progress step.
#pragma once

#include <cstdint>
#include <functional>

namespace vexo {

// Handles pending window events, then returns. Called from the thread that
// started the work; it may throw to stop the work (the operation was
// cancelled or the window is closing).
using EventPump = std::function<void()>;

// Work that reports its stages: `step` after each finished stage. `pump` is
// offered at the pause points of long work: between pieces of a few
// milliseconds at most, from the calling thread only, never from a helper
// thread. The caller decides whether a pause point hands events to the
// window (the workbench does so about every 50 ms) and may throw from it to
// stop the work; whatever the work has written so far stays. Either may be
// left empty.
struct WorkHooks {
    std::function<void()> step;
    EventPump pump;

    void Step() const {
        if (step) step();
    }
    void Pump() const {
        if (pump) pump();
    }
};

// The pause points of long work that counts its steps: Pause() offers the
// pump at once; Step() counts a step and offers it once `period` steps have
// been counted since the last offer; Count() adds steps without offering.
class PauseCounter {
public:
    PauseCounter(const EventPump& pump, uint32_t period) : pump_(pump), period_(period) {}

    void Pause() {
        steps_ = 0;
        if (pump_) pump_();
    }
    void Step() {
        if (++steps_ >= period_) Pause();
    }
    void Count(uint32_t steps) { steps_ += steps; }

private:
    const EventPump& pump_;
    const uint32_t period_;
    uint32_t steps_ = 0;
};

}  // namespace vexo
