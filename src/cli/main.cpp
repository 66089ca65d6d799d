// vexo-cli: loads one picture, replays user actions on it through the same
// workbench the window uses, and writes what the window would have shown.
//
// Exit status: 0 done, 1 usage error, 2 picture not loaded, 3 the program
// would have ended (memory exhausted), 4 an output file could not be written.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "cli/cli_screen.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "cli/report.h"
#include "cli/session.h"
#include "core/errors.h"

namespace {

constexpr int kExitOutputFailed = 4;

}  // namespace

int main(int argc, char** argv) {
    using namespace vexo::cli;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.options) {
        std::cerr << UsageLine(parsed.error) << std::endl;
        return kExitUsage;
    }
    const Options& options = *parsed.options;

    try {
        CliScreen screen(options.quiet);
        screen.keepDisplay = options.png || options.dump;  // nothing else reads the displayed picture
        vexo::Workbench workbench(screen);
        const SessionResult result = RunSession(options, workbench, screen);

        bool written = true;
        if (options.anyOutput()) {
            const std::string text = ReportText(BuildReport(options.picture, workbench, screen, result.steps));
            written = WriteOutputs(options, workbench, screen, text);
        } else {
            std::cout << Summary(workbench, screen) << std::flush;
        }
        if (result.status == kExitOk && !written) return kExitOutputFailed;
        return result.status;
    } catch (const std::bad_alloc&) {
        std::cerr << "error: " << vexo::kNotEnoughMemory << std::endl;
        return kExitTerminated;
    } catch (const std::exception& e) {
        std::cerr << "vexo-cli: " << e.what() << std::endl;
        return kExitTerminated;
    }
}
