#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/operations.h"
#include "core/render.h"
#include "workbench_fixture.h"

namespace vexo {
namespace {

using testing::Bench;
using testing::GrayPicture;

// ------------------------------------------------------------ loading, title

TEST(LoadTest, StrideTitleAndFreshState) {
    for (auto [w, stride] : {std::pair{1, 4}, {4, 4}, {5, 8}, {8, 8}, {639, 640}}) {
        Bench b;
        b.Load(w, 3, [](int, int) { return 9; }, "/a/b/grid.jpg");
        EXPECT_EQ(b.wb.image().stride, stride) << w;
        EXPECT_EQ(b.screen.displayWidth, stride);
        EXPECT_EQ(b.wb.image().title, "Vexo - grid.jpg (" + std::to_string(w) + "x3)");
        EXPECT_EQ(b.screen.caption, b.wb.image().title);
    }
    Bench b;
    b.Load(2, 2, [](int, int) { return 0; }, "plain.jpg");
    EXPECT_EQ(b.wb.image().title, "Vexo - plain.jpg (2x2)");
}

TEST(LoadTest, SecondPictureReplacesEverythingAndActivatesPlaneZero) {
    Bench b;
    b.Load(40, 30, [](int x, int y) { return (x * 7 + y * 3) % 256; });
    b.Run(0, "20");
    ASSERT_EQ(b.wb.image().activePlane, 1);
    b.marks().at(1, 1) = 99;
    b.Load(12, 9, [](int, int) { return 50; });
    EXPECT_EQ(b.wb.image().activePlane, 0);
    EXPECT_EQ(b.wb.image().width, 12);
    EXPECT_EQ(b.marks().width, 12);
    EXPECT_EQ(b.marks().at(1, 1), 0);
    EXPECT_EQ(b.wb.image().planes[1].width, 12);
    EXPECT_EQ(b.wb.image().planes[1].at(0, 0), 0);  // a new plane starts black
}

TEST(LoadTest, FailedLoadChangesNothing) {
    Bench b;
    b.wb.FileClick("/nonexistent/first.jpg");
    EXPECT_FALSE(b.wb.image().loaded());
    EXPECT_FALSE(b.wb.controls().goEnabled);
    ASSERT_EQ(b.errors(), std::vector<std::string>{"Cannot open file /nonexistent/first.jpg"});

    b.Load(10, 10, [](int x, int) { return x * 20; });
    b.wb.ChooseOperation(0);
    b.wb.GoClick();
    const auto planeBefore = std::vector<uint8_t>(b.active().begin(), b.active().begin() + 100);
    const auto displayBefore = b.screen.display;
    const std::string captionBefore = b.screen.caption;
    const auto dir = std::filesystem::temp_directory_path();
    b.wb.FileClick(dir.string());
    const auto junk = dir / "vexo_not_a_jpeg.jpg";
    std::ofstream(junk) << "this is text, not a picture";
    b.wb.FileClick(junk.string());
    std::filesystem::remove(junk);

    const auto errs = b.errors();
    ASSERT_EQ(errs.size(), 3u);
    EXPECT_EQ(errs[1], "Cannot open file " + dir.string());
    EXPECT_EQ(errs[2].rfind("JPEG error #", 0), 0u) << errs[2];
    EXPECT_EQ(b.wb.image().width, 10);
    EXPECT_EQ(b.wb.image().activePlane, 1);
    EXPECT_EQ(std::vector<uint8_t>(b.active().begin(), b.active().begin() + 100), planeBefore);
    EXPECT_EQ(b.screen.display, displayBefore);
    EXPECT_EQ(b.screen.caption, captionBefore);
    // "R" still restores the picture that stayed.
    b.wb.RefreshClick();
    EXPECT_EQ(b.wb.image().activePlane, 0);
    EXPECT_EQ(b.wb.image().planes[0].at(3, 0), 60);
}

TEST(LoadTest, PipesAndDevicesAreRefusedWithoutWaiting) {
    Bench b;
    b.Load(4, 4, [](int, int) { return 30; });
    const auto fifo = std::filesystem::temp_directory_path() / ("vexo_fifo_" + std::to_string(::getpid()) + ".jpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    b.wb.FileClick(fifo.string());
    std::filesystem::remove(fifo);
    b.wb.FileClick("/dev/zero");
    EXPECT_EQ(b.errors(), (std::vector<std::string>{"Cannot open file " + fifo.string(), "Cannot open file /dev/zero"}));
    EXPECT_EQ(b.wb.image().width, 4);
}

// ------------------------------------------------------------ rendering

TEST(RenderTest, GrayMarksColoursAndBlackPadding) {
    Bench b;
    b.Load(5, 2, [](int, int) { return 37; });
    const uint8_t codes[] = {100, 50, 200, 1};
    for (int x = 0; x < 4; ++x) b.marks().at(x, 1) = codes[x];
    b.wb.RenderPlane(b.active());
    EXPECT_EQ(b.screen.DisplayPixel(4, 1), (Rgb{37, 37, 37}));
    EXPECT_EQ(b.screen.DisplayPixel(0, 1), (Rgb{0, 255, 0}));
    EXPECT_EQ(b.screen.DisplayPixel(1, 1), (Rgb{255, 255, 0}));
    EXPECT_EQ(b.screen.DisplayPixel(2, 1), (Rgb{0, 0, 255}));
    EXPECT_EQ(b.screen.DisplayPixel(3, 1), (Rgb{255, 0, 0}));
    for (int x = 5; x < 8; ++x) EXPECT_EQ(b.screen.DisplayPixel(x, 0), (Rgb{0, 0, 0}));
    for (int code : {1, 99, 101, 199, 201, 255}) EXPECT_EQ(MarkColour(uint8_t(code)), (Rgb{255, 0, 0})) << code;

    b.wb.ImageMouseMove(0, 1);
    EXPECT_EQ(b.screen.readout, "0:255:0");
    EXPECT_EQ(b.screen.positionReadout, "0 : 1");
    b.wb.ImageMouseMove(6, 0);
    EXPECT_EQ(b.screen.readout, "0:0:0");
    EXPECT_EQ(b.screen.positionReadout, "6 : 0");
}

TEST(RenderTest, ReadoutsStayBeforeAnyPicture) {
    Bench b;
    b.wb.ImageMouseMove(3, 3);
    EXPECT_EQ(b.screen.readout, "255:255:255");
    EXPECT_EQ(b.screen.positionReadout, "199:200");
}

TEST(RenderTest, FailedRowWriteShowsTheTextAndStopsThatRender) {
    Bench b;
    b.Load(4, 4, [](int, int) { return 10; });
    const int repaints = b.screen.repaints;
    b.screen.failRowWritesFrom = 2;
    b.screen.failText = std::string(150, 'x');
    b.active().at(0, 3) = 200;
    b.active().at(0, 1) = 201;
    b.wb.RenderPlane(b.active());
    EXPECT_EQ(b.errors(), std::vector<std::string>{std::string(100, 'x')});
    EXPECT_EQ(b.screen.DisplayPixel(0, 1).red, 201);
    EXPECT_EQ(b.screen.DisplayPixel(0, 3).red, 10);  // kept its previous pixel
    EXPECT_EQ(b.screen.repaints, repaints + 1);
}

// A screen that keeps no display gets no rows, and everything else as a
// screen that does: repaints, texts, messages, readouts; the planes and the
// lines do not depend on it.
TEST(RenderTest, ScreenWithoutDisplayGetsAllButTheRows) {
    auto grid = [](int x, int y) {  // soft lines every 64 columns and 48 rows
        const int dx = (x + 24) % 64, dy = (y + 18) % 48;
        const int d = std::min({dx, 64 - dx, dy, 48 - dy});
        return 200 - (d == 0 ? 45 : d == 1 ? 30 : d == 2 ? 12 : 0);
    };
    Bench shown, blind;
    blind.screen.keepDisplay = false;
    for (Bench* b : {&shown, &blind}) {
        b->Load(640, 480, grid);
        b->Run(16, "20");
        b->wb.RefreshClick();
    }
    EXPECT_TRUE(blind.screen.display.empty());
    EXPECT_EQ(blind.screen.repaints, shown.screen.repaints);
    ASSERT_EQ(blind.screen.texts.size(), shown.screen.texts.size());
    EXPECT_FALSE(shown.screen.texts.empty());
    for (std::size_t i = 0; i < shown.screen.texts.size(); ++i) EXPECT_EQ(blind.screen.texts[i].text, shown.screen.texts[i].text);
    EXPECT_EQ(blind.screen.messages.size(), shown.screen.messages.size());
    EXPECT_EQ(blind.screen.readout, shown.screen.readout);
    EXPECT_EQ(blind.screen.log, shown.screen.log);
    EXPECT_EQ(blind.wb.lastOperation().cells.size(), shown.wb.lastOperation().cells.size());
    for (int p = 0; p < 2; ++p) {
        const GrayPlane& a = blind.wb.image().planes[p];
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + a.size(), shown.wb.image().planes[p].begin())) << p;
    }
}

TEST(RefreshTest, ClearsMarksAfterRenderingOnlyWithASender) {
    Bench b;
    b.Load(6, 6, [](int, int) { return 80; });
    b.Run(0, "0");
    ASSERT_EQ(b.wb.image().activePlane, 1);
    const uint8_t resultSample = b.wb.image().planes[1].at(2, 2);
    b.marks().at(2, 2) = 100;
    b.wb.Refresh(false);
    EXPECT_EQ(b.marks().at(2, 2), 100);
    EXPECT_EQ(b.screen.DisplayPixel(2, 2), (Rgb{0, 255, 0}));
    b.wb.RefreshClick();
    EXPECT_EQ(b.wb.image().activePlane, 0);
    EXPECT_EQ(b.marks().at(2, 2), 0);
    EXPECT_EQ(b.screen.DisplayPixel(2, 2), (Rgb{0, 255, 0}));  // shown before the clear
    EXPECT_EQ(b.screen.DisplayPixel(3, 3), (Rgb{80, 80, 80}));
    EXPECT_EQ(b.wb.image().planes[1].at(2, 2), resultSample);  // plane 1 keeps the result
}

// ------------------------------------------------------------ parameter text

struct ParseCase {
    const char* text;
    std::optional<int32_t> value;
};

class ParameterTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParameterTest, Parses) { EXPECT_EQ(ParseParameter(GetParam().text), GetParam().value) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Texts, ParameterTest,
    ::testing::Values(ParseCase{"20", 20}, ParseCase{"  42", 42}, ParseCase{"42 ", std::nullopt},
                      ParseCase{"$1F", 31}, ParseCase{"x1f", 31}, ParseCase{"X10", 16}, ParseCase{"0x10", 16},
                      ParseCase{"0X7fffffff", 2147483647}, ParseCase{"-$10", -16}, ParseCase{"+0x10", 16},
                      ParseCase{"-5", -5}, ParseCase{"+7", 7}, ParseCase{"0", 0}, ParseCase{"", std::nullopt},
                      ParseCase{"   ", std::nullopt}, ParseCase{"abc", std::nullopt}, ParseCase{"\t5", std::nullopt},
                      ParseCase{"$", std::nullopt}, ParseCase{"0x", std::nullopt}, ParseCase{"-", std::nullopt},
                      ParseCase{"1 2", std::nullopt}, ParseCase{"$-1", std::nullopt}, ParseCase{"12g", std::nullopt},
                      ParseCase{"2147483647", 2147483647}, ParseCase{"2147483648", std::nullopt},
                      ParseCase{"-2147483648", INT32_MIN}, ParseCase{"-2147483649", std::nullopt},
                      ParseCase{"$80000000", std::nullopt}, ParseCase{"-$80000000", INT32_MIN},
                      ParseCase{"99999999999999999999", std::nullopt}, ParseCase{"00000000000000000000042", 42}));

// ------------------------------------------------------------ controls

TEST(ControlsTest, ChoosingOperationsWritesDefaultsAndTheTrackBar) {
    Bench b;
    EXPECT_EQ(b.wb.controls().trackBar.maximum, 10);
    b.wb.SetParameterText("abc");
    EXPECT_EQ(b.wb.controls().parameterValue, -1);
    b.wb.ChooseOperation(3);
    EXPECT_TRUE(b.wb.controls().trackBar.visible);
    EXPECT_EQ(b.wb.controls().parameterText, "30");
    EXPECT_EQ(b.wb.controls().trackBar.maximum, 29);
    b.wb.SetTrackBarPosition(40);
    EXPECT_EQ(b.wb.controls().trackBar.position, 29);
    b.wb.SetParameterText("0");  // maximum -1 is ignored, position resets
    EXPECT_EQ(b.wb.controls().trackBar.maximum, 29);
    EXPECT_EQ(b.wb.controls().trackBar.position, 0);
    b.wb.SetParameterText("-2147483648");
    EXPECT_EQ(b.wb.controls().trackBar.maximum, 29);
    b.wb.ChooseOperation(8);  // no default: the text stays
    EXPECT_FALSE(b.wb.controls().trackBar.visible);
    EXPECT_EQ(b.wb.controls().parameterText, "-2147483648");
    b.wb.ChooseOperation(10);
    EXPECT_EQ(b.wb.controls().parameterText, "35");
    EXPECT_EQ(b.wb.controls().parameterValue, 35);
}

TEST(ControlsTest, ShortcutSelectsWithoutTouchingParameterOrTrackBar) {
    Bench b;
    b.Load(8, 8, [](int x, int) { return x * 30; });
    b.wb.SetParameterText("77");
    b.wb.ShortcutClick(3);
    EXPECT_EQ(b.wb.controls().selectedOperation, 3);
    EXPECT_FALSE(b.wb.controls().trackBar.visible);
    EXPECT_EQ(b.wb.controls().parameterText, "77");
    EXPECT_EQ(b.screen.caption, b.wb.image().title + " [Segmentation]");
}

TEST(ControlsTest, GoOnSelectsTheNextOperationButStopsAtTheLast) {
    Bench b;
    b.Load(8, 8, [](int, int) { return 128; });
    b.wb.SetGoOn(true);
    b.wb.ChooseOperation(0);
    b.wb.SetParameterText("abc");
    b.wb.GoClick();
    EXPECT_EQ(b.wb.controls().selectedOperation, 1);
    EXPECT_EQ(b.wb.controls().parameterText, "abc");  // selection only, no default written
    b.wb.ChooseOperation(17);
    b.wb.GoClick();
    EXPECT_EQ(b.wb.controls().selectedOperation, 17);
}

TEST(ControlsTest, NothingHappensWithoutAPicture) {
    Bench b;
    b.wb.GoClick();
    b.wb.ShortcutClick(5);
    b.wb.RefreshClick();
    EXPECT_TRUE(b.screen.messages.empty());
    EXPECT_EQ(b.screen.progressShows, 0);
    EXPECT_EQ(b.wb.controls().selectedOperation, 0);
    EXPECT_EQ(b.wb.lastOperation().sequence, 0u);
}

// ------------------------------------------------------------ the frame

TEST(FrameTest, InvalidParametersShowTheirMessageAndFallBack) {
    struct Case {
        int op;
        const char* text;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {0, "abc", {"Wrong treshold!"}}, {0, "-5", {"Wrong treshold!"}}, {2, "", {"Wrong treshold!"}},
        {3, "x", {"Wrong segment size!"}}, {3, "256", {"Wrong segment size!"}}, {3, "0", {"Wrong segment size!"}},
        {7, "-1", {"Wrong treshold!"}}, {8, "-1", {"Wrong treshold!"}}, {13, "abc", {}},
        {14, "abc", {}}, {12, "zz", {"Wrong treshold!"}}, {0, "0", {}},
    };
    for (const Case& c : cases) {
        Bench b;
        b.Load(9, 7, [](int x, int y) { return (x * 40 + y * 13) % 256; });
        b.Run(c.op, c.text);
        EXPECT_EQ(b.errors(), c.messages) << c.op << " " << c.text;
    }
}

// A pipeline reads the parameter exactly when its table entry says so: one
// that read it without a message of its own could not show why it fell back.
TEST(FrameTest, EveryOperationReadsTheParameterAsItsTableEntrySays) {
    for (int op = 0; op < kOperationCount; ++op) {
        Bench b;
        b.Load(8, 8, [](int x, int y) { return (x * 40 + y * 7) % 256; });
        b.Run(op, "abc");
        const ParameterRule& rule = OperationTable[std::size_t(op)].parameter;
        const std::vector<std::string> expected =
            rule.read ? std::vector<std::string>{rule.invalidMessage} : std::vector<std::string>{};
        EXPECT_EQ(b.errors(), expected) << "operation " << op;
    }
}

TEST(FrameTest, ThresholdUsesTheLowEightBitsAndTheFallback) {
    auto run = [](const char* text) {
        Bench b;
        b.Load(6, 6, [](int, int y) { return y < 3 ? 0 : 11; });  // responds 44 on two rows
        b.Run(0, text);
        return std::vector<uint8_t>(b.active().begin(), b.active().begin() + 36);
    };
    const auto at44 = run("44");
    EXPECT_EQ(run("300"), at44);
    EXPECT_NE(run("45"), at44);
    EXPECT_EQ(run("abc"), run("20"));
}

TEST(FrameTest, CursorDialogMarksAndLinesAroundEveryOperation) {
    Bench b;
    b.Load(64, 48, [](int x, int y) { return (x / 8 + y / 8) % 2 ? 200 : 60; });
    b.marks().at(5, 5) = 77;
    b.Run(4, "1");
    EXPECT_FALSE(b.screen.busyCursor);
    EXPECT_EQ(b.screen.busyCursorChanges, 2);
    EXPECT_EQ(b.screen.progressShows, 1);
    EXPECT_FALSE(b.screen.progressVisible);
    EXPECT_EQ(b.screen.caption, b.wb.image().title + " [Hough horizontal transformation]");
    EXPECT_TRUE(b.wb.lines().horizontalLines.empty());
    EXPECT_TRUE(b.wb.lines().verticalLines.empty());
    EXPECT_EQ(b.wb.progress().maximum(), 4);
    EXPECT_EQ(b.wb.progress().position(), 4);
}

TEST(FrameTest, ProgressMaximumIsLeftByTheLastHoughOperation) {
    Bench b;
    b.Load(50, 40, [](int, int) { return 128; });
    EXPECT_EQ(b.wb.progress().maximum(), 5);
    b.Run(14, "");
    EXPECT_EQ(b.wb.progress().position(), 3);
    b.Run(16, "");
    EXPECT_EQ(b.wb.progress().position(), 0);  // six steps against 5 wrap to the start
    b.Run(6, "");
    EXPECT_EQ(b.wb.progress().maximum(), 9);
    EXPECT_EQ(b.wb.progress().position(), 9);
    b.Run(15, "");
    EXPECT_EQ(b.wb.progress().position(), 3);
}

TEST(FrameTest, RunningOperationZeroTwiceTogglesBack) {
    Bench b;
    b.Load(20, 20, [](int x, int y) { return (x * y) % 256; });
    b.Run(0, "20");
    EXPECT_EQ(b.wb.image().activePlane, 1);
    b.wb.GoClick();
    EXPECT_EQ(b.wb.image().activePlane, 0);
    b.Run(6, "150");
    EXPECT_EQ(b.wb.image().activePlane, 0);
    EXPECT_EQ(b.screen.caption, b.wb.image().title + " [Hough cross detection]");
    EXPECT_EQ(b.screen.readout, "Hough: 0");
}

// The grid search shows the log of both spacing estimates: every distance,
// then "ideal:" and the spacing, for end A and then for end B.
TEST(FrameTest, HorizontalGridSearchLogsBothEstimates) {
    Bench b;
    b.Load(200, 160, [](int, int y) { return y % 20 < 10 ? 100 : 130; });
    b.Run(14, "");
    std::vector<std::string> ideals;
    for (const std::string& line : b.screen.log)
        if (line.rfind("ideal:", 0) == 0) ideals.push_back(line);
    EXPECT_EQ(ideals, (std::vector<std::string>{"ideal:20", "ideal:20"}));
    EXPECT_EQ(b.screen.log.back(), "ideal:20");
    EXPECT_GT(b.screen.log.size(), 4u);
}

// A screen that records whether the active plane was still untouched when
// the plain box opened.
class BoxWatcher : public MemoryScreen {
public:
    void PlainBox(const std::string& text) override {
        const GrayPlane& plane = bench->image().active();
        untouchedAtBox = std::vector<uint8_t>(plane.begin(), plane.begin() + plane.size()) == before;
        MemoryScreen::PlainBox(text);
    }
    Workbench* bench = nullptr;
    std::vector<uint8_t> before;
    bool untouchedAtBox = false;
};

TEST(FrameTest, HistogramReportsItsModeInAPlainBoxBeforeRewriting) {
    BoxWatcher screen;
    Workbench wb(screen);
    wb.LoadDecoded(GrayPicture(10, 10, [](int x, int) { return x < 6 ? 150 : 20; }), "/pics/test.jpg");
    screen.bench = &wb;
    const GrayPlane& plane = wb.image().active();
    screen.before.assign(plane.begin(), plane.begin() + plane.size());
    wb.ChooseOperation(12);
    wb.SetParameterText("30");
    wb.GoClick();
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].kind, RecordedMessage::Info);
    EXPECT_EQ(screen.messages[0].text, "Pst je 150");
    EXPECT_TRUE(screen.untouchedAtBox);
    EXPECT_EQ(plane.at(9, 0), 0);  // 20 lies below 150 - 30: rewritten after the box
}

// Input that arrives through the event pump while an operation runs.
struct Reentry {
    Bench* bench;
    int calls = 0;
};

TEST(FrameTest, InputDuringAnOperationIsIgnored) {
    Bench b;
    b.Load(30, 30, [](int x, int) { return x * 8; });
    b.wb.SetPumpInterval(std::chrono::hours(1));  // only the convolution's own pumps, however slow the machine
    Reentry r{&b};
    b.screen.pumpHookContext = &r;
    b.screen.pumpHooks.push_back([](void* ctx) {
        auto* r = static_cast<Reentry*>(ctx);
        ++r->calls;
        r->bench->wb.GoClick();
        r->bench->wb.ShortcutClick(12);
        r->bench->wb.FileClick("/nonexistent.jpg");
        r->bench->wb.ChooseOperation(5);
        r->bench->wb.SetParameterText("99");
        r->bench->wb.RefreshClick();
    });
    b.Run(0, "20");
    EXPECT_EQ(r.calls, 28);  // once per inner column
    EXPECT_EQ(b.wb.lastOperation().sequence, 1u);
    EXPECT_EQ(b.wb.controls().selectedOperation, 0);
    EXPECT_EQ(b.wb.controls().parameterText, "20");
    EXPECT_TRUE(b.screen.messages.empty());
    EXPECT_EQ(b.wb.image().activePlane, 1);
}

TEST(FrameTest, ClosingDuringAnOperationStopsAtTheNextPump) {
    Bench b;
    b.Load(30, 30, [](int x, int) { return x * 8; });
    b.screen.pumpHookContext = &b;
    b.screen.pumpHooks.push_back([](void* ctx) { static_cast<Bench*>(ctx)->wb.Close(); });
    b.Run(13, "");
    EXPECT_TRUE(b.wb.closeRequested());
    EXPECT_EQ(b.screen.pumps, 1);
    EXPECT_FALSE(b.wb.busy());
    EXPECT_FALSE(b.screen.busyCursor);
    EXPECT_FALSE(b.screen.progressVisible);
    EXPECT_EQ(b.wb.image().activePlane, 0);  // stopped inside the first convolution
    EXPECT_TRUE(b.wb.lines().horizontalLines.empty());
    EXPECT_TRUE(b.screen.messages.empty());
}

// "Go on" and the track bar stay live while an operation runs: the end of
// the running operation follows "Go on" as it is then, and a moved track bar
// keeps its position for the segmentation that follows.
TEST(FrameTest, GoOnAndTrackBarCountDuringAnOperation) {
    Bench b;
    b.Load(30, 30, [](int x, int) { return x * 8; });
    b.wb.ChooseOperation(3);  // track bar maximum 29
    b.screen.pumpHookContext = &b;
    b.screen.pumpHooks.push_back([](void* ctx) {
        auto& bench = *static_cast<Bench*>(ctx);
        bench.wb.SetGoOn(true);
        bench.wb.SetTrackBarPosition(bench.screen.pumps == 1 ? 40 : 7);
    });
    b.Run(0, "20");
    b.screen.pumpHooks.clear();
    EXPECT_TRUE(b.wb.controls().goOn);
    EXPECT_EQ(b.wb.controls().selectedOperation, 1);
    EXPECT_EQ(b.wb.controls().trackBar.position, 7);

    // Segmentation with step 30 and the offset 7 set during the operation.
    b.wb.SetParameterText("30");  // resets the position only with operation 3 selected
    ASSERT_EQ(b.wb.controls().trackBar.position, 7);
    const uint8_t before = b.active().at(10, 10);
    b.wb.ShortcutClick(3);
    EXPECT_EQ(b.active().at(10, 10), before / 30 * 30 + 7);

    // Unticked during the next one: it does not move on.
    b.wb.ChooseOperation(0);
    b.screen.pumpHooks.push_back([](void* ctx) { static_cast<Bench*>(ctx)->wb.SetGoOn(false); });
    b.wb.GoClick();
    EXPECT_FALSE(b.wb.controls().goOn);
    EXPECT_EQ(b.wb.controls().selectedOperation, 0);
}

// Cancel stops the operation at its next event pump; the frame still ends
// (cursor, dialog, lines) but "Go on" does not move on, and the next
// operation runs as usual.
TEST(FrameTest, CancelStopsAtTheNextPumpAndTheFrameEnds) {
    Bench b;
    b.Load(30, 30, [](int x, int) { return x * 8; });
    b.screen.pumpHookContext = &b;
    b.screen.pumpHooks.push_back([](void* ctx) { static_cast<Bench*>(ctx)->wb.Cancel(); });
    b.wb.SetGoOn(true);
    b.Run(0, "20");
    EXPECT_TRUE(b.wb.lastOperation().cancelled);
    EXPECT_EQ(b.screen.pumps, 1);
    EXPECT_FALSE(b.wb.busy());
    EXPECT_FALSE(b.screen.busyCursor);
    EXPECT_FALSE(b.screen.progressVisible);
    EXPECT_EQ(b.wb.controls().selectedOperation, 0);
    EXPECT_EQ(b.wb.image().activePlane, 0);  // stopped inside the convolution, before the toggle

    b.screen.pumpHooks.clear();
    b.wb.GoClick();
    EXPECT_FALSE(b.wb.lastOperation().cancelled);
    EXPECT_EQ(b.wb.controls().selectedOperation, 1);
    EXPECT_EQ(b.wb.image().activePlane, 1);

    b.wb.Cancel();  // nothing runs: nothing to stop
    b.wb.GoClick();
    EXPECT_FALSE(b.wb.lastOperation().cancelled);
}

// Soft grid lines, 30 gray levels below the background: edges that every
// pipeline keeps, so that the line finders have lines in the lists while
// they run and the grid searches label cells.
uint8_t SoftGrid(int x, int y) { return (x % 10 < 2 || y % 10 < 2) ? 150 : 180; }

// Cancels at the pump numbered `at` (from 1); counts every pump.
struct CancelAt {
    Bench* bench;
    int at = 0;
    int pumps = 0;
};

void CancelAtPump(void* context) {
    auto& c = *static_cast<CancelAt*>(context);
    if (++c.pumps == c.at) c.bench->wb.Cancel();
}

void CopyPlane(const Plane& from, Plane& to) { std::copy(from.begin(), from.begin() + from.size(), to.begin()); }

// Every operation, cancelled at each of its event pumps in turn (every pause
// point pumps here), stops at that pump and ends its frame: not busy, the
// cursor and the dialog restored, the line lists empty, "Go on" not moving
// on. The workbench then runs the operation again exactly as a fresh one
// holding the same planes would.
class CancelTest : public ::testing::TestWithParam<int> {};

TEST_P(CancelTest, AtEveryPump) {
    const int op = GetParam();
    auto prepare = [](Bench& b) {
        b.Load(80, 60, SoftGrid);
        b.wb.SetPumpInterval(std::chrono::steady_clock::duration::zero());
    };
    int pumps = 0;
    {
        Bench b;
        prepare(b);
        b.Run(op, "20");
        pumps = b.screen.pumps;
    }
    ASSERT_GT(pumps, 0);
    for (int at = 1; at <= pumps; ++at) {
        Bench b;
        prepare(b);
        CancelAt cancel{&b, at};
        b.screen.pumpHookContext = &cancel;
        b.screen.pumpHooks.push_back(CancelAtPump);
        b.wb.SetGoOn(true);
        b.Run(op, "20");
        const std::string where = "pump " + std::to_string(at);
        ASSERT_TRUE(b.wb.lastOperation().cancelled) << where;
        EXPECT_EQ(cancel.pumps, at) << where;
        EXPECT_FALSE(b.wb.busy()) << where;
        EXPECT_FALSE(b.screen.busyCursor) << where;
        EXPECT_FALSE(b.screen.progressVisible) << where;
        EXPECT_TRUE(b.wb.lines().horizontalLines.empty()) << where;
        EXPECT_TRUE(b.wb.lines().verticalLines.empty()) << where;
        EXPECT_EQ(b.wb.controls().selectedOperation, op) << where;
        EXPECT_EQ(b.wb.lastOperation().outcome, "") << where;  // a search that never ended has none

        Bench fresh;
        prepare(fresh);
        for (int i = 0; i < 2; ++i) CopyPlane(b.wb.image().planes[i], fresh.wb.image().planes[i]);
        CopyPlane(b.marks(), fresh.marks());
        fresh.wb.image().activePlane = b.wb.image().activePlane;
        b.screen.pumpHooks.clear();
        b.wb.SetGoOn(false);
        b.wb.GoClick();
        fresh.Run(op, "20");
        ASSERT_FALSE(b.wb.lastOperation().cancelled) << where;
        EXPECT_EQ(b.wb.image().activePlane, fresh.wb.image().activePlane) << where;
        for (int i = 0; i < 2; ++i) {
            const Plane& plane = b.wb.image().planes[i];
            EXPECT_TRUE(std::equal(plane.begin(), plane.begin() + plane.size(), fresh.wb.image().planes[i].begin()))
                << where << ", plane " << i;
        }
        EXPECT_TRUE(std::equal(b.marks().begin(), b.marks().begin() + b.marks().size(), fresh.marks().begin()))
            << where;
        EXPECT_EQ(b.screen.display, fresh.screen.display) << where;
        const OperationRecord& again = b.wb.lastOperation();
        const OperationRecord& expected = fresh.wb.lastOperation();
        EXPECT_EQ(again.horizontalLines.size(), expected.horizontalLines.size()) << where;
        EXPECT_EQ(again.verticalLines.size(), expected.verticalLines.size()) << where;
        EXPECT_EQ(again.cells.size(), expected.cells.size()) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, CancelTest, ::testing::Range(0, kOperationCount));

// -------------------------------------------------------- grid search outcome

// Soft lines, as a photographed grid has them: horizontal lines every
// `rows` pixels from y = 30 and vertical ones every `columns` pixels from
// x = 40; 0 leaves that family out.
std::function<uint8_t(int, int)> SoftLines(int rows, int columns) {
    return [rows, columns](int x, int y) -> uint8_t {
        auto distance = [](int v, int period, int offset) {
            if (period == 0 || v < offset) return 99;
            const int k = (v - offset) % period;
            return std::min(k, period - k);
        };
        const int d = std::min(distance(x, columns, 40), distance(y, rows, 30));
        return uint8_t(200 - (d == 0 ? 45 : d == 1 ? 30 : d == 2 ? 12 : 0));
    };
}

struct OutcomeCase {
    const char* name;
    int rows, columns;  // of SoftLines
    int operation;
    const char* outcome;
};

// Where each grid search ends on a picture: its grid, or the first of its
// stages that came up empty. Only a whole search that found its grid has
// cells.
class GridOutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(GridOutcomeTest, SaysWhereTheSearchEnded) {
    const OutcomeCase& c = GetParam();
    Bench b;
    b.Load(640, 480, SoftLines(c.rows, c.columns));
    b.Run(c.operation, "20");
    const OperationRecord& record = b.wb.lastOperation();
    const std::string outcome = c.outcome;
    EXPECT_EQ(record.outcome, outcome);
    if (outcome == kNoSpacingFound) {
        // Lines were found; only their spacing was not.
        EXPECT_NE(std::find(b.screen.log.begin(), b.screen.log.end(), "ideal:0"), b.screen.log.end());
    }
    const bool wholeSearch = c.operation == 16 || c.operation == 17;
    EXPECT_EQ(record.cells.empty(), !(wholeSearch && outcome == kGridFound));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, GridOutcomeTest,
    ::testing::Values(OutcomeCase{"Grid", 48, 64, 16, kGridFound},
                      OutcomeCase{"Blank", 0, 0, 16, kNoHorizontalLines},
                      OutcomeCase{"OnlyVerticalLines", 0, 64, 16, kNoHorizontalLines},
                      OutcomeCase{"OnlyHorizontalLines", 48, 0, 16, kNoVerticalLines},
                      OutcomeCase{"LinesTooFarApart", 300, 300, 16, kNoSpacingFound},
                      OutcomeCase{"HorizontalHalf", 48, 0, 14, kGridFound},
                      OutcomeCase{"VerticalHalfOfHorizontalLines", 48, 0, 15, kNoVerticalLines},
                      OutcomeCase{"ChainSearchOfABlank", 0, 0, 13, kNoHorizontalLines},
                      OutcomeCase{"NotAGridSearch", 48, 64, 4, ""}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexo
