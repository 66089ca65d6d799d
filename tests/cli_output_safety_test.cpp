// vexo-cli's outputs never destroy anything: a device stays a device when
// the write onto it fails, a write that fails (a full disk) or is killed
// half-way leaves the old file whole and no partial or temporary file
// behind, and a symbolic link to an output keeps being a link. Pipes and the
// descriptors the program was started with are written where they point,
// and a write that fails there, standard output included, is a failure.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_harness.h"

namespace vexo {
namespace {

using namespace clitest;

// The names in `dir` that start with a dot: temporary files left behind.
std::vector<std::string> HiddenFiles(const fs::path& dir) {
    std::vector<std::string> hidden;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string()[0] == '.') hidden.push_back(entry.path().filename().string());
    return hidden;
}

bool IsCharacterDevice(const char* path) {
    struct stat s {};
    return ::lstat(path, &s) == 0 && S_ISCHR(s.st_mode);
}

// ------------------------------------------------------------------ devices

class CliDeviceTest : public CliTest, public testing::WithParamInterface<std::vector<std::string>> {};

// A write onto a full device fails and is reported, and the device node stays.
TEST_P(CliDeviceTest, FailedWriteOntoADeviceKeepsTheDevice) {
    ASSERT_TRUE(IsCharacterDevice("/dev/full"));
    WriteSoftGrid(Path("pic.jpg"), 160, 120);
    std::vector<std::string> arguments = GetParam();
    for (std::string& a : arguments)
        if (a == "PIC") a = Path("pic.jpg").string();
    const CliRun run = Run(arguments);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("cannot write /dev/full: No space left on device"), std::string::npos) << run.err;
    EXPECT_TRUE(IsCharacterDevice("/dev/full"));
}

INSTANTIATE_TEST_SUITE_P(Outputs, CliDeviceTest,
                         testing::Values(std::vector<std::string>{"PIC", "--op", "16", "--png", "/dev/full"},
                                         std::vector<std::string>{"PIC", "--json", "/dev/full"},
                                         std::vector<std::string>{"PIC", "PIC", "--summary", "/dev/full"}));

// -------------------------------------------------------------- a full disk

// Files may grow to 64 KiB only: the PNG and the displayed picture (180 000
// bytes each or more) fail, the planes and the report fit. The files that
// were there stay as they were.
TEST_F(CliTest, FullDiskLeavesTheOldFilesWhole) {
    WriteNoise(Path("pic.jpg"), 300, 200);
    fs::create_directories(Path("dump"));
    WriteFile(Path("old.png"), "the picture of yesterday");
    WriteFile(Path("dump/display.ppm"), "the display of yesterday");
    RunSettings settings;
    settings.fileSizeLimit = 64 * 1024;
    const CliRun run = Run({Path("pic.jpg").string(), "--png", Path("old.png").string(), "--dump",
                            Path("dump").string()},
                           settings);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("cannot write " + Path("old.png").string()), std::string::npos) << run.err;
    EXPECT_TRUE(ReadFile(Path("old.png")) == "the picture of yesterday");
    EXPECT_TRUE(ReadFile(Path("dump/display.ppm")) == "the display of yesterday");
    EXPECT_EQ(fs::file_size(Path("dump/plane0.pgm")), 60015u);
    EXPECT_EQ(nlohmann::json::parse(ReadFile(Path("dump/report.json")))["loaded"], true);
    EXPECT_TRUE(HiddenFiles(dir_).empty());
    EXPECT_TRUE(HiddenFiles(Path("dump")).empty());
}

// ------------------------------------------------------------ a killed run

struct Interruption {
    int signal;
    bool oldFile;  // whether the target held a file before
    bool batch;    // two pictures on two jobs into --out, else one into --png
};

class CliKilledTest : public CliTest, public testing::WithParamInterface<Interruption> {};

// Busy threads on every processor for as long as it lives: the run is
// preempted at any point, between creating its temporary file and noting
// it for removal among others, as on a loaded machine.
class BusyProcessors {
public:
    BusyProcessors() {
        const unsigned count = 2 * std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] {
                uint64_t spin = 0;
                while (!stop_.load(std::memory_order_relaxed)) ++spin;
                sink_ += spin;
            });
    }
    ~BusyProcessors() {
        stop_ = true;
        for (std::thread& thread : threads_) thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> sink_{0};
    std::vector<std::thread> threads_;
};

// The run is stopped, on a busy machine, as soon as a temporary file of a
// large PNG appears: the target holds the old file (or nothing), never a
// partial one, and no temporary file is left.
TEST_P(CliKilledTest, KilledWhileWritingLeavesNoPartialFile) {
    const Interruption interruption = GetParam();
    // Noise compresses slowly, which leaves time to see the write under way.
    WriteNoise(Path("noise.jpg"), 2000, 1500);
    const fs::path folder = interruption.batch ? Path("out") : dir_;
    const fs::path target = folder / "noise.png";
    fs::create_directories(folder);
    if (interruption.oldFile) WriteFile(target, "the picture of yesterday");
    std::vector<std::string> arguments{Path("noise.jpg").string(), "--full-size"};
    if (interruption.batch) {
        fs::copy_file(Path("noise.jpg"), Path("noise2.jpg"));
        arguments.insert(arguments.end(), {Path("noise2.jpg").string(), "--jobs", "2", "--out", folder.string()});
    } else {
        arguments.insert(arguments.end(), {"--png", target.string()});
    }
    RunSettings settings;
    settings.killSignal = interruption.signal;
    settings.killWhen = [&folder] {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".noise", 0) == 0 && name.find(".png.") != std::string::npos) return true;
        }
        return false;
    };
    CliRun run;
    {
        BusyProcessors load;
        run = Run(arguments, settings);
    }
    ASSERT_EQ(run.signal, interruption.signal) << "exit status " << run.status << ": the write was not caught";
    if (interruption.oldFile)
        EXPECT_TRUE(ReadFile(target) == "the picture of yesterday");
    else
        EXPECT_FALSE(fs::exists(target));
    // The other picture's PNG, if it was done in time, is whole.
    if (interruption.batch && fs::exists(folder / "noise2.png")) {
        const std::string png = ReadFile(folder / "noise2.png");
        ASSERT_GE(png.size(), 8u);
        EXPECT_EQ(png.substr(png.size() - 8), std::string("IEND\xAE\x42\x60\x82", 8));
    }
    EXPECT_TRUE(HiddenFiles(folder).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, CliKilledTest,
                         testing::Values(Interruption{SIGTERM, true, false}, Interruption{SIGINT, false, false},
                                         Interruption{SIGHUP, true, false}, Interruption{SIGTERM, false, true}),
                         [](const testing::TestParamInfo<Interruption>& info) {
                             const int s = info.param.signal;
                             return std::string(s == SIGTERM ? "term" : s == SIGINT ? "int" : "hup") +
                                    (info.param.oldFile ? "_over_old_file" : "_new_file") +
                                    (info.param.batch ? "_batch" : "");
                         });

// -------------------------------------------------------------- named pipes

// Reads a named pipe on a thread of its own: everything until told to stop,
// or, with `quitEarly`, nothing at all (it opens the pipe and closes it
// again as soon as a writer has come).
class PipeReader {
public:
    PipeReader(const fs::path& fifo, bool quitEarly)
        : fifo_(fifo), thread_([this, quitEarly] { Read(quitEarly); }) {}
    // Everything read; the run must have ended.
    std::string Finish() {
        stop_ = true;
        // A reader still waiting for a writer is let go.
        const int unblock = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
        if (unblock >= 0) ::close(unblock);
        thread_.join();
        return text_;
    }

private:
    void Read(bool quitEarly) {
        const int fd = ::open(fifo_.c_str(), O_RDONLY);
        if (fd < 0 || quitEarly) {
            if (fd >= 0) ::close(fd);
            return;
        }
        char buffer[4096];
        for (;;) {
            pollfd ready{fd, POLLIN, 0};
            const ssize_t n = ::poll(&ready, 1, 20) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
            if (n > 0) text_.append(buffer, std::size_t(n));
            if (n <= 0 && stop_) break;
        }
        ::close(fd);
    }

    fs::path fifo_;
    std::atomic<bool> stop_{false};
    std::string text_;
    std::thread thread_;
};

// A named pipe as an output is written in place and stays a pipe. When its
// reader has gone, the write fails (exit 4, "Broken pipe") instead of ending
// the program, and the outputs after it are still written.
TEST_F(CliTest, NamedPipeIsWrittenInPlace) {
    WriteNoise(Path("pic.jpg"), 300, 200);  // a PNG larger than a pipe holds
    const fs::path fifo = Path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto isFifo = [&] {
        struct stat s {};
        return ::lstat(fifo.c_str(), &s) == 0 && S_ISFIFO(s.st_mode);
    };

    PipeReader reader(fifo, false);
    const CliRun read = Run({Path("pic.jpg").string(), "--json", fifo.string()});
    const std::string report = reader.Finish();
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_TRUE(isFifo());
    EXPECT_EQ(nlohmann::json::parse(report.empty() ? "null" : report)["width"], 300) << report;

    PipeReader quitter(fifo, true);
    const CliRun broken =
        Run({Path("pic.jpg").string(), "--png", fifo.string(), "--json", Path("after.json").string()});
    quitter.Finish();
    EXPECT_EQ(broken.status, 4) << broken.err;
    EXPECT_NE(broken.err.find("cannot write " + fifo.string() + ": Broken pipe"), std::string::npos) << broken.err;
    EXPECT_TRUE(isFifo());
    EXPECT_EQ(nlohmann::json::parse(ReadFile(Path("after.json")))["width"], 300);
}

// ------------------------------------------- descriptors the program was given

class CliDescriptorTest : public CliTest, public testing::WithParamInterface<std::vector<std::string>> {};

// /dev/stdout and its other names write to the descriptor the shell opened:
// appended to what ">>" already holds, never replacing the file behind it.
TEST_P(CliDescriptorTest, WritesWhereTheShellPointsIt) {
    WriteGrayJpeg(Path("a.jpg"), 8, 8, [](int, int) { return 60; });
    WriteGrayJpeg(Path("b.jpg"), 8, 8, [](int, int) { return 90; });
    WriteFile(Path("stdout.txt"), "build step 1\n");
    struct stat before {};
    ::stat(Path("stdout.txt").c_str(), &before);
    std::vector<std::string> arguments = GetParam();
    for (std::string& a : arguments)
        if (a == "A" || a == "B") a = Path(a == "A" ? "a.jpg" : "b.jpg").string();
    RunSettings settings;
    settings.standardOutput = StandardOutput::Append;
    const CliRun run = Run(arguments, settings);
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat after {};
    ::stat(Path("stdout.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(run.out.rfind("build step 1\n", 0), 0u) << run.out;
    const std::string written = run.out.substr(13);
    if (arguments.back() == "--no-progress")
        EXPECT_EQ(written.rfind("file,loaded,", 0), 0u) << written;
    else
        EXPECT_EQ(nlohmann::json::parse(written)["width"], 8) << written;
    EXPECT_TRUE(HiddenFiles(dir_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, CliDescriptorTest,
    testing::Values(std::vector<std::string>{"A", "B", "--summary", "/dev/stdout", "--no-progress"},
                    std::vector<std::string>{"A", "--json", "/proc/self/fd/1"},
                    std::vector<std::string>{"A", "--json", "/dev/fd/1"},
                    std::vector<std::string>{"A", "--json", "/dev/stdout"}));

// ----------------------------------------------------------- standard output

struct StandardOutputCase {
    StandardOutput where;
    std::vector<std::string> arguments;  // after the pictures a.jpg and, for several, b.jpg
};

class CliStandardOutputTest : public CliTest, public testing::WithParamInterface<StandardOutputCase> {};

// Standard output is an output like any other: a write to it that fails
// (full, closed, a reader that has gone) is exit 4, said on standard error.
TEST_P(CliStandardOutputTest, FailedWriteIsExitFour) {
    const StandardOutputCase& c = GetParam();
    WriteGrayJpeg(Path("a.jpg"), 8, 8, [](int, int) { return 60; });
    WriteGrayJpeg(Path("b.jpg"), 8, 8, [](int, int) { return 90; });
    std::vector<std::string> arguments{Path("a.jpg").string()};
    for (const std::string& a : c.arguments) arguments.push_back(a == "B" ? Path("b.jpg").string() : a);
    RunSettings settings;
    settings.standardOutput = c.where;
    const CliRun run = Run(arguments, settings);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("vexo-cli: cannot write standard output: "), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CliStandardOutputTest,
    testing::Values(StandardOutputCase{StandardOutput::Full, {"--json", "-"}},
                    StandardOutputCase{StandardOutput::Full, {"B", "--summary", "-"}},
                    StandardOutputCase{StandardOutput::Full, {"B"}},
                    StandardOutputCase{StandardOutput::Full, {}},
                    StandardOutputCase{StandardOutput::Closed, {"--json", "-"}},
                    StandardOutputCase{StandardOutput::Closed, {"B", "--no-progress"}},
                    StandardOutputCase{StandardOutput::BrokenPipe, {"--json", "-"}},
                    StandardOutputCase{StandardOutput::BrokenPipe, {"B", "--summary", "-"}}));

// ------------------------------------------------------ write-protected files

// A file its user may not write is not replaced, as the shell's ">" would
// not write it: exit 4, the file untouched, the other outputs written.
TEST_F(CliTest, WriteProtectedTargetIsLeftAlone) {
    WriteGrayJpeg(Path("pic.jpg"), 8, 8, [](int, int) { return 70; });
    fs::create_directories(Path("shared"));
    fs::permissions(Path("shared"), fs::perms::all);
    WriteFile(Path("shared/r.json"), "kept");
    fs::permissions(Path("shared/r.json"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    RunSettings settings;
    settings.ordinaryUser = true;
    const CliRun run = Run({Path("pic.jpg").string(), "--json", Path("shared/r.json").string(), "--png",
                            Path("shared/p.png").string()},
                           settings);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find(Path("shared/r.json").string() + ": Permission denied"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Path("shared/r.json")), "kept");
    EXPECT_TRUE(fs::exists(Path("shared/p.png")));
    EXPECT_TRUE(HiddenFiles(Path("shared")).empty());
}

// ----------------------------------------------------------- symbolic links

// An output named by a link to a file replaces the file and keeps the link.
TEST_F(CliTest, OutputThroughALinkKeepsTheLink) {
    WriteGrayJpeg(Path("pic.jpg"), 8, 8, [](int, int) { return 70; });
    fs::create_directories(Path("real"));
    WriteFile(Path("real/report.json"), "old");
    fs::create_symlink("real/report.json", Path("link.json"));
    const CliRun run = Run({Path("pic.jpg").string(), "--json", Path("link.json").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(Path("link.json")));
    EXPECT_EQ(nlohmann::json::parse(ReadFile(Path("real/report.json")))["width"], 8);
    EXPECT_TRUE(HiddenFiles(Path("real")).empty());
}

}  // namespace
}  // namespace vexo
