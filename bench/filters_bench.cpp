// Throughput of the pixel filters on a small and a large picture; items are
// samples (inner samples for the convolutions).
#include <benchmark/benchmark.h>

#include "filter_pictures.h"
#include "filters/chain_filter.h"
#include "filters/intensity.h"
#include "filters/sobel.h"

namespace vexo {
namespace {

void PictureSizes(benchmark::internal::Benchmark* bench) {
    bench->Args({640, 480})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
}

int64_t InnerSamples(int width, int height) { return int64_t(width - 2) * int64_t(height - 2); }

void BM_ConvolveThreshold(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const Plane source = test::RandomPlane(width, height, 1);
    Plane destination = Plane::Allocate(width, height);
    int pumps = 0;
    for (auto _ : state) {
        ConvolveThreshold(source, destination, horizontalSobelKernel, 50, [&] { ++pumps; });
        benchmark::DoNotOptimize(destination.begin());
    }
    state.SetItemsProcessed(state.iterations() * InnerSamples(width, height));
}
BENCHMARK(BM_ConvolveThreshold)->Apply(PictureSizes);

void BM_SobelEdgeSearch(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const Plane source = test::RandomPlane(width, height, 2);
    Plane marks = Plane::Allocate(width, height);
    int pumps = 0;
    for (auto _ : state) {
        SobelEdgeSearch(source, marks, horizontalSobelKernel, verticalSobelKernel, 100, [&] { ++pumps; });
        benchmark::DoNotOptimize(marks.begin());
    }
    state.SetItemsProcessed(state.iterations() * InnerSamples(width, height));
}
BENCHMARK(BM_SobelEdgeSearch)->Apply(PictureSizes);

void BM_Segment(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const Plane source = test::RandomPlane(width, height, 3);
    Plane destination = Plane::Allocate(width, height);
    for (auto _ : state) {
        Segment(source, destination, 30, 5);
        benchmark::DoNotOptimize(destination.begin());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(source.size()));
}
BENCHMARK(BM_Segment)->Apply(PictureSizes);

void BM_EraseHighIntensity(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const Plane source = test::RandomPlane(width, height, 4);
    Plane destination = Plane::Allocate(width, height);
    for (auto _ : state) {
        EraseHighIntensity(source, destination, 130);
        benchmark::DoNotOptimize(destination.begin());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(source.size()));
}
BENCHMARK(BM_EraseHighIntensity)->Apply(PictureSizes);

// Wandering chains across the picture (one per 20 rows or columns) over 2 %
// noise; every iteration filters a fresh copy, the copy outside the timing.
void ChainBench(benchmark::State& state, bool horizontal) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const int chains = (horizontal ? height : width) / 20;
    const Plane picture = test::ChainPicture(width, height, chains, horizontal, 0.02, 5);
    Plane plane = Plane::Allocate(width, height);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(picture.begin(), picture.begin() + picture.size(), plane.begin());
        state.ResumeTiming();
        horizontal ? ChainFilterHorizontal(plane, 80) : ChainFilterVertical(plane, 80);
        benchmark::DoNotOptimize(plane.begin());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(picture.size()));
}

void BM_ChainFilterHorizontal(benchmark::State& state) { ChainBench(state, true); }
void BM_ChainFilterVertical(benchmark::State& state) { ChainBench(state, false); }
BENCHMARK(BM_ChainFilterHorizontal)->Apply(PictureSizes);
BENCHMARK(BM_ChainFilterVertical)->Apply(PictureSizes);

}  // namespace
}  // namespace vexo
