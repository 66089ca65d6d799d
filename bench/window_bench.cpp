// The window's cost around an operation: operation 16 (the grid search) on a
// 12-megapixel picture loaded at full size, run from the real main window on
// the offscreen platform at several zooms and fitted, against the same
// operation through the core with vexo-cli's screen. Goal: the window takes
// at most 1.2 times the core's time at every zoom (counter "vs_core").
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/workbench.h"
#include "cli/cli_screen.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

namespace {

constexpr int kGridSearch = 16;

// The bundled 640 x 480 grid photograph blown up to 4000 x 3000 pixels.
const QString& BigPicture() {
    static QTemporaryDir folder;
    static const QString path = [] {
        const QImage sample(QStringLiteral(VEXO_SOURCE_DIR "/samples/grid-9x9.jpg"));
        const QString file = folder.filePath("grid-12mp.jpg");
        sample.convertToFormat(QImage::Format_Grayscale8)
            .scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .save(file, "JPEG", 90);
        return file;
    }();
    return path;
}

double& CoreSeconds() {
    static double seconds = 0;
    return seconds;
}

void BM_CoreGridSearch(benchmark::State& state) {
    vexo::cli::CliScreen screen(true);
    vexo::Workbench workbench(screen);
    workbench.SetFullSize(true);
    workbench.FileClick(BigPicture().toStdString());
    if (!workbench.image().loaded()) {
        state.SkipWithError("the picture did not load");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        workbench.ShortcutClick(kGridSearch);
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    CoreSeconds() = times[times.size() / 2];
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
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        run->trigger();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    state.counters["zoom"] = window->zoom();
    state.counters["cells"] = double(window->workbench().lastOperation().cells.size());
    if (CoreSeconds() > 0) state.counters["vs_core"] = times[times.size() / 2] / CoreSeconds();
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
