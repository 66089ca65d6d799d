// Pictures larger than the working size load at libjpeg's scale M/8: the
// scale choice, the declared size, and coordinates back in the file's pixels.
#include <gtest/gtest.h>

#include <cstdio>
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
