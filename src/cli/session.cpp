#include "cli/session.h"

#include <new>

#include "app/grid_report.h"
#include "core/errors.h"

namespace vexo::cli {

namespace {

void Perform(const Step& step, Workbench& workbench) {
    switch (step.kind) {
        case StepKind::Op:
            workbench.ChooseOperation(step.number);
            if (step.hasText) workbench.SetParameterText(step.text);
            workbench.GoClick();
            break;
        case StepKind::Shortcut: workbench.ShortcutClick(step.number); break;
        case StepKind::Param: workbench.SetParameterText(step.text); break;
        case StepKind::Offset: workbench.SetTrackBarPosition(step.number); break;
        case StepKind::GoOn: workbench.SetGoOn(true); break;
        case StepKind::NoGoOn: workbench.SetGoOn(false); break;
        case StepKind::Go: workbench.GoClick(); break;
        case StepKind::Refresh: workbench.RefreshClick(); break;
        case StepKind::FindGrid: workbench.FindGridClick(); break;
    }
}

// What the log gained since it held `before` items; a log that was emptied
// in between gained all it holds now.
std::vector<std::string> LogAdded(const std::vector<std::string>& log, std::size_t before) {
    if (log.size() < before) return log;
    return {log.begin() + static_cast<std::ptrdiff_t>(before), log.end()};
}

// The workbench shows its own errors; anything that still escapes a handler is
// shown the way the window's top-level handler would show it.
bool Guard(MemoryScreen& screen, auto&& action) {
    try {
        action();
        return true;
    } catch (const Terminate& e) {
        screen.ErrorBox(e.what());
    } catch (const std::bad_alloc&) {
        screen.ErrorBox(kNotEnoughMemory);
    } catch (const std::exception& e) {
        screen.ApplicationErrorBox(e.what());
        return true;
    }
    return false;
}

}  // namespace

SessionResult RunSession(const std::string& picture, const Options& options, Workbench& workbench,
                         MemoryScreen& screen) {
    SessionResult result;
    workbench.SetFullSize(options.fullSize);
    bool alive = Guard(screen, [&] { workbench.FileClick(picture); });
    const bool loaded = workbench.image().loaded();
    if (!alive || workbench.terminated()) {
        result.status = kExitTerminated;
        return result;
    }

    for (const Step& step : options.steps) {
        const uint64_t sequenceBefore = workbench.lastOperation().sequence;
        const uint64_t gridsBefore = workbench.lastFindGrid().sequence;
        const std::size_t messagesBefore = screen.messages.size();
        const std::size_t logBefore = screen.log.size();

        alive = Guard(screen, [&] { Perform(step, workbench); });

        StepRecord record;
        record.kind = step.kind;
        const OperationRecord& last = workbench.lastOperation();
        const bool ran = last.sequence != sequenceBefore;
        if (ran) {
            TakeOperation(record, last);
        } else {
            record.parameterText = workbench.controls().parameterText;
        }
        if (step.kind == StepKind::FindGrid) {
            // Without a picture nothing ran: no grid.
            record.grid = workbench.lastFindGrid().sequence != gridsBefore ? workbench.lastFindGrid() : FindGridRecord{};
            record.cells = LatticeCells(*record.grid);
        }
        if (screen.messages.size() > messagesBefore)
            record.messages.assign(screen.messages.begin() + static_cast<std::ptrdiff_t>(messagesBefore),
                                   screen.messages.end());
        record.caption = screen.caption;
        record.label = screen.readout;
        record.activePlane = workbench.image().activePlane;
        record.logAdded = LogAdded(screen.log, logBefore);
        record.progressMaximum = workbench.progress().maximum();
        record.progressPosition = workbench.progress().position();
        result.steps.push_back(std::move(record));

        if (!alive || workbench.terminated()) {
            result.status = kExitTerminated;
            return result;
        }
    }
    if (!loaded) result.status = kExitNotLoaded;
    return result;
}

}  // namespace vexo::cli
