// vexo-cli end to end: the binary runs as a subprocess on pictures made here,
// and its exit status, standard streams and files are checked as a script
// would read them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output_plan.h"
#include "cli_harness.h"

namespace vexo {
namespace {

using namespace clitest;
using nlohmann::ordered_json;

struct Netpbm {
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    std::string pixels;
};

// Reads a P5/P6 file written with single newlines between the header fields.
Netpbm ReadNetpbm(const fs::path& path) {
    std::istringstream in(ReadFile(path));
    Netpbm image;
    in >> image.magic >> image.width >> image.height >> image.maxval;
    in.get();
    image.pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return image;
}

std::vector<std::string> Keys(const ordered_json& object) {
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
    return keys;
}

// ------------------------------------------------------------ usage errors

class CliUsageTest : public CliTest, public testing::WithParamInterface<std::vector<std::string>> {};

// PIC is a picture, LINK a symbolic link to it; the picture is never touched.
TEST_P(CliUsageTest, RefusedWithOneUsageLineBeforeLoading) {
    std::vector<std::string> arguments = GetParam();
    for (std::string& a : arguments) {
        if (a == "PIC") a = Path("pic.jpg").string();
        if (a == "LINK") a = Path("link.png").string();
    }
    WriteGrayJpeg(Path("pic.jpg"), 8, 8, [](int, int) { return 128; });
    fs::create_symlink("pic.jpg", Path("link.png"));
    const std::string picture = ReadFile(Path("pic.jpg"));
    arguments.insert(arguments.begin(), {"--dump", Path("out").string()});

    const CliRun run = Run(arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("usage: vexo-cli PICTURE"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(fs::exists(Path("out")));
    EXPECT_EQ(ReadFile(Path("pic.jpg")), picture);
    EXPECT_TRUE(fs::is_symlink(Path("link.png")));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageTest,
    testing::Values(std::vector<std::string>{},                          // no picture
                    std::vector<std::string>{"--op", "0"},               // steps but no picture
                    std::vector<std::string>{"PIC", "--op", "18"},       // past the last operation
                    std::vector<std::string>{"PIC", "--op", "-1:5"},     // negative operation
                    std::vector<std::string>{"PIC", "--op", ":20"},      // no number at all
                    std::vector<std::string>{"PIC", "--shortcut", "3x"},  // malformed number
                    std::vector<std::string>{"PIC", "--offset", ""},     // empty number
                    std::vector<std::string>{"PIC", "--frobnicate"},     // unknown option
                    std::vector<std::string>{"PIC", "--param"},          // option without its value
                    std::vector<std::string>{"PIC", "--png", "--quiet"},  // file name forgotten
                    std::vector<std::string>{"PIC", "--jobs", "0"},      // no job at all
                    std::vector<std::string>{"PIC", "--summary", "--out"},  // file name forgotten
                    // outputs that are the picture itself
                    std::vector<std::string>{"PIC", "--op", "16", "--png", "PIC"},
                    std::vector<std::string>{"PIC", "--json", "LINK"},
                    std::vector<std::string>{"PIC", "PIC", "--summary", "LINK"},
                    // one-picture outputs with several pictures
                    std::vector<std::string>{"PIC", "PIC", "--png", "x.png"},
                    std::vector<std::string>{"PIC", "--out", "o", "--json", "x.json"}));

// Two outputs of one run that are the same file, or a file where another
// output makes a folder: refused before anything runs, nothing written. DIR
// is the test's folder.
class CliSameFileTest : public CliTest, public testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CliSameFileTest, RefusedBeforeAnythingRuns) {
    for (const char* name : {"a.jpg", "w.jpg"}) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 90; });
    fs::create_directories(Path("real"));
    fs::create_symlink("real", Path("alias"));
    std::vector<std::string> arguments = GetParam();
    for (std::string& a : arguments)
        if (a.rfind("DIR/", 0) == 0) a = Path(a.substr(4)).string();
    const CliRun run = Run(arguments);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("usage: vexo-cli PICTURE"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.jpg", "alias", "real", "stderr.txt", "stdout.txt", "w.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, CliSameFileTest,
    testing::Values(
        std::vector<std::string>{"DIR/a.jpg", "DIR/w.jpg", "--out", "DIR/res", "--summary", "DIR/res/a.json"},
        std::vector<std::string>{"DIR/a.jpg", "DIR/w.jpg", "--out", "DIR/res", "--summary", "DIR/res/w.png"},
        std::vector<std::string>{"DIR/a.jpg", "DIR/w.jpg", "--dump", "DIR/dd", "--summary", "DIR/dd/a/report.json"},
        std::vector<std::string>{"DIR/a.jpg", "DIR/w.jpg", "--dump", "DIR/dd", "--summary", "DIR/dd/w"},
        std::vector<std::string>{"DIR/a.jpg", "DIR/w.jpg", "--out", "DIR/real", "--summary", "DIR/alias/a.png"},
        std::vector<std::string>{"DIR/a.jpg", "--png", "DIR/o.out", "--json", "DIR/o.out"},
        std::vector<std::string>{"DIR/a.jpg", "--png", "DIR/real/../o.out", "--json", "DIR/o.out"},
        std::vector<std::string>{"DIR/a.jpg", "--png", "DIR/real/o.out", "--json", "DIR/alias/o.out"},
        std::vector<std::string>{"DIR/a.jpg", "--png", "DIR/d/plane0.pgm", "--dump", "DIR/d"},
        std::vector<std::string>{"DIR/a.jpg", "--json", "DIR/d", "--dump", "DIR/d"}));

// A folder that an output fills with names of its own (a picture's cells,
// say) takes nothing from another output, and is taken by no other output.
TEST(OutputPlanTest, FolderFilledByOneOutputTakesNothingElse) {
    const std::vector<cli::PlannedPath> cells = {{"r/c/a", "--cells", true, true}};
    auto with = [&](std::vector<cli::PlannedPath> more) {
        more.insert(more.begin(), cells.begin(), cells.end());
        return cli::FindClash(more, {});
    };
    EXPECT_TRUE(with({{"r/c/a/A1.png", "--png"}}).has_value());
    EXPECT_TRUE(with({{"r/c/a/x", "--dump", true}, {"r/c/a/x/report.json", "--dump"}}).has_value());
    EXPECT_TRUE(with({{"r/c/../c/a", "--dump", true}}).has_value());
    EXPECT_FALSE(with({{"r/c/a.png", "--out"}, {"r/c/ab/x", "--dump", true}}).has_value());
}

// ---------------------------------------------------- pictures that do not load

class CliUnloadableTest : public CliTest, public testing::WithParamInterface<const char*> {};

TEST_P(CliUnloadableTest, ExitTwoWithTheErrorRecorded) {
    const std::string kind = GetParam();
    const fs::path picture = Path("bad.jpg");
    if (kind == "empty") WriteFile(picture, "");
    if (kind == "garbage") WriteFile(picture, "this is not a JPEG file at all");
    if (kind == "truncated header") WriteFile(picture, std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));

    const CliRun run = Run({picture.string(), "--op", "0", "--json", "-", "--png", Path("p.png").string()});
    EXPECT_EQ(run.status, 2);
    const ordered_json report = ordered_json::parse(run.out);
    EXPECT_EQ(report["picture"], "bad.jpg");
    EXPECT_EQ(report["loaded"], false);
    EXPECT_EQ(report["width"], 0);
    EXPECT_EQ(report["height"], 0);
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["kind"], "error");
    const std::string text = report["messages"][0]["text"];
    if (kind == "missing")
        EXPECT_EQ(text, "Cannot open file " + picture.string());
    else
        EXPECT_EQ(text.rfind("JPEG error #", 0), 0u) << text;
    EXPECT_NE(run.err.find("error: " + text + "\n"), std::string::npos) << run.err;
    // The step is still recorded; nothing ran.
    ASSERT_EQ(report["steps"].size(), 1u);
    EXPECT_FALSE(report["steps"][0].contains("operation"));
    EXPECT_FALSE(fs::exists(Path("p.png")));
}

INSTANTIATE_TEST_SUITE_P(Files, CliUnloadableTest,
                         testing::Values("missing", "empty", "garbage", "truncated header"));

// ------------------------------------------------------------------- the dump

TEST_F(CliTest, DumpHoldsPlanesMarksAndThePaddedDisplay) {
    // 30 columns: the display is 32 wide, its last two columns black padding.
    WriteGrayJpeg(Path("ramp.jpg"), 30, 20, [](int x, int y) { return 40 + 5 * x + 2 * y; });
    const fs::path out = Path("dump/deeper");
    const CliRun run = Run({Path("ramp.jpg").string(), "--dump", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());

    const Netpbm plane0 = ReadNetpbm(out / "plane0.pgm");
    const Netpbm plane1 = ReadNetpbm(out / "plane1.pgm");
    const Netpbm marks = ReadNetpbm(out / "marks.pgm");
    const Netpbm display = ReadNetpbm(out / "display.ppm");
    for (const Netpbm* gray : {&plane0, &plane1, &marks}) {
        EXPECT_EQ(gray->magic, "P5");
        EXPECT_EQ(gray->width, 30);
        EXPECT_EQ(gray->height, 20);
        EXPECT_EQ(gray->maxval, 255);
        EXPECT_EQ(gray->pixels.size(), 30u * 20u);
    }
    EXPECT_EQ(marks.pixels, std::string(600, '\0'));
    EXPECT_EQ(display.magic, "P6");
    EXPECT_EQ(display.width, 32);
    EXPECT_EQ(display.height, 20);
    EXPECT_EQ(display.maxval, 255);
    ASSERT_EQ(display.pixels.size(), 32u * 20u * 3u);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 32; ++x) {
            const char gray = x < 30 ? plane0.pixels[std::size_t(y) * 30 + x] : '\0';
            const std::size_t at = (std::size_t(y) * 32 + x) * 3;
            ASSERT_EQ(display.pixels.substr(at, 3), std::string(3, gray)) << x << "," << y;
        }

    const ordered_json report = ordered_json::parse(ReadFile(out / "report.json"));
    EXPECT_EQ(report["width"], 30);
    EXPECT_EQ(report["stride"], 32);
    EXPECT_EQ(report["loaded"], true);
}

// ------------------------------------------------------------------ the report

TEST_F(CliTest, ReportFieldsInOrderAndAnInvalidThreshold) {
    WriteGrayJpeg(Path("grid.jpg"), 40, 30, [](int x, int) { return x < 20 ? 60 : 200; });
    const CliRun run = Run({Path("grid.jpg").string(), "--op", "0:abc", "--param", "5", "--go", "--json", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "error: Wrong treshold!\n");

    const ordered_json report = ordered_json::parse(run.out);
    EXPECT_EQ(Keys(report), (std::vector<std::string>{"picture", "loaded", "width", "height", "stride", "source",
                                                      "activePlane", "caption", "label", "position", "log",
                                                      "messages", "progress", "steps"}));
    EXPECT_EQ(Keys(report["progress"]), (std::vector<std::string>{"maximum", "position", "visible"}));
    EXPECT_EQ(report["source"], ordered_json::parse(R"({"width": 40, "height": 30, "scale": [8, 8]})"));
    EXPECT_EQ(report["picture"], "grid.jpg");
    EXPECT_EQ(report["caption"], "Vexo - grid.jpg (40x30) [horizontal Sobel filter]");
    EXPECT_EQ(report["messages"], ordered_json::parse(R"([{"kind": "error", "text": "Wrong treshold!"}])"));

    const ordered_json& steps = report["steps"];
    ASSERT_EQ(steps.size(), 3u);
    const std::vector<std::string> opKeys{"step",     "operation",   "parameterText",  "messages",
                                          "caption",  "label",       "activePlane",    "logAdded",
                                          "progress", "horizontalLines", "verticalLines", "cells"};
    std::vector<std::string> plainKeys = opKeys;
    plainKeys.erase(plainKeys.begin() + 1);

    EXPECT_EQ(Keys(steps[0]), opKeys);
    EXPECT_EQ(steps[0]["step"], "op");
    EXPECT_EQ(steps[0]["operation"], 0);
    EXPECT_EQ(steps[0]["parameterText"], "abc");
    EXPECT_EQ(steps[0]["messages"], report["messages"]);
    EXPECT_EQ(steps[0]["activePlane"], 1);
    EXPECT_EQ(Keys(steps[0]["progress"]), (std::vector<std::string>{"maximum", "position"}));

    EXPECT_EQ(Keys(steps[1]), plainKeys);
    EXPECT_EQ(steps[1]["step"], "param");
    EXPECT_EQ(steps[1]["parameterText"], "5");
    EXPECT_TRUE(steps[1]["messages"].empty());

    // GO runs the selected operation again, now with a valid threshold.
    EXPECT_EQ(steps[2]["step"], "go");
    EXPECT_EQ(steps[2]["operation"], 0);
    EXPECT_EQ(steps[2]["parameterText"], "5");
    EXPECT_TRUE(steps[2]["messages"].empty());
    EXPECT_EQ(steps[2]["activePlane"], 0);
    EXPECT_EQ(report["activePlane"], 0);
}

TEST_F(CliTest, QuietKeepsErrorsOnlyAndSummaryWithoutOutputs) {
    // Operation 12 tells its result in a plain box; operation 0 with "x" shows an error.
    WriteGrayJpeg(Path("pic.jpg"), 24, 16, [](int x, int y) { return 120 + (x + y) % 7; });
    const std::vector<std::string> steps{Path("pic.jpg").string(), "--op", "12:3", "--op", "0:x"};

    const CliRun loud = Run(steps);
    ASSERT_EQ(loud.status, 0) << loud.err;
    EXPECT_EQ(loud.err.rfind("message: ", 0), 0u) << loud.err;
    EXPECT_NE(loud.err.find("\nerror: Wrong treshold!\n"), std::string::npos) << loud.err;
    // The summary: the caption first, then every message.
    EXPECT_EQ(loud.out.rfind("Vexo - pic.jpg (24x16) [horizontal Sobel filter]\nmessage: ", 0), 0u) << loud.out;
    EXPECT_NE(loud.out.find("\nerror: Wrong treshold!\n"), std::string::npos) << loud.out;

    std::vector<std::string> quietSteps = steps;
    quietSteps.push_back("--quiet");
    const CliRun quiet = Run(quietSteps);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "error: Wrong treshold!\n");
}

// ---------------------------------------------------------------- the picture

TEST_F(CliTest, PngIsTheDisplayedPicture) {
    WriteGrayJpeg(Path("pic.jpg"), 13, 7, [](int, int) { return 90; });
    const CliRun run = Run({Path("pic.jpg").string(), "--png", Path("pic.png").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string png = ReadFile(Path("pic.png"));
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    // Width 16 (the stride), height 7, 8-bit RGB.
    EXPECT_EQ(png.substr(16, 10), std::string("\0\0\0\x10\0\0\0\x07\x08\x02", 10));
}

TEST_F(CliTest, UnwritableOutputIsAFailure) {
    WriteGrayJpeg(Path("pic.jpg"), 8, 8, [](int, int) { return 90; });
    const std::string target = Path("no/such/folder/report.json").string();
    const CliRun run = Run({Path("pic.jpg").string(), "--json", target, "--png", Path("pic.png").string()});
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find(target), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(Path("pic.png")));  // the other outputs are still written
}

// Every label box big enough for its text holds yellow text and its dark
// shadow (the grids have light backgrounds).
void ExpectLabelsDrawn(const ordered_json& cells, const Netpbm& display) {
    for (const ordered_json& cell : cells) {
        if (cell["box"].is_null()) continue;
        const int left = cell["box"][0], top = cell["box"][1], right = cell["box"][2], bottom = cell["box"][3];
        if (right - left < 24 || bottom - top < 16) continue;
        int yellow = 0, dark = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, display.height); ++y)
            for (int x = std::max(left, 0); x < std::min(right, display.width); ++x) {
                const std::string p = display.pixels.substr((std::size_t(y) * display.width + x) * 3, 3);
                yellow += p == std::string("\xFF\xFF\0", 3);
                dark += std::all_of(p.begin(), p.end(), [](char c) { return uint8_t(c) < 100; });
            }
        EXPECT_GT(yellow, 10) << cell["label"];
        EXPECT_GT(dark, 5) << cell["label"];
    }
}

TEST_F(CliTest, GridGetsReadableLabels) {
    WriteSoftGrid(Path("grid.jpg"), 640, 480);
    const CliRun run = Run({Path("grid.jpg").string(), "--op", "16", "--dump", Path("d").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const ordered_json report = ordered_json::parse(ReadFile(Path("d/report.json")));
    const ordered_json& step = report["steps"][0];
    EXPECT_EQ(step["horizontalLines"].size(), 10u);
    EXPECT_EQ(step["verticalLines"].size(), 10u);
    EXPECT_EQ(step["outcome"], "grid found");
    const ordered_json& cells = step["cells"];
    ASSERT_EQ(cells.size(), 81u);
    EXPECT_EQ(cells[0]["label"], "A1");
    EXPECT_EQ(cells[80]["label"], "I9");
    EXPECT_EQ(Keys(cells[0]), (std::vector<std::string>{"label", "column", "row", "corners", "sourceCorners", "box"}));
    EXPECT_EQ(Keys(cells[0]["corners"]), (std::vector<std::string>{"TL", "TR", "BL", "BR"}));
    ExpectLabelsDrawn(cells, ReadNetpbm(Path("d/display.ppm")));
}

// A picture above the working size loads at a scale, which the report and the
// summary tell; --full-size loads it whole.
TEST_F(CliTest, LargePictureLoadsAtItsScaleUnlessFullSize) {
    WriteGrayJpeg(Path("big.jpg"), 1600, 1300, [](int x, int y) { return (x + y) % 256; });
    const CliRun scaled = Run({Path("big.jpg").string(), "--json", "-"});
    ASSERT_EQ(scaled.status, 0) << scaled.err;
    const ordered_json report = ordered_json::parse(scaled.out);
    EXPECT_EQ(report["width"], 1200);
    EXPECT_EQ(report["height"], 975);
    EXPECT_EQ(report["source"], ordered_json::parse(R"({"width": 1600, "height": 1300, "scale": [6, 8]})"));

    const CliRun summary = Run({Path("big.jpg").string()});
    EXPECT_NE(summary.out.find("\n1600 x 1300 shown at 6/8 (1200 x 975)\n"), std::string::npos) << summary.out;

    const CliRun full = Run({Path("big.jpg").string(), "--full-size", "--json", "-"});
    ASSERT_EQ(full.status, 0) << full.err;
    const ordered_json fullReport = ordered_json::parse(full.out);
    EXPECT_EQ(fullReport["width"], 1600);
    EXPECT_EQ(fullReport["source"]["scale"], ordered_json::parse("[8, 8]"));
}

// A picture loaded at 2/8 reports its cells' corners in working pixels and,
// both coordinates, in the file's own: (c + 0.5) * 8 / M - 0.5, halves to even.
TEST_F(CliTest, ScaledPictureReportsCornersInTheFilesPixels) {
    const fs::path sample = fs::path(VEXO_SOURCE_DIR) / "samples" / "grid-4000x3000.jpg";
    const CliRun run = Run({sample.string(), "--op", "16", "--json", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    const ordered_json report = ordered_json::parse(run.out);
    ASSERT_EQ(report["source"]["scale"], ordered_json::parse("[2, 8]"));
    const ordered_json& cells = report["steps"][0]["cells"];
    ASSERT_EQ(cells.size(), 64u);
    auto inFile = [](int c) { return int64_t(std::nearbyint((c + 0.5) * 8.0 / 2.0 - 0.5)); };
    for (const ordered_json& cell : cells)
        for (const char* corner : {"TL", "TR", "BL", "BR"}) {
            const ordered_json& working = cell["corners"][corner];
            const ordered_json& file = cell["sourceCorners"][corner];
            ASSERT_FALSE(working.is_null()) << cell["label"] << " " << corner;
            EXPECT_EQ(file[0], inFile(working[0])) << cell["label"] << " " << corner;
            EXPECT_EQ(file[1], inFile(working[1])) << cell["label"] << " " << corner;
        }
}

// A file name cannot reach the terminal as control characters: the messages
// on standard error and the summary on standard output show them escaped.
TEST_F(CliTest, NamesAreShownWithControlCharactersEscaped) {
    RunSettings settings;
    settings.workingDirectory = dir_;
    const CliRun run = Run({"\x1b]0;owned\x07\x1b[2J\nFAKE: all 7 pictures OK\xff.jpg"}, settings);
    EXPECT_EQ(run.status, 2);
    const std::string shown = "Cannot open file \\e]0;owned\\x07\\e[2J\\nFAKE: all 7 pictures OK\\xff.jpg\n";
    EXPECT_EQ(run.err, "error: " + shown);
    EXPECT_NE(run.out.find("\nerror: " + shown), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find_first_of("\x1b\x07\xff"), std::string::npos) << run.out;
}

class CliSampleTest : public CliTest, public testing::WithParamInterface<const char*> {};

TEST_P(CliSampleTest, GridSearchRunsAndLabelsShow) {
    const fs::path sample = fs::path(VEXO_SOURCE_DIR) / "samples" / GetParam();
    if (!fs::exists(sample)) GTEST_SKIP() << "no " << sample;
    const CliRun run = Run({sample.string(), "--op", "16", "--dump", Path("d").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const ordered_json report = ordered_json::parse(ReadFile(Path("d/report.json")));
    EXPECT_EQ(report["loaded"], true);
    ASSERT_EQ(report["steps"].size(), 1u);
    EXPECT_EQ(report["steps"][0]["operation"], 16);
    if (std::string(GetParam()) == "grid-9x9.jpg") {
        EXPECT_EQ(report["width"], 640);
        EXPECT_EQ(report["height"], 480);
        EXPECT_FALSE(report["steps"][0]["cells"].empty());
    }
    ExpectLabelsDrawn(report["steps"][0]["cells"], ReadNetpbm(Path("d/display.ppm")));
}

// Each of the eighteen operations in turn, each from the loaded picture.
TEST_P(CliSampleTest, EveryOperationRuns) {
    const fs::path sample = fs::path(VEXO_SOURCE_DIR) / "samples" / GetParam();
    if (!fs::exists(sample)) GTEST_SKIP() << "no " << sample;
    std::vector<std::string> args = {sample.string(), "--quiet"};
    for (int op = 0; op < 18; ++op) {
        args.insert(args.end(), {"--refresh", "--op", std::to_string(op)});
    }
    args.insert(args.end(), {"--json", Path("r.json").string()});
    const CliRun run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const ordered_json report = ordered_json::parse(ReadFile(Path("r.json")));
    ASSERT_EQ(report["steps"].size(), 36u);
    for (int op = 0; op < 18; ++op) EXPECT_EQ(report["steps"][2 * op + 1]["operation"], op);
    // Only the histogram speaks: its mode in a plain box.
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["kind"], "info");
}

INSTANTIATE_TEST_SUITE_P(Samples, CliSampleTest,
                         testing::Values("grid-9x9.jpg", "grid-800x600.jpg", "grid-rotated.jpg", "grid-colour.jpg",
                                         "grid-wide.jpg"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace vexo
