// Pictures larger than the working size load at libjpeg's scale M/8: the
// scale choice, the size limit on the declared size, the grid search on a
// phone-sized photograph, and coordinates back in the file's pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "app/workbench.h"
#include "core/image_state.h"
#include "core/memory_screen.h"
#include "test_jpegs.h"

using namespace vexo;
namespace fs = std::filesystem;

namespace {

struct ScaleCase {
    int width, height;
    int scale;                // M of M/8 chosen by default
    int shownWidth, shownHeight;
};

class WorkingSizeTest : public testing::TestWithParam<ScaleCase> {
protected:
    void SetUp() override {
        path_ = fs::temp_directory_path() / ("vexo_working_size_" + std::to_string(::getpid()) + ".jpg");
        testjpeg::JpegOptions options;
        options.width = GetParam().width;
        options.height = GetParam().height;
        const auto jpeg = testjpeg::EncodeJpeg(options, testjpeg::RandomSamples(options.width, options.height, 1, 7));
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                     std::streamsize(jpeg.size()));
    }
    void TearDown() override { fs::remove(path_); }
    fs::path path_;
};

// Sides round up at a scale (1201 * 7 / 8 = 1050.875 gives 1051); a side
// that fits nowhere (9601 / 8 = 1200.125) takes 1/8 all the same.
TEST_P(WorkingSizeTest, LargestScaleThatFitsAndFullSizeOnRequest) {
    const ScaleCase& c = GetParam();
    MemoryScreen screen;
    Workbench wb(screen);
    wb.FileClick(path_.string());
    ASSERT_TRUE(wb.image().loaded());
    EXPECT_EQ(wb.image().source.scale, c.scale);
    EXPECT_EQ(wb.image().source.width, c.width);
    EXPECT_EQ(wb.image().source.height, c.height);
    EXPECT_EQ(wb.image().width, c.shownWidth);
    EXPECT_EQ(wb.image().height, c.shownHeight);
    EXPECT_EQ(screen.caption, "Vexo - " + path_.filename().string() + " (" + std::to_string(c.shownWidth) + "x" +
                                  std::to_string(c.shownHeight) + ")");

    // Plane 0 is the picture as decoded (which the loader tests hold against
    // djpeg at every scale); so is what "R" brings back.
    const GrayPlane& decoded = *wb.image().decoder->decodedBitmap;
    const GrayPlane& plane0 = wb.image().planes[0];
    ASSERT_EQ(plane0.size(), decoded.size());
    EXPECT_TRUE(std::equal(plane0.begin(), plane0.begin() + plane0.size(), decoded.begin()));

    wb.SetFullSize(true);
    wb.FileClick(path_.string());
    EXPECT_EQ(wb.image().source.scale, 8);
    EXPECT_EQ(wb.image().width, c.width);
    EXPECT_EQ(wb.image().height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WorkingSizeTest,
                         testing::Values(ScaleCase{1200, 1200, 8, 1200, 1200}, ScaleCase{1201, 5, 7, 1051, 5},
                                         ScaleCase{5, 2401, 3, 2, 901}, ScaleCase{9601, 3, 1, 1201, 1},
                                         ScaleCase{2401, 1801, 3, 901, 676}));

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The size limit applies to the size the file declares, not to the size it
// would be decoded at: 20000 x 100 is refused although 1/8 would be 2500 x
// 13, and nothing of the shown picture changes; 16384 x 8 loads, at 1/8.
TEST(WorkingSizeLimitTest, DeclaredSizeIsWhatTheLimitJudges) {
    const fs::path path = fs::temp_directory_path() / ("vexo_working_limit_" + std::to_string(::getpid()) + ".jpg");
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 16, .height = 16}, 5);
    MemoryScreen screen;
    Workbench wb(screen);
    WriteFile(path, jpeg);
    wb.FileClick(path.string());
    ASSERT_TRUE(wb.image().loaded());

    testjpeg::PatchFrameSize(jpeg, 20000, 100);
    WriteFile(path, jpeg);
    wb.FileClick(path.string());
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].text, "Picture too large: 20000 x 100 (at most 16384 x 16384)");
    EXPECT_EQ(wb.image().width, 16);
    EXPECT_EQ(wb.image().source.width, 16);

    testjpeg::PatchFrameSize(jpeg, 16384, 8);
    WriteFile(path, jpeg);
    wb.FileClick(path.string());
    fs::remove(path);
    EXPECT_EQ(screen.messages.size(), 1u);  // the data runs short: a warning, no message
    EXPECT_EQ(wb.image().source.scale, 1);
    EXPECT_EQ(wb.image().width, 2048);
    EXPECT_EQ(wb.image().height, 1);
}

// grid-4000x3000.jpg is grid-800x600.jpg five times larger. Loaded at its
// working size (2/8) the grid search finds the same grid, and every cell's
// corners, back in the file's pixels, lie within a cell width (300 pixels)
// of five times the small picture's.
TEST(WorkingSizeGridTest, PhoneSizedPhotographGivesTheSameGrid) {
    const fs::path samples = fs::path(VEXO_SOURCE_DIR) / "samples";
    MemoryScreen screen;
    Workbench wb(screen);
    auto gridOf = [&](const char* name) {
        wb.FileClick((samples / name).string());
        EXPECT_TRUE(wb.image().loaded()) << name;
        wb.ChooseOperation(16);
        wb.GoClick();
        return wb.lastOperation();
    };
    const OperationRecord small = gridOf("grid-800x600.jpg");
    const OperationRecord large = gridOf("grid-4000x3000.jpg");
    EXPECT_EQ(wb.image().source.scale, 2);
    EXPECT_TRUE(screen.messages.empty());
    EXPECT_EQ(small.horizontalLines.size(), 9u);
    EXPECT_EQ(small.verticalLines.size(), 9u);
    EXPECT_EQ(large.horizontalLines.size(), 9u);
    EXPECT_EQ(large.verticalLines.size(), 9u);
    ASSERT_EQ(small.cells.size(), 64u);
    ASSERT_EQ(large.cells.size(), 64u);
    for (std::size_t i = 0; i < 64; ++i) {
        const Cell& s = small.cells[i];
        const Cell& l = large.cells[i];
        EXPECT_EQ(l.label, s.label);
        for (auto corner : {&Cell::tl, &Cell::tr, &Cell::bl, &Cell::br}) {
            ASSERT_TRUE((s.*corner).has_value() && (l.*corner).has_value()) << s.label;
            EXPECT_LE(std::abs(SourceCoordinate((l.*corner)->x, 2) - 5 * int64_t((s.*corner)->x)), 300) << s.label;
            EXPECT_LE(std::abs(SourceCoordinate((l.*corner)->y, 2) - 5 * int64_t((s.*corner)->y)), 300) << s.label;
        }
    }
}

// (c + 0.5) * 8 / M - 0.5, halves to even: the centre of a working pixel in
// the file's pixels.
TEST(SourceCoordinateTest, CentresOfWorkingPixelsHalvesToEven) {
    struct Case {
        int32_t c;
        int scale;
        int64_t expected;
    };
    for (const Case& k : {Case{0, 8, 0}, Case{-7, 8, -7}, Case{0, 4, 0} /* 0.5 */, Case{1, 4, 2} /* 2.5 */,
                          Case{3, 4, 6} /* 6.5 */, Case{0, 2, 2} /* 1.5 */, Case{1, 2, 6} /* 5.5 */,
                          Case{0, 1, 4} /* 3.5 */, Case{0, 3, 1} /* 0.833 */, Case{-1, 2, -2} /* -2.5 */,
                          // A far crossing leaves the 32-bit range in the file's pixels.
                          Case{2147483647, 1, 17179869180}, Case{-2147483647 - 1, 1, -17179869180}})
        EXPECT_EQ(SourceCoordinate(k.c, k.scale), k.expected) << k.c << " at " << k.scale;
}

TEST(WorkingSizeTextTest, SaysTheScaleOnlyWhenThereIsOne) {
    ImageState image;
    image.width = 1000;
    image.height = 750;
    image.source = SourceSize{4000, 3000, 2};
    EXPECT_EQ(WorkingSizeText(image), "4000 x 3000 shown at 2/8 (1000 x 750)");
    image.source = SourceSize{640, 480, 8};
    EXPECT_EQ(WorkingSizeText(image), "640 x 480");
}

}  // namespace
