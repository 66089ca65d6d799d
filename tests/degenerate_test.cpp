// Every operation on degenerate pictures: a single pixel, pictures thinner
// than a 3x3 kernel, one-pixel-wide strips, pictures exactly the size of the
// Hough peak windows (31 and 41), a picture wider than 1200 pixels, and one
// as wide as a picture may be (16384). Each is run blank, white and random,
// with the operation's default parameter and with 0, 1, 255, 256 and the
// largest signed 32-bit value.
//
// A run must come back (no fault, no endless loop) and leave the workbench
// consistent: not busy, not terminated, both line lists empty, the picture
// and its display unchanged in size, the progress bar within its range, and
// no message besides the one its parameter calls for.
//
// A Hough transform on 16384 x 16 fills a 16384 x 16384 vote table (half a
// gigabyte) whatever the picture holds, so at that width the transforms run
// where they have something to find: the two that vote straight on the
// picture, on one full row and one full column of edges, each finding its
// one line exactly. The operations that run a transform after filtering
// (6, 14 to 17) repeat the same table and, on pictures 16 rows high, find
// nothing; they run at the other sizes. Operations 13 to 17 read no
// parameter and run with their default text only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/operations.h"
#include "app/workbench.h"
#include "core/memory_screen.h"
#include "lines/line_list.h"

namespace vexo {
namespace {

enum class Content { Blank, White, Random, Cross };

const char* ContentName(Content content) {
    switch (content) {
        case Content::Blank: return "blank";
        case Content::White: return "white";
        case Content::Random: return "random";
        case Content::Cross: return "cross";
    }
    return "?";
}

struct Size {
    int width;
    int height;
};

// The text typed into the parameter box; none keeps the operation's default.
using ParameterText = std::optional<std::string>;

struct DegenerateCase {
    Size size;
    Content content;
    int operation;
    std::vector<ParameterText> parameters;
    // The lines the operation must find; none checked when absent.
    std::optional<std::vector<LineEnds>> horizontal = std::nullopt;
    std::optional<std::vector<LineEnds>> vertical = std::nullopt;
};

DecodedBitmap MakePicture(Size size, Content content) {
    DecodedBitmap bitmap;
    bitmap.width = size.width;
    bitmap.height = size.height;
    for (int j = 0; j < 256; ++j) bitmap.palette[j] = {uint8_t(j), uint8_t(j), uint8_t(j)};
    bitmap.paletteSize = 256;
    const std::size_t count = std::size_t(size.width) * std::size_t(size.height);
    switch (content) {
        case Content::Blank: bitmap.indices.assign(count, 0); break;
        case Content::White: bitmap.indices.assign(count, 255); break;
        case Content::Random: {
            std::mt19937 random(uint32_t(size.width) * 7919u + uint32_t(size.height));
            bitmap.indices.resize(count);
            for (auto& sample : bitmap.indices) sample = uint8_t(random() & 0xFF);
            break;
        }
        case Content::Cross: {
            // One full row of 255, the last, and one full column, the middle.
            bitmap.indices.assign(count, 0);
            const int midRow = size.height - 1, midColumn = size.width / 2;
            for (int x = 0; x < size.width; ++x) bitmap.indices[std::size_t(midRow) * size.width + x] = 255;
            for (int y = 0; y < size.height; ++y) bitmap.indices[std::size_t(y) * size.width + midColumn] = 255;
            break;
        }
    }
    return bitmap;
}

// Pictures are built once per size and content; each run loads a copy.
const DecodedBitmap& Picture(Size size, Content content) {
    struct Entry {
        int width, height;
        Content content;
        DecodedBitmap bitmap;
    };
    static std::vector<std::unique_ptr<Entry>> cache;
    for (const auto& entry : cache)
        if (entry->width == size.width && entry->height == size.height && entry->content == content)
            return entry->bitmap;
    cache.push_back(std::make_unique<Entry>(Entry{size.width, size.height, content, MakePicture(size, content)}));
    return cache.back()->bitmap;
}

bool ReadsParameter(int operation) { return operation <= 12; }

bool VotesOnLargeTable(int operation) {
    return (operation >= 4 && operation <= 6) || operation >= 14;
}

// A segment step whose low 8 bits are 0 is refused with a message.
std::vector<std::string> ExpectedErrors(int operation, const std::string& parameterText) {
    if (operation == 3) {
        auto value = ParseParameter(parameterText);
        if (value && *value >= 0 && (*value & 0xFF) == 0) return {"Wrong segment size!"};
    }
    return {};
}

const std::vector<ParameterText> kAllParameters = {std::nullopt, "0", "1", "255", "256", "2147483647"};
const std::vector<ParameterText> kDefaultOnly = {std::nullopt};

std::vector<DegenerateCase> SmallCases() {
    const Size sizes[] = {{1, 1}, {2, 2}, {3, 3}, {1, 500}, {500, 1}, {31, 31}, {41, 41}, {1201, 5}};
    std::vector<DegenerateCase> cases;
    for (Size size : sizes)
        for (Content content : {Content::Blank, Content::White, Content::Random})
            for (int op = 0; op < kOperationCount; ++op)
                cases.push_back({size, content, op, ReadsParameter(op) ? kAllParameters : kDefaultOnly});
    return cases;
}

std::vector<DegenerateCase> WidestCases() {
    const Size size{kMaxPictureSide, 16};
    std::vector<DegenerateCase> cases;
    for (int op = 0; op < kOperationCount; ++op) {
        const auto& parameters = ReadsParameter(op) ? kAllParameters : kDefaultOnly;
        if (!VotesOnLargeTable(op))
            for (Content content : {Content::Blank, Content::White, Content::Random})
                cases.push_back({size, content, op, parameters});
    }
    // The last row: 16383 votes for row 15 at both ends, far above the
    // default threshold (a peak lies at least 15 cells from the table's
    // border, so no other row of the picture could be one). The column: 15
    // votes (its samples below row 0) for column 8192 at row 0 and at row
    // 16383; the row's samples give at most 2 to any other line.
    const int lastRow = size.height - 1, middleColumn = size.width / 2;
    cases.push_back({size, Content::Cross, 4, kDefaultOnly, std::vector<LineEnds>{{lastRow, lastRow}}});
    cases.push_back({size, Content::Cross, 5, {"10"}, std::nullopt, std::vector<LineEnds>{{middleColumn, middleColumn}}});
    return cases;
}

std::vector<std::pair<int32_t, int32_t>> Ends(const std::vector<LineEnds>& lines) {
    std::vector<std::pair<int32_t, int32_t>> ends;
    for (const LineEnds& line : lines) ends.emplace_back(line.a, line.b);
    return ends;
}

class DegeneratePicture : public ::testing::TestWithParam<DegenerateCase> {};

void RunOnce(const DegenerateCase& c, const ParameterText& parameter) {
    MemoryScreen screen;
    Workbench bench(screen);
    bench.LoadDecoded(JpegDecoder::FromBitmap(Picture(c.size, c.content)), "degenerate.jpg");
    ASSERT_TRUE(bench.image().loaded());
    ASSERT_TRUE(screen.messages.empty());

    bench.ChooseOperation(c.operation);
    if (parameter) bench.SetParameterText(*parameter);
    const std::string typed = bench.controls().parameterText;
    bench.GoClick();

    const ImageState& image = bench.image();
    EXPECT_FALSE(bench.busy());
    EXPECT_FALSE(bench.terminated());
    EXPECT_FALSE(screen.closeRequested);
    EXPECT_TRUE(bench.lines().horizontalLines.empty());
    EXPECT_TRUE(bench.lines().verticalLines.empty());
    EXPECT_EQ(image.width, c.size.width);
    EXPECT_EQ(image.height, c.size.height);
    EXPECT_LE(image.activePlane, 1);
    for (const Plane* plane : {&image.planes[0], &image.planes[1], &image.marks}) {
        ASSERT_TRUE(*plane);
        EXPECT_EQ(plane->width, c.size.width);
        EXPECT_EQ(plane->height, c.size.height);
    }
    EXPECT_EQ(screen.displayWidth, StrideFor(c.size.width));
    EXPECT_EQ(screen.displayHeight, c.size.height);
    EXPECT_FALSE(screen.busyCursor);
    EXPECT_FALSE(screen.progressVisible);
    EXPECT_GE(screen.progressPosition, 0);
    EXPECT_LE(screen.progressPosition, screen.progressMaximum);

    std::vector<std::string> errors;
    int plainBoxes = 0;
    for (const auto& message : screen.messages) {
        if (message.kind == RecordedMessage::Error)
            errors.push_back(message.text);
        else
            ++plainBoxes;
    }
    EXPECT_EQ(errors, ExpectedErrors(c.operation, typed)) << "parameter text \"" << typed << "\"";
    EXPECT_EQ(plainBoxes, c.operation == 12 ? 1 : 0);
    if (c.horizontal) {
        EXPECT_EQ(Ends(bench.lastOperation().horizontalLines), Ends(*c.horizontal));
    }
    if (c.vertical) {
        EXPECT_EQ(Ends(bench.lastOperation().verticalLines), Ends(*c.vertical));
    }
}

TEST_P(DegeneratePicture, RunsCleanly) {
    const DegenerateCase& c = GetParam();
    for (const ParameterText& parameter : c.parameters) {
        SCOPED_TRACE(parameter ? "parameter \"" + *parameter + "\"" : std::string("default parameter"));
        RunOnce(c, parameter);
        if (HasFatalFailure()) return;
    }
}

std::string CaseName(const ::testing::TestParamInfo<DegenerateCase>& info) {
    const DegenerateCase& c = info.param;
    return std::to_string(c.size.width) + "x" + std::to_string(c.size.height) + "_" + ContentName(c.content) +
           "_op" + std::to_string(c.operation);
}

INSTANTIATE_TEST_SUITE_P(Small, DegeneratePicture, ::testing::ValuesIn(SmallCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Widest, DegeneratePicture, ::testing::ValuesIn(WidestCases()), CaseName);

// Two operations in a row on a one-pixel picture, with R in between: the
// second starts from whatever the first left in the planes and the marks.
TEST(DegeneratePicture, SinglePixelSequence) {
    MemoryScreen screen;
    Workbench bench(screen);
    bench.LoadDecoded(JpegDecoder::FromBitmap(Picture({1, 1}, Content::White)), "one.jpg");
    for (int first = 0; first < kOperationCount; ++first) {
        for (int second = 0; second < kOperationCount; ++second) {
            bench.ChooseOperation(first);
            bench.GoClick();
            bench.RefreshClick();
            bench.ShortcutClick(second);
            ASSERT_FALSE(bench.terminated()) << first << " then " << second;
            ASSERT_TRUE(bench.lines().horizontalLines.empty());
            ASSERT_TRUE(bench.lines().verticalLines.empty());
        }
    }
    EXPECT_EQ(bench.image().width, 1);
    EXPECT_EQ(bench.image().height, 1);
}

}  // namespace
}  // namespace vexo
