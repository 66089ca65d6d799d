// The command line of vexo-cli: the pictures (files or folders), the user
// actions to replay on each in the order given, and the outputs to write.
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

enum class ProgressChoice { Terminal, Always, Never };

struct Options {
    std::vector<std::string> pictures;  // files or folders, in the order given
    std::vector<Step> steps;
    std::optional<std::string> png;
    std::optional<std::string> json;  // "-" is standard output
    std::optional<std::string> dump;
    std::optional<std::string> cells;         // Find Grid's cells, straightened, as NAME.png
    std::optional<std::string> straightened;  // Find Grid's whole grid straightened, as PNG
    bool quiet = false;
    bool fullSize = false;  // decode at 1/1 whatever the picture's size

    // Several pictures.
    bool recursive = false;
    std::optional<std::string> out;
    std::optional<std::string> summary;  // "-" is standard output
    std::optional<int> jobs;
    ProgressChoice progress = ProgressChoice::Terminal;

    bool help = false;     // --help: nothing else is looked at
    bool version = false;  // --version: nothing else is looked at

    bool anyOutput() const { return png || json || dump || cells || straightened; }
    // An option that only several pictures use: with one picture file it
    // still runs in the form for several, so that a pattern that happens to
    // match one file gives what it gives for many.
    bool anyBatchOption() const {
        return recursive || out || summary || jobs || progress != ProgressChoice::Terminal;
    }
};

struct ParsedCommandLine {
    std::optional<Options> options;  // none on a usage error
    std::string error;               // why the command line was refused
};

// `arguments` excludes the program name. Nothing is checked on disk here.
// --help or --version ends the reading: what follows it is not looked at.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The one-line usage message: the reason, then the synopsis of one picture
// and where to read more.
std::string UsageLine(const std::string& error);

}  // namespace vexo::cli
