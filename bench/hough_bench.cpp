// The Hough line transforms on the edge picture of a soft grid photograph,
// against the plain version (one division per vote, whole window scans).
// Counters: samples = edge samples, votes = samples * n, lines found.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/plane.h"
#include "core/work_hooks.h"
#include "filters/intensity.h"
#include "filters/sobel.h"
#include "lines/hough.h"
#include "lines/hough_detail.h"
#include "lines/line_list.h"
#include "reference_hough.h"

namespace vexo {
namespace {

// A photograph of a grid: a light, unevenly lit background with grain, and
// soft dark lines about every 50 pixels, slightly slanted, 3 pixels wide with
// blurred borders.
Plane GridPhoto(int width, int height) {
    Plane p = Plane::Allocate(width, height);
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> grain(-3, 3);
    const double spacing = 50.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double v = 175.0 + 20.0 * double(x) / width - 15.0 * double(y) / height;
            // Distance to the nearest horizontal and vertical line, each line
            // tilted by about half a degree.
            const double hy = y + 0.008 * x;
            const double vx = x - 0.006 * y;
            const double dh = std::abs(hy - spacing * std::round(hy / spacing));
            const double dv = std::abs(vx - spacing * std::round(vx / spacing));
            const double d = std::min(dh, dv);
            if (d < 3.5) v -= 45.0 * std::clamp(3.5 - d, 0.0, 2.0) / 2.0;
            p.at(x, y) = uint8_t(std::clamp(int(std::lround(v)) + grain(rng), 0, 255));
        }
    }
    return p;
}

// As the grid pipelines prepare it: Sobel with threshold 50, then the
// responses from the limit up erased.
Plane EdgePicture(int width, int height, bool vertical) {
    const Plane photo = GridPhoto(width, height);
    Plane convolved = Plane::Allocate(width, height);
    ConvolveThreshold(photo, convolved, vertical ? verticalSobelKernel : horizontalSobelKernel, 50, [] {});
    Plane edges = Plane::Allocate(width, height);
    EraseHighIntensity(convolved, edges, vertical ? 150 : 200);
    return edges;
}

int64_t EdgeSamples(const Plane& p) {
    int64_t count = 0;
    for (std::size_t i = 0; i < p.size(); ++i) count += p.begin()[i] != 0;
    return count;
}

// The machine is shared: the median of a few repetitions of the fast runs.
void Sizes(benchmark::internal::Benchmark* bench) {
    bench->Args({640, 480})->Args({1600, 1200})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
    bench->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
}

// The fast transform or the plain one, with the grid pipelines' threshold
// for the picture size or with threshold 0.
void RunTransform(benchmark::State& state, bool vertical, bool plain, bool thresholdZero) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const Plane edges = EdgePicture(width, height, vertical);
    Plane marks = Plane::Allocate(width, height);
    const WorkHooks hooks;
    const int32_t threshold = thresholdZero ? 0
                              : vertical    ? int32_t(std::nearbyint(height / 4.0))
                              : width < 700 ? width / 4
                                            : int32_t(std::nearbyint(width / 4.3));
    int64_t lines = 0;
    for (auto _ : state) {
        LineLists lists;
        if (plain)
            reference::Hough(edges, marks, threshold, lists, hooks, vertical);
        else if (vertical)
            HoughVertical(edges, marks, threshold, lists, hooks);
        else
            HoughHorizontal(edges, marks, threshold, lists, hooks);
        lines = int64_t((vertical ? lists.verticalLines : lists.horizontalLines).size());
    }
    const int64_t samples = EdgeSamples(edges);
    state.counters["samples"] = double(samples);
    state.counters["votes"] = double(samples * std::max(width, height));
    state.counters["lines"] = double(lines);
}

void BM_HoughHorizontal(benchmark::State& state) { RunTransform(state, false, false, false); }
void BM_HoughHorizontalPlain(benchmark::State& state) { RunTransform(state, false, true, false); }
void BM_HoughVertical(benchmark::State& state) { RunTransform(state, true, false, false); }
void BM_HoughVerticalPlain(benchmark::State& state) { RunTransform(state, true, true, false); }
// Every nonzero counter survives the threshold: the peak search at its busiest.
void BM_HoughHorizontalThresholdZero(benchmark::State& state) { RunTransform(state, false, false, true); }

BENCHMARK(BM_HoughHorizontal)->Apply(Sizes);
BENCHMARK(BM_HoughHorizontalPlain)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HoughHorizontalPlain)->Args({4000, 3000})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HoughVertical)->Apply(Sizes);
BENCHMARK(BM_HoughVerticalPlain)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HoughVerticalPlain)->Args({4000, 3000})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HoughHorizontalThresholdZero)->Apply(Sizes);

}  // namespace
}  // namespace vexo

namespace vexo {
namespace {

// Voting alone, on one thread and on two.
void BM_HoughVotes(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const int threads = int(state.range(2));
    const Plane edges = EdgePicture(width, height, false);
    const int32_t n = std::max(width, height);
    std::vector<uint16_t> table(std::size_t(n) * n);
    for (auto _ : state) {
        std::fill(table.begin(), table.end(), uint16_t(0));
        hough_detail::VoteTable(edges, hough_detail::HoughDirection::Horizontal, table.data(), n, threads);
        benchmark::DoNotOptimize(table.data());
    }
    state.SetItemsProcessed(state.iterations() * EdgeSamples(edges) * n);
}
BENCHMARK(BM_HoughVotes)->Args({1600, 1200, 1})->Args({1600, 1200, 2})->Args({4000, 3000, 1})
    ->Args({4000, 3000, 2})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vexo
