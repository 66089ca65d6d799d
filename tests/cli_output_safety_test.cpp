// vexo-cli's outputs never destroy anything: a device stays a device when
// the write onto it fails, a write that fails (a full disk) or is killed
// half-way leaves the old file whole and no partial or temporary file
// behind, and a symbolic link to an output keeps being a link.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <string>
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
};

class CliKilledTest : public CliTest, public testing::WithParamInterface<Interruption> {};

// The run is stopped while it writes a large PNG: the target holds the old
// file (or nothing), never a partial one, and the temporary file is gone.
TEST_P(CliKilledTest, KilledWhileWritingLeavesNoPartialFile) {
    const Interruption interruption = GetParam();
    // Noise compresses slowly, which leaves time to see the write under way.
    WriteNoise(Path("noise.jpg"), 2000, 1500);
    if (interruption.oldFile) WriteFile(Path("out.png"), "the picture of yesterday");
    RunSettings settings;
    settings.killSignal = interruption.signal;
    settings.killWhen = [this] {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
            if (entry.path().filename().string().rfind(".out.png.", 0) == 0) return true;
        return false;
    };
    const CliRun run = Run({Path("noise.jpg").string(), "--full-size", "--png", Path("out.png").string()}, settings);
    ASSERT_EQ(run.signal, interruption.signal) << "exit status " << run.status << ": the write was not caught";
    if (interruption.oldFile)
        EXPECT_TRUE(ReadFile(Path("out.png")) == "the picture of yesterday");
    else
        EXPECT_FALSE(fs::exists(Path("out.png")));
    EXPECT_TRUE(HiddenFiles(dir_).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, CliKilledTest,
                         testing::Values(Interruption{SIGTERM, true}, Interruption{SIGINT, false}),
                         [](const testing::TestParamInfo<Interruption>& info) {
                             return std::string(info.param.signal == SIGTERM ? "term" : "int") +
                                    (info.param.oldFile ? "_over_old_file" : "_new_file");
                         });

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
