// Loading a picture file against libjpeg decoding the same file alone, with
// the same settings (gray output, 236 levels, Floyd-Steinberg dithering, the
// same scale), rows into one reused buffer as libjpeg's own command-line tool
// does. The load is what vexo-cli does for a picture without outputs: read
// the file, decode, make the planes, and no display rows. Each Load iteration
// also runs the plain decode, so the counter `ratio` (load time / plain
// decode time) compares the two under the same conditions; the Plain
// benchmarks show the decode on its own.
//
// Arguments: width, height, and 1 for the default (working) size or 0 for
// full size. The pictures are colour photographs as a phone stores them
// (YCbCr with 2 x 2 chroma subsampling, quality 90).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "app/workbench.h"
#include "core/memory_screen.h"
#include "test_jpegs.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

// The file of a width x height picture, written once per run.
const fs::path& PictureFile(int width, int height) {
    static std::map<std::pair<int, int>, fs::path> files;
    fs::path& path = files[{width, height}];
    if (path.empty()) {
        path = fs::temp_directory_path() / ("vexo_load_bench_" + std::to_string(::getpid()) + "_" +
                                            std::to_string(width) + "x" + std::to_string(height) + ".jpg");
        testjpeg::JpegOptions options;
        options.width = width;
        options.height = height;
        options.colour = testjpeg::Colour::kRgb;
        const std::vector<uint8_t> jpeg = testjpeg::RandomJpeg(options, 17);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                    std::streamsize(jpeg.size()));
        std::atexit([] {
            for (const auto& [size, file] : files) fs::remove(file);
        });
    }
    return path;
}

// The scale M of M/8 the loader picks for a picture of this size.
int WorkingScale(int width, int height, bool workingSize) {
    if (!workingSize) return 8;
    for (int m = 8; m >= 1; --m) {
        const int w = (width * m + 7) / 8, h = (height * m + 7) / 8;
        if (w <= kWorkingSide && h <= kWorkingSide) return m;
    }
    return 1;
}

// libjpeg alone: the file decoded at scale M/8 with the loader's settings,
// every row into the same buffer.
void PlainDecode(const fs::path& path, int scale) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = static_cast<unsigned>(scale);
    cinfo.scale_denom = 8;
    cinfo.do_block_smoothing = TRUE;
    cinfo.out_color_space = JCS_GRAYSCALE;
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 236;
    cinfo.dither_mode = JDITHER_FS;
    cinfo.two_pass_quantize = FALSE;
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(cinfo.output_width);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    benchmark::DoNotOptimize(row.data());
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
}

void Load(const fs::path& path, bool workingSize) {
    MemoryScreen screen;
    screen.keepDisplay = false;
    Workbench workbench(screen);
    workbench.SetFullSize(!workingSize);
    workbench.LoadImage(path.string());
    benchmark::DoNotOptimize(workbench.image().planes[0].begin());
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_Plain(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const fs::path& path = PictureFile(width, height);
    const int scale = WorkingScale(width, height, state.range(2) != 0);
    for (auto _ : state) PlainDecode(path, scale);
    state.SetLabel("scale " + std::to_string(scale) + "/8");
}

void BM_Load(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const bool workingSize = state.range(2) != 0;
    const fs::path& path = PictureFile(width, height);
    const int scale = WorkingScale(width, height, workingSize);
    double plain = 0, load = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        PlainDecode(path, scale);
        const auto t1 = std::chrono::steady_clock::now();
        Load(path, workingSize);
        const auto t2 = std::chrono::steady_clock::now();
        plain += Seconds(t1 - t0);
        load += Seconds(t2 - t1);
        state.SetIterationTime(Seconds(t2 - t1));
    }
    state.counters["ratio"] = plain > 0 ? load / plain : 0;
    state.SetLabel("scale " + std::to_string(scale) + "/8");
}

void Cases(benchmark::internal::Benchmark* bench) {
    for (const auto& size : {std::pair{640, 480}, std::pair{4000, 3000}})
        for (int workingSize : {0, 1}) bench->Args({size.first, size.second, workingSize});
    bench->ArgNames({"width", "height", "working"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Plain)->Apply(Cases);
BENCHMARK(BM_Load)->Apply(Cases)->UseManualTime();

}  // namespace
}  // namespace vexo
