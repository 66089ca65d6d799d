#include "cli/batch.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <new>
#include <optional>
#include <streambuf>
#include <system_error>
#include <thread>
#include <vector>

#include "app/workbench.h"
#include "cli/cli_screen.h"
#include "cli/image_files.h"
#include "cli/output_plan.h"
#include "cli/outputs.h"
#include "cli/picture_list.h"
#include "cli/progress_line.h"
#include "cli/report.h"
#include "cli/safe_output.h"
#include "cli/session.h"
#include "cli/shown_text.h"
#include "cli/summary.h"
#include "core/errors.h"
#include "core/work_threads.h"

namespace vexo::cli {

namespace fs = std::filesystem;

namespace {

// Where a picture's outputs go; the folders exist and can be written.
struct Targets {
    std::optional<std::string> out;
    std::optional<std::string> dump;
    std::optional<std::string> cells;
};

struct Outcome {
    SummaryRow row;
    std::vector<std::string> failures;
};

// How serious an exit status is: 3, then 2, then 4, then 0.
int Rank(int status) {
    switch (status) {
        case kExitTerminated: return 3;
        case kExitNotLoaded: return 2;
        case kExitOutputFailed: return 1;
        default: return 0;
    }
}

int MoreSerious(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

int Processors() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(CPU_COUNT(&set), 1);
    return int(std::max(std::thread::hardware_concurrency(), 1u));
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

void Say(const std::string& text) { std::cerr << "vexo-cli: " << ShownText(text) << std::endl; }

// Message boxes are kept in the report and the summary, not printed.
class Silent : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
};

Outcome RunPicture(const Options& options, const std::string& path, const std::string& name,
                   const Targets& targets) {
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    try {
        Silent silent;
        std::ostream messages(&silent);
        CliScreen screen(true, messages);
        screen.keepDisplay = targets.out || targets.dump;  // only the PNG and the dump read the display
        Workbench workbench(screen);
        const SessionResult result = RunSession(path, options, workbench, screen);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

        OutputNotes notes;
        if (targets.out || targets.dump) {
            const std::string text = JsonText(BuildReport(path, workbench, screen, result.steps));
            if (targets.out) {
                if (screen.hasBitmap) WriteDisplayPng(InFolder(*targets.out, name + ".png"), screen, notes);
                WriteReport(InFolder(*targets.out, name + ".json"), text, notes);
            }
            if (targets.dump) WriteDumpFolder(InFolder(*targets.dump, name), workbench, screen, text, notes);
        }
        if (targets.cells) WriteCellsFolder(InFolder(*targets.cells, name), workbench, notes);
        for (const OutputNote& note : notes.lines)
            if (note.failed) outcome.failures.push_back(note.text);
        const int status = result.status == kExitOk && !notes.ok ? kExitOutputFailed : result.status;
        outcome.row = MakeSummaryRow(path, workbench, screen, result, status, elapsed);
        outcome.row.outputError = notes.firstFailure;
    } catch (const std::bad_alloc&) {
        outcome.row = SummaryRow{};
        outcome.row.file = path;
        outcome.row.errors = 1;
        outcome.row.firstError = kNotEnoughMemory;
        outcome.row.exitStatus = kExitTerminated;
    }
    return outcome;
}

// The row of a folder that could not be read.
SummaryRow FolderRow(const FolderProblem& problem) {
    SummaryRow row;
    row.file = problem.folder;
    row.errors = 1;
    row.firstError = problem.text;
    row.exitStatus = kExitNotLoaded;
    return row;
}

// The pictures run on `jobs` threads; the calling thread tells each result,
// in order, as soon as it and all before it are done.
class Scheduler {
public:
    Scheduler(const Options& options, const std::vector<std::string>& paths, const std::vector<std::string>& names,
              const Targets& targets)
        : options_(options), paths_(paths), names_(names), targets_(targets), outcomes_(paths.size()) {}

    template <typename Tell>
    void Run(int jobs, ProgressPrinter* progress, Tell&& tell) {
        std::vector<std::thread> workers;
        for (int i = 0; i < jobs; ++i) {
            try {
                workers.emplace_back([this, jobs] { Work(jobs > 1); });
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the others share the pictures
            }
        }
        if (workers.empty()) Work(false);

        std::size_t told = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        while (told < paths_.size()) {
            changed_.wait_for(lock, std::chrono::milliseconds(200), [&] { return outcomes_[told].has_value(); });
            while (told < paths_.size() && outcomes_[told]) {
                Outcome outcome = std::move(*outcomes_[told]);
                outcomes_[told].reset();
                ++told;
                lock.unlock();
                tell(outcome);
                lock.lock();
            }
            if (progress) {
                const std::size_t done = done_;
                const std::string current = current_;
                lock.unlock();
                progress->Update(done, current);
                lock.lock();
            }
        }
        lock.unlock();
        for (std::thread& worker : workers) worker.join();
    }

private:
    void Work(bool alongsideOthers) {
        // Each job already has a processor of its own.
        if (alongsideOthers) SetWorkThreads(1);
        for (;;) {
            std::size_t index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (next_ == paths_.size()) return;
                index = next_++;
                current_ = paths_[index];
            }
            Outcome outcome = RunPicture(options_, paths_[index], names_[index], targets_);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                outcomes_[index] = std::move(outcome);
                ++done_;
            }
            changed_.notify_one();
        }
    }

    const Options& options_;
    const std::vector<std::string>& paths_;
    const std::vector<std::string>& names_;
    const Targets& targets_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<Outcome>> outcomes_;
    std::size_t next_ = 0;
    std::size_t done_ = 0;
    std::string current_;
};

}  // namespace

bool WantsBatch(const Options& options) {
    if (options.pictures.size() != 1 || options.anyBatchOption()) return true;
    std::error_code ec;
    return fs::is_directory(options.pictures[0], ec);
}

int RunBatch(const Options& options) {
    for (const PathOption& option : kPathOptions)
        if (option.form == Form::OnePicture && options.*(option.field)) {
            const std::string instead = option.field == &Options::straightened ? "--cells DIR" : "--out DIR";
            std::cerr << UsageLine(std::string(option.name) + " is for one picture; with several, use " + instead)
                      << std::endl;
            return kExitUsage;
        }
    const PictureList list = ListPictures(options.pictures, options.recursive);
    const std::vector<std::string> names = OutputNames(options, list.paths);
    if (auto clash = FindClash(PlanOutputs(options, &names), list.paths)) {
        std::cerr << ShownText(UsageLine(*clash)) << std::endl;
        return kExitUsage;
    }
    // Nothing runs unless every output can be written.
    if (auto problem = PrepareOutputFolders(options)) {
        Say(*problem);
        return kExitUsage;
    }

    int status = kExitOk;
    for (const FolderProblem& problem : list.problems) {
        Say(problem.text);
        status = MoreSerious(status, kExitNotLoaded);
    }
    if (list.paths.empty() && list.problems.empty()) Say("no pictures found");

    Targets targets;
    targets.out = options.out;
    targets.dump = options.dump;
    targets.cells = options.cells;

    // Without any output the summary is the result, on standard output.
    const bool anyOutput = options.out || options.dump || options.cells || options.summary;
    const std::string summaryPath = options.summary.value_or("-");
    const bool toStandardOutput = summaryPath == "-" && (options.summary || !anyOutput);
    const bool jsonLines = WantsJsonLines(summaryPath);
    // Rows on standard output go as soon as they are known; after a failed
    // write no more are tried.
    std::string summary;
    bool standardOutputFailed = false;
    auto emit = [&](const std::string& text) {
        if (!toStandardOutput) {
            summary += text;
        } else if (!standardOutputFailed && !text.empty()) {
            if (const WriteResult failure = WriteStandardOutput(text)) {
                Say(failure->Message());
                standardOutputFailed = true;
                status = MoreSerious(status, kExitOutputFailed);
            }
        }
    };
    if (!jsonLines) emit(CsvHeader());

    const bool showProgress = !options.quiet && options.progress != ProgressChoice::Never &&
                              (options.progress == ProgressChoice::Always || ::isatty(STDERR_FILENO));
    std::optional<ProgressPrinter> progress;
    if (showProgress) progress.emplace(stderr, ::isatty(STDERR_FILENO) != 0, list.paths.size());

    // Folder rows come where the folder's pictures would have come.
    std::size_t told = 0, nextProblem = 0;
    auto tellProblems = [&] {
        for (; nextProblem < list.problems.size() && list.problems[nextProblem].before <= told; ++nextProblem) {
            const SummaryRow row = FolderRow(list.problems[nextProblem]);
            emit(jsonLines ? JsonLine(row) : CsvRow(row));
        }
    };
    tellProblems();
    const int jobs = int(std::min<std::size_t>(std::size_t(options.jobs.value_or(Processors())), list.paths.size()));
    Scheduler scheduler(options, list.paths, names, targets);
    scheduler.Run(std::max(jobs, 1), progress ? &*progress : nullptr, [&](const Outcome& outcome) {
        if (progress && (toStandardOutput || !outcome.failures.empty())) progress->Clear();
        for (const std::string& failure : outcome.failures) Say(failure);
        status = MoreSerious(status, outcome.row.exitStatus);
        emit(jsonLines ? JsonLine(outcome.row) : CsvRow(outcome.row));
        ++told;
        tellProblems();
    });
    if (progress) progress->Finish(list.paths.size());

    if (options.summary && !toStandardOutput) {
        if (const WriteResult failure = WriteText(*options.summary, summary)) {
            Say(failure->Message());
            status = MoreSerious(status, kExitOutputFailed);
        }
    }
    return status;
}

}  // namespace vexo::cli
