// vexo-cli over folders of photos: the grid search (operation 16) on 200
// pictures of 640 x 480 and on 50 of 4000 x 3000, each writing its PNG and
// its report. Compared: one process per picture run one after the other,
// and one process for the folder with --jobs 1 and --jobs 2.
// Counters: pictures per second; the processor time per picture (user and
// system, all threads), which tells the work apart from the waiting on a busy
// machine; the peak memory (resident set) of the process, for one process per
// picture the largest of them.
// Runs vexo-cli as a program; the pictures are made once in a temporary folder.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_jpegs.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

struct Set {
    const char* name;
    int width, height, count;
};
const Set kSets[] = {{"small", 640, 480, 200}, {"large", 4000, 3000, 50}};

// The folder removes itself when the program ends.
struct TemporaryFolder {
    fs::path path = fs::temp_directory_path() / ("vexo_batch_bench_" + std::to_string(::getpid()));
    ~TemporaryFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& Root() {
    static const TemporaryFolder folder;
    return folder.path;
}

// A photograph of a grid: light background, soft dark lines every 1/10 of
// the sides, slightly slanted; `seed` shifts the lines.
std::vector<uint8_t> GridPhoto(int width, int height, int seed) {
    std::vector<uint8_t> samples(std::size_t(width) * std::size_t(height));
    const double sx = width / 10.0, sy = height / 10.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double hy = y + 0.006 * x + seed, vx = x - 0.004 * y + 2 * seed;
            const double dh = std::abs(hy - sy * std::round(hy / sy)) * 480.0 / height;
            const double dv = std::abs(vx - sx * std::round(vx / sx)) * 640.0 / width;
            const double d = std::min(dh, dv);
            const double v = 190.0 + 15.0 * x / width - (d < 1.5 ? 60.0 : d < 3.0 ? 25.0 : 0.0);
            samples[std::size_t(y) * width + x] = static_cast<uint8_t>(v);
        }
    return samples;
}

// Writes the pictures of a set: ten different photographs, copied under
// more names up to the count.
void MakePictures(const Set& set, const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<std::vector<uint8_t>> files;
    for (int seed = 0; seed < 10; ++seed) {
        testjpeg::JpegOptions options;
        options.width = set.width;
        options.height = set.height;
        files.push_back(testjpeg::EncodeJpeg(options, GridPhoto(set.width, set.height, seed)));
    }
    for (int i = 0; i < set.count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo-%04d.jpg", i);
        const std::vector<uint8_t>& bytes = files[std::size_t(i) % files.size()];
        std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::ofstream(folder / "done") << "";
}

// The folder of a set, made on first use. It is made by a child process:
// the peak memory that the kernel reports for a program this process starts
// counts this process's own size at the fork, which must stay small.
fs::path Pictures(const Set& set) {
    const fs::path folder = Root() / set.name;
    if (fs::exists(folder / "done")) return folder;
    const pid_t pid = ::fork();
    if (pid == 0) {
        MakePictures(set, folder);
        ::_exit(0);
    }
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return folder;
}

struct ProcessRun {
    bool ok = false;
    long peakKilobytes = 0;
    double processorSeconds = 0;
};

ProcessRun RunProgram(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    ProcessRun run;
    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return run;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKilobytes = usage.ru_maxrss;
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    run.processorSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return run;
}

void Report(benchmark::State& state, double seconds, int pictures, const ProcessRun& run) {
    state.SetIterationTime(seconds);
    state.counters["pictures_per_second"] = pictures / seconds;
    state.counters["cpu_ms_per_picture"] = 1000.0 * run.processorSeconds / pictures;
    state.counters["peak_MB"] = run.peakKilobytes / 1024.0;
}

using Clock = std::chrono::steady_clock;

// Times `run(pictures, out)` on the set of state.range(0), with an empty
// output folder each time.
template <typename Run>
void Measure(benchmark::State& state, Run&& run) {
    const Set& set = kSets[state.range(0)];
    const fs::path pictures = Pictures(set);
    const fs::path out = Root() / "out";
    for (auto _ : state) {
        fs::remove_all(out);
        fs::create_directories(out);
        const auto start = Clock::now();
        const ProcessRun result = run(set, pictures, out);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!result.ok) state.SkipWithError("vexo-cli failed");
        Report(state, seconds, set.count, result);
    }
}

// --jobs N over the folder (N = state.range(1)).
void BM_Folder(benchmark::State& state) {
    const std::string jobs = std::to_string(state.range(1));
    Measure(state, [&](const Set&, const fs::path& pictures, const fs::path& out) {
        return RunProgram({VEXO_CLI_PATH, pictures.string(), "--op", "16", "--out", out.string(), "--jobs", jobs,
                           "--no-progress"});
    });
    state.SetLabel(std::string(kSets[state.range(0)].name) + " --jobs " + jobs);
}

// One vexo-cli per picture, one after the other, with the same outputs.
void BM_ProcessPerPicture(benchmark::State& state) {
    Measure(state, [](const Set& set, const fs::path& pictures, const fs::path& out) {
        ProcessRun all;
        all.ok = true;
        for (int i = 0; i < set.count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "photo-%04d", i);
            const ProcessRun run =
                RunProgram({VEXO_CLI_PATH, (pictures / (std::string(name) + ".jpg")).string(), "--op", "16", "--png",
                            (out / (std::string(name) + ".png")).string(), "--json",
                            (out / (std::string(name) + ".json")).string()});
            all.ok &= run.ok;
            all.peakKilobytes = std::max(all.peakKilobytes, run.peakKilobytes);
            all.processorSeconds += run.processorSeconds;
        }
        return all;
    });
    state.SetLabel(std::string(kSets[state.range(0)].name) + " one process each");
}

BENCHMARK(BM_ProcessPerPicture)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_Folder)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 1})
    ->Args({1, 2})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vexo
