#include "cli/options.h"

#include <charconv>
#include <limits>

#include "app/operations.h"
#include "cli/output_plan.h"

namespace vexo::cli {

namespace {

// A whole decimal int: an optional "-" only when `allowSign`, then ASCII digits.
std::optional<int> ParseInt(const std::string& text, bool allowSign) {
    if (text.empty()) return std::nullopt;
    if (!allowSign && text[0] == '-') return std::nullopt;
    if (text[0] == '+') return std::nullopt;
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

Step MakeStep(StepKind kind, int number = 0) {
    Step step;
    step.kind = kind;
    step.number = number;
    return step;
}

std::optional<int> ParseOperationNumber(const std::string& text) {
    auto value = ParseInt(text, false);
    if (!value || *value < 0 || *value >= kOperationCount) return std::nullopt;
    return value;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine result;
    Options options;
    auto fail = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) return false;
            out = arguments[++i];
            return true;
        };
        std::string v;
        if (arg == "--op") {
            if (!value(v)) return fail("--op needs an operation number");
            const auto colon = v.find(':');
            Step step = MakeStep(StepKind::Op);
            auto n = ParseOperationNumber(v.substr(0, colon));
            if (!n) return fail("bad operation number '" + v.substr(0, colon) + "' (0..17)");
            step.number = *n;
            if (colon != std::string::npos) {
                step.hasText = true;
                step.text = v.substr(colon + 1);
            }
            options.steps.push_back(step);
        } else if (arg == "--shortcut") {
            if (!value(v)) return fail("--shortcut needs an operation number");
            auto n = ParseOperationNumber(v);
            if (!n) return fail("bad operation number '" + v + "' (0..17)");
            options.steps.push_back(MakeStep(StepKind::Shortcut, *n));
        } else if (arg == "--param") {
            if (!value(v)) return fail("--param needs a text");
            Step step = MakeStep(StepKind::Param);
            step.hasText = true;
            step.text = v;
            options.steps.push_back(step);
        } else if (arg == "--offset") {
            if (!value(v)) return fail("--offset needs a number");
            auto n = ParseInt(v, true);
            if (!n) return fail("bad offset '" + v + "'");
            options.steps.push_back(MakeStep(StepKind::Offset, *n));
        } else if (arg == "--go-on") {
            options.steps.push_back(MakeStep(StepKind::GoOn));
        } else if (arg == "--no-go-on") {
            options.steps.push_back(MakeStep(StepKind::NoGoOn));
        } else if (arg == "--go") {
            options.steps.push_back(MakeStep(StepKind::Go));
        } else if (arg == "--refresh") {
            options.steps.push_back(MakeStep(StepKind::Refresh));
        } else if (arg == "--find-grid") {
            options.steps.push_back(MakeStep(StepKind::FindGrid));
        } else if (const PathOption* path = FindPathOption(arg)) {
            if (!value(v)) return fail(std::string(path->name) + " needs " + path->needs);
            options.*(path->field) = v;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--full-size") {
            options.fullSize = true;
        } else if (arg == "--recursive") {
            options.recursive = true;
        } else if (arg == "--jobs") {
            if (!value(v)) return fail("--jobs needs a number");
            auto n = ParseInt(v, false);
            if (!n || *n < 1) return fail("bad job count '" + v + "' (1 or more)");
            options.jobs = *n;
        } else if (arg == "--progress") {
            options.progress = ProgressChoice::Always;
        } else if (arg == "--no-progress") {
            options.progress = ProgressChoice::Never;
        } else if (arg == "--help" || arg == "--version") {
            ParsedCommandLine info;
            info.options = Options{};
            (arg == "--help" ? info.options->help : info.options->version) = true;
            return info;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option '" + arg + "'");
        } else {
            if (arg.empty()) return fail("empty picture name");
            options.pictures.push_back(arg);
        }
    }
    if (options.pictures.empty()) return fail("missing picture");
    // An output named like an option is a forgotten value ("--png --quiet").
    for (const PathOption& path : kPathOptions) {
        const std::optional<std::string>& value = options.*(path.field);
        if (value && (value->empty() || value->rfind("--", 0) == 0))
            return fail(std::string(path.name) + " needs " + path.needs);
    }
    result.options = std::move(options);
    return result;
}

std::string UsageLine(const std::string& error) {
    return "vexo-cli: " + error +
           "; usage: vexo-cli PICTURE [--op N[:TEXT] | --shortcut N | --param TEXT | --offset K |"
           " --go-on | --no-go-on | --go | --refresh | --find-grid ...] [--full-size] [--png FILE] [--json FILE] [--dump DIR]"
           " [--cells DIR] [--straightened FILE] [--quiet]"
           " (several pictures, folders: vexo-cli --help)";
}

}  // namespace vexo::cli
