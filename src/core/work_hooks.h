// What long work may call back into while it runs, without knowing the screen:
// the event pump and a progress step.
#pragma once

#include <functional>

namespace vexo {

// Handles pending window events, then returns. Called from the thread that
// started the work; it may throw to stop the work (the window is closing).
using EventPump = std::function<void()>;

// Work that reports its stages: `step` after each finished stage. `pump`, when
// set, is for work that can hand pending events to the window between pieces
// of its own (from the calling thread only, never from a helper thread); work
// that does not say it pumps never calls it. Either may be left empty.
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

}  // namespace vexo
