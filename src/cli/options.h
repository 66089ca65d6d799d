// The command line of vexo-cli: one picture, the user actions to replay on it
// in the order given, and the outputs to write at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexo::cli {

enum class StepKind { Op, Shortcut, Param, Offset, GoOn, NoGoOn, Go, Refresh };

// The name of a step kind in the report ("op", "go-on", ...).
const char* StepName(StepKind kind);

struct Step {
    StepKind kind = StepKind::Go;
    int number = 0;        // --op N, --shortcut N, --offset K
    bool hasText = false;  // --op N:TEXT (TEXT may be empty), --param TEXT
    std::string text;
};

struct Options {
    std::string picture;
    std::vector<Step> steps;
    std::optional<std::string> png;
    std::optional<std::string> json;  // "-" is standard output
    std::optional<std::string> dump;
    bool quiet = false;

    bool anyOutput() const { return png || json || dump; }
};

struct ParsedCommandLine {
    std::optional<Options> options;  // none on a usage error
    std::string error;               // why the command line was refused
};

// `arguments` excludes the program name. Nothing is checked on disk here.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The one-line usage message: the reason, then the synopsis.
std::string UsageLine(const std::string& error);

}  // namespace vexo::cli
