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
#include "cli/outputs.h"
#include "cli/report.h"
#include "cli/safe_output.h"
#include "cli/session.h"
#include "core/errors.h"

namespace {

using namespace vexo::cli;

// Every file the one-picture form may write.
std::vector<std::string> PlannedOutputs(const Options& options) {
    std::vector<std::string> outputs;
    if (options.png) outputs.push_back(*options.png);
    if (options.json) outputs.push_back(*options.json);
    if (options.dump)
        for (const std::string& file : DumpFiles(*options.dump)) outputs.push_back(file);
    return outputs;
}

int RunOnePicture(const Options& options) {
    const std::string& picture = options.pictures.front();
    if (auto clash = OutputOverwritesInput(PlannedOutputs(options), {picture})) {
        std::cerr << UsageLine(*clash + ", which would be overwritten") << std::endl;
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
        for (const OutputNote& note : notes.lines) std::cerr << "vexo-cli: " << note.text << std::endl;
        written = notes.ok;
    } else {
        std::cout << Summary(workbench, screen) << std::flush;
    }
    if (result.status == kExitOk && !written) return kExitOutputFailed;
    return result.status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.options) {
        std::cerr << UsageLine(parsed.error) << std::endl;
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    if (options.help || options.version) {
        std::cout << (options.help ? HelpText() : VersionText()) << std::flush;
        return kExitOk;
    }
    InstallSignalCleanup();

    try {
        return WantsBatch(options) ? RunBatch(options) : RunOnePicture(options);
    } catch (const std::bad_alloc&) {
        std::cerr << "error: " << vexo::kNotEnoughMemory << std::endl;
        return kExitTerminated;
    } catch (const std::exception& e) {
        std::cerr << "vexo-cli: " << e.what() << std::endl;
        return kExitTerminated;
    }
}
