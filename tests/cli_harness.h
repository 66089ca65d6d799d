// Running vexo-cli as a subprocess in the tests: a fixture with a fresh
// folder per test, small JPEG files made on the spot, and runs whose exit
// status, standard streams and files are read as a script would read them.
#pragma once

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vexo::clitest {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;  // the exit status, -1 when it did not exit
    int signal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Where the run's standard output goes.
enum class StandardOutput {
    File,        // stdout.txt in the test's folder, emptied first
    Append,      // stdout.txt as it is, opened for appending (">>")
    Full,        // /dev/full: every write fails with ENOSPC
    Closed,      // no descriptor 1 at all (">&-")
    BrokenPipe,  // a pipe whose reader has already gone
};

// What a run may need beyond its arguments.
struct RunSettings {
    std::optional<rlim_t> fileSizeLimit;  // bytes, with SIGXFSZ at its default action
    std::function<bool()> killWhen;       // polled while it runs; true sends killSignal
    int killSignal = SIGTERM;
    StandardOutput standardOutput = StandardOutput::File;
    bool ordinaryUser = false;  // when the tests run as root, the run is user "nobody"
    std::optional<fs::path> workingDirectory;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A grayscale baseline JPEG of the samples f(x, y).
inline void WriteGrayJpeg(const fs::path& path, int width, int height, const std::function<int(int, int)>& f) {
    std::vector<JSAMPLE> samples(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) samples[std::size_t(y) * width + x] = static_cast<JSAMPLE>(f(x, y));
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = samples.data() + std::size_t(cinfo.next_scanline) * width;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// Soft lines 45 levels darker than a light background, every 64 columns and
// 48 rows: a grid that the grid search finds.
inline void WriteSoftGrid(const fs::path& path, int width, int height) {
    WriteGrayJpeg(path, width, height, [](int x, int y) {
        auto distance = [](int v, int period, int offset) {
            const int k = (v - offset) % period;
            return std::min(k, period - k);
        };
        const int d = std::min(distance(x, 64, 40), distance(y, 48, 30));
        return 200 - (d == 0 ? 45 : d == 1 ? 30 : d == 2 ? 12 : 0);
    });
}

// Pseudo-random samples: a picture whose PNG is large and slow to compress.
inline void WriteNoise(const fs::path& path, int width, int height) {
    WriteGrayJpeg(path, width, height,
                  [](int x, int y) { return int((uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u) >> 13) & 255; });
}

// Runs vexo-cli with the arguments; standard error goes to a file in `dir`,
// standard output as the settings say. The child starts with every signal
// unblocked and at its default action, whatever the test runner ignores.
inline CliRun RunCli(const std::vector<std::string>& arguments, const fs::path& dir,
                     const RunSettings& settings = {}) {
    const fs::path outPath = dir / "stdout.txt";
    const fs::path errPath = dir / "stderr.txt";
    std::vector<std::string> all{VEXO_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    CliRun run;
    int pipeEnds[2] = {-1, -1};
    if (settings.standardOutput == StandardOutput::BrokenPipe) {
        if (::pipe(pipeEnds) != 0) return run;
        ::close(pipeEnds[0]);  // the reader is gone before the run starts
    }
    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        int out = -1;
        switch (settings.standardOutput) {
            case StandardOutput::File: out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); break;
            case StandardOutput::Append: out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644); break;
            case StandardOutput::Full: out = ::open("/dev/full", O_WRONLY); break;
            case StandardOutput::Closed: break;
            case StandardOutput::BrokenPipe: out = pipeEnds[1]; break;
        }
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || ::dup2(err, 2) < 0) ::_exit(127);
        if (out < 0 ? settings.standardOutput != StandardOutput::Closed : ::dup2(out, 1) < 0) ::_exit(127);
        if (out > 2) ::close(out);
        if (settings.standardOutput == StandardOutput::Closed) ::close(1);
        ::close(err);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) ::signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (settings.fileSizeLimit) {
            const rlimit limit{*settings.fileSizeLimit, *settings.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (settings.workingDirectory && ::chdir(settings.workingDirectory->c_str()) != 0) ::_exit(127);
        if (settings.ordinaryUser && ::geteuid() == 0) {
            const gid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
    int wstatus = 0;
    bool killed = false;
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, settings.killWhen ? WNOHANG : 0);
        if (done == pid) break;
        if (done < 0) return run;
        if (!killed && settings.killWhen()) {
            ::kill(pid, settings.killSignal);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
    if (settings.standardOutput == StandardOutput::File || settings.standardOutput == StandardOutput::Append)
        run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

class CliTest : public testing::Test {
protected:
    void SetUp() override {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() / ("vexo_cli_test_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        // Folders a test made unreadable can be removed again.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    CliRun Run(const std::vector<std::string>& arguments, const RunSettings& settings = {}) const {
        return RunCli(arguments, dir_, settings);
    }

    fs::path dir_;
};

}  // namespace vexo::clitest
