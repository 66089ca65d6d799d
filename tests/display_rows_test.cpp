// Rows of the displayed picture read back as they were written, whichever
// screen keeps them; drawings over the display (Find Grid's lattice) rely on it.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/memory_screen.h"

namespace vexo {
namespace {

// A screen that reads its rows one pixel at a time (the interface's own way).
class PixelByPixelScreen : public MemoryScreen {
public:
    void ReadDisplayRow(int row, uint8_t* bgr, int pixels) const override {
        Screen::ReadDisplayRow(row, bgr, pixels);
    }
};

class DisplayRowsTest : public ::testing::TestWithParam<bool> {};

TEST_P(DisplayRowsTest, ReadBackAsWrittenBlackBeyond) {
    std::unique_ptr<MemoryScreen> screen =
        GetParam() ? std::make_unique<PixelByPixelScreen>() : std::make_unique<MemoryScreen>();
    screen->SizeDisplay(4, 3);
    const std::vector<uint8_t> row = {1, 2, 3, 40, 50, 60, 7, 8, 9, 200, 100, 0};
    std::string why;
    ASSERT_TRUE(screen->WriteDisplayRow(1, row.data(), 4, why));
    EXPECT_EQ(screen->DisplayPixel(1, 1).red, 60);  // stored red, green, blue

    std::vector<uint8_t> read(6 * 3, 0xAA);
    screen->ReadDisplayRow(1, read.data(), 6);
    EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.begin() + 12), row);
    EXPECT_EQ(std::vector<uint8_t>(read.begin() + 12, read.end()), std::vector<uint8_t>(6, 0));
    screen->ReadDisplayRow(3, read.data(), 2);  // below the picture
    EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.begin() + 6), std::vector<uint8_t>(6, 0));
}

INSTANTIATE_TEST_SUITE_P(Screens, DisplayRowsTest, ::testing::Bool());

}  // namespace
}  // namespace vexo
