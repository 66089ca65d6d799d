// The window's cost around a command: operation 16 (the grid search) on a
// 12-megapixel picture loaded at full size, and Find Grid on a photographed
// chessboard and on the 12-megapixel picture at its working size, run from
// the real main window on the offscreen platform at several zooms and
// fitted, against the same command through the core with vexo-cli's screen.
// Goal: the window takes at most 1.2 times the core's time at every zoom
// (counter "vs_core", wall clock; "vs_core_cpu" the same in processor time,
// steadier on a busy machine).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/workbench.h"
#include "cli/cli_screen.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

namespace {

constexpr int kGridSearch = 16;

// A 4000 x 3000 photograph of a grid of 9 x 9 soft lines, 180 pixels apart (the spacing estimate reads at most about 200),
// 45 gray levels darker than an unevenly lit background with grain.
const QString& BigPicture() {
    static QTemporaryDir folder;
    static const QString path = [] {
        constexpr int kWidth = 4000, kHeight = 3000, kLines = 9;
        constexpr double kSpacing = 180.0, kDarkness = 45.0, kFade = 4.0;
        const double left = (kWidth - kSpacing * (kLines - 1)) / 2, top = (kHeight - kSpacing * (kLines - 1)) / 2;
        const double right = left + kSpacing * (kLines - 1), bottom = top + kSpacing * (kLines - 1);
        QImage picture(kWidth, kHeight, QImage::Format_Grayscale8);
        uint32_t grain = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uchar* row = picture.scanLine(y);
            const double dy = std::abs(y - top - kSpacing * std::round((y - top) / kSpacing));
            for (int x = 0; x < kWidth; ++x) {
                grain = grain * 1664525u + 1013904223u;
                double v = 178.0 + 14.0 * (2.0 * x / kWidth - 1.0) + double(grain >> 29) - 3.5;
                const double dx = std::abs(x - left - kSpacing * std::round((x - left) / kSpacing));
                double dark = 0;
                if (x >= left - kFade && x <= right + kFade && y >= top - kFade && y <= bottom + kFade)
                    dark = kDarkness * std::max(0.0, 1.0 - std::min(dx, dy) / kFade);
                row[x] = uchar(std::clamp(v - dark, 0.0, 255.0));
            }
        }
        const QString file = folder.filePath("grid-12mp.jpg");
        picture.save(file, "JPEG", 88);
        return file;
    }();
    return path;
}

// Processor time of this process, seconds: steadier than the wall clock on
// a machine shared with other work.
double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Times {
    std::vector<double> wall, processor;
    double Median(std::vector<double>& v) const {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
};

// The core's median wall and processor seconds.
double coreWall = 0, coreProcessor = 0;

void BM_CoreGridSearch(benchmark::State& state) {
    vexo::cli::CliScreen screen(true);
    vexo::Workbench workbench(screen);
    workbench.SetFullSize(true);
    workbench.FileClick(BigPicture().toStdString());
    if (!workbench.image().loaded()) {
        state.SkipWithError("the picture did not load");
        return;
    }
    Times times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessSeconds();
        workbench.ShortcutClick(kGridSearch);
        times.processor.push_back(ProcessSeconds() - processor);
        times.wall.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    coreWall = times.Median(times.wall);
    coreProcessor = times.Median(times.processor);
    state.counters["cells"] = double(workbench.lastOperation().cells.size());
}
BENCHMARK(BM_CoreGridSearch)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Argument: the zoom in thousandths, 0 for Fit to Window.
void BM_WindowGridSearch(benchmark::State& state) {
    vexo::QtScreen::autoAnswerBoxes = true;
    auto window = std::make_unique<vexo::MainWindow>();
    auto* dialog = new vexo::ProgressDialog(window.get());
    window->AttachProgressDialog(dialog);
    window->resize(1400, 1000);
    window->show();
    window->workbench().SetFullSize(true);
    window->OpenPath(BigPicture());
    if (!window->workbench().image().loaded()) {
        state.SkipWithError("the picture did not load");
        return;
    }
    if (state.range(0) == 0)
        window->SetFitToWindow(true);
    else
        window->SetZoom(double(state.range(0)) / 1000.0);
    QApplication::processEvents();
    auto* run = window->findChild<QAction*>("operationAction16");
    Times times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessSeconds();
        run->trigger();
        times.processor.push_back(ProcessSeconds() - processor);
        times.wall.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["zoom"] = window->zoom();
    state.counters["cells"] = double(window->workbench().lastOperation().cells.size());
    if (coreWall > 0) state.counters["vs_core"] = times.Median(times.wall) / coreWall;
    if (coreProcessor > 0) state.counters["vs_core_cpu"] = times.Median(times.processor) / coreProcessor;
}
BENCHMARK(BM_WindowGridSearch)
    ->Arg(1000)
    ->Arg(62)
    ->Arg(250)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// Find Grid's pictures: a photographed chessboard (800 x 600) and the
// 12-megapixel grid at its working size (1000 x 750).
QString FindGridPicture(int64_t index) {
    return index == 0 ? QStringLiteral(VEXO_SOURCE_DIR "/samples/chessboard-perspective.jpg") : BigPicture();
}

// The core's median wall and processor seconds for each picture.
double findGridCoreWall[2] = {0, 0}, findGridCoreProcessor[2] = {0, 0};

void BM_CoreFindGrid(benchmark::State& state) {
    vexo::cli::CliScreen screen(true);
    vexo::Workbench workbench(screen);
    workbench.FileClick(FindGridPicture(state.range(0)).toStdString());
    if (!workbench.image().loaded()) {
        state.SkipWithError("the picture did not load");
        return;
    }
    Times times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessSeconds();
        workbench.FindGridClick();
        times.processor.push_back(ProcessSeconds() - processor);
        times.wall.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    findGridCoreWall[state.range(0)] = times.Median(times.wall);
    findGridCoreProcessor[state.range(0)] = times.Median(times.processor);
    state.counters["cells"] = double(workbench.lastFindGrid().lattice.columns * workbench.lastFindGrid().lattice.rows);
}
BENCHMARK(BM_CoreFindGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(21)->UseRealTime();

// Arguments: the picture, and the zoom in thousandths (0 for Fit to Window).
// Each run starts from the loaded picture ("R"), as a user's would.
void BM_WindowFindGrid(benchmark::State& state) {
    vexo::QtScreen::autoAnswerBoxes = true;
    auto window = std::make_unique<vexo::MainWindow>();
    auto* dialog = new vexo::ProgressDialog(window.get());
    window->AttachProgressDialog(dialog);
    window->resize(1400, 1000);
    window->show();
    window->OpenPath(FindGridPicture(state.range(0)));
    if (!window->workbench().image().loaded()) {
        state.SkipWithError("the picture did not load");
        return;
    }
    if (state.range(1) == 0)
        window->SetFitToWindow(true);
    else
        window->SetZoom(double(state.range(1)) / 1000.0);
    QApplication::processEvents();
    auto* run = window->findChild<QAction*>("findGridAction");
    auto* restore = window->findChild<QAction*>("restorePictureAction");
    Times times;
    for (auto _ : state) {
        state.PauseTiming();
        restore->trigger();
        QApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessSeconds();
        run->trigger();
        // What the user sees: the picture painted with its lattice.
        QApplication::processEvents();
        times.processor.push_back(ProcessSeconds() - processor);
        times.wall.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    const vexo::Lattice& found = window->workbench().lastFindGrid().lattice;
    state.counters["zoom"] = window->zoom();
    state.counters["cells"] = double(found.columns * found.rows);
    const int64_t picture = state.range(0);
    if (findGridCoreWall[picture] > 0) state.counters["vs_core"] = times.Median(times.wall) / findGridCoreWall[picture];
    if (findGridCoreProcessor[picture] > 0)
        state.counters["vs_core_cpu"] = times.Median(times.processor) / findGridCoreProcessor[picture];
}
BENCHMARK(BM_WindowFindGrid)
    ->ArgsProduct({{0, 1}, {1000, 62, 250, 4000, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(21)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
