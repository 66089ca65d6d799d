// vexo-cli: loads pictures, replays user actions on each through the same
// workbench the window uses, and writes what the window would have shown.
//
// Exit status: 0 done, 1 usage error, 2 picture not loaded, 3 the program
// would have ended (memory exhausted), 4 an output file could not be written;
// for several pictures the most serious of theirs, in the order 3, 2, 4, 0.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "cli/batch.h"
#include "cli/cli_screen.h"
#include "cli/help.h"
#include "cli/options.h"
#include "cli/output_plan.h"
#include "cli/outputs.h"
#include "cli/report.h"
#include "cli/safe_output.h"
#include "cli/session.h"
#include "cli/shown_text.h"
#include "core/errors.h"

namespace {

using namespace vexo::cli;

void Say(const std::string& text) { std::cerr << "vexo-cli: " << ShownText(text) << std::endl; }

int RunOnePicture(const Options& options) {
    const std::string& picture = options.pictures.front();
    if (auto clash = FindClash(PlanOutputs(options, nullptr), {picture})) {
        std::cerr << ShownText(UsageLine(*clash)) << std::endl;
        return kExitUsage;
    }
    CliScreen screen(options.quiet);
    screen.keepDisplay = options.png || options.dump;  // nothing else reads the displayed picture
    vexo::Workbench workbench(screen);
    const SessionResult result = RunSession(picture, options, workbench, screen);

    bool written = true;
    if (options.anyOutput()) {
        const std::string text = vexo::JsonText(BuildReport(picture, workbench, screen, result.steps));
        const OutputNotes notes = WriteOutputs(options, workbench, screen, text);
        for (const OutputNote& note : notes.lines) Say(note.text);
        written = notes.ok;
    } else if (const WriteResult failure = WriteStandardOutput(Summary(workbench, screen, result.steps))) {
        Say(failure->Message());
        written = false;
    }
    if (result.status == kExitOk && !written) return kExitOutputFailed;
    return result.status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.options) {
        std::cerr << ShownText(UsageLine(parsed.error)) << std::endl;
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    std::vector<std::string> outputs;
    for (const PathOption& option : kPathOptions)
        if (const std::optional<std::string>& value = options.*(option.field)) outputs.push_back(*value);
    TakeStartingDescriptors(outputs);
    InstallSignalCleanup();

    int status = kExitOk;
    try {
        if (options.help || options.version) {
            if (const WriteResult failure = WriteStandardOutput(options.help ? HelpText() : VersionText())) {
                Say(failure->Message());
                status = kExitOutputFailed;
            }
        } else {
            status = WantsBatch(options) ? RunBatch(options) : RunOnePicture(options);
        }
    } catch (const std::bad_alloc&) {
        std::cerr << "error: " << vexo::kNotEnoughMemory << std::endl;
        return kExitTerminated;
    } catch (const std::exception& e) {
        Say(e.what());
        return kExitTerminated;
    }
    if (const WriteResult failure = CloseStandardOutput()) {
        Say(failure->Message());
        if (status == kExitOk) status = kExitOutputFailed;
    }
    return status;
}
