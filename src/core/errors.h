// The two ways an operation or a load can stop early.
#pragma once

#include <stdexcept>
#include <string>

namespace vexo {

// An error that ends the handler that raised it and is shown by the
// application's top-level handler (a file that cannot be opened or decoded).
class VexoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program cannot go on (memory exhausted). The message is shown in an
// error box and the main window is closed.
class Terminate : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user closed the main window while an operation ran: the operation stops
// after the step that is running.
class Stopped : public std::exception {
public:
    const char* what() const noexcept override { return "stopped"; }
};

// The user cancelled the running operation: it stops at its next event pump
// and the frame ends as after a finished operation.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

inline constexpr const char* kNotEnoughMemory = "Not enough memory! Program terminated!";
inline constexpr const char* kNodeOutOfMemory = "Out of memory by new(neu)!";

}  // namespace vexo
