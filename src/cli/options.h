// The command line of vexo-cli: one picture, the user actions to replay on it
// in the order given, and the outputs to write at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/step_record.h"

namespace vexo::cli {

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
    bool fullSize = false;  // decode at 1/1 whatever the picture's size

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
