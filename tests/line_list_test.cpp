#include <gtest/gtest.h>

#include <iterator>
#include <utility>
#include <vector>

#include "line_helpers.h"
#include "lines/line_list.h"

namespace vexo {
namespace {

using testing::Collect;
using testing::Lines;

TEST(LineListTest, AppendPrependInsertAfterAndRemoveKeepTheOrder) {
    LineLists lists;
    AddLine(lists, kAppendVertical, 1, 1);
    AddLine(lists, kAppendVertical, 2, 2);
    AddLine(lists, kAppendVertical, 3, 3);
    AddLine(lists, kPrependVertical, 0, 0);
    LineList& list = lists.verticalLines;
    EXPECT_EQ(Collect(list), (Lines{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(list.front().flag, 0);
    EXPECT_TRUE(lists.horizontalLines.empty());

    const auto inserted = list.InsertAfter(list.begin(), Line{5, 5, 1});
    EXPECT_EQ(inserted->flag, 1);
    EXPECT_EQ(Collect(list), (Lines{{0, 0}, {5, 5}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(list.Remove(inserted)->a, 1);  // the following line
    EXPECT_EQ(list.Remove(std::prev(list.end())), list.end());
    EXPECT_EQ(list.back().a, 2);
    list.Remove(list.begin());
    EXPECT_EQ(Collect(list), (Lines{{1, 1}, {2, 2}}));

    // A cleared list starts afresh: a prepend then an append.
    list.Clear();
    EXPECT_TRUE(list.empty());
    AddLine(lists, kPrependVertical, 2, 2);
    AddLine(lists, kAppendVertical, 3, 3);
    EXPECT_EQ(Collect(list), (Lines{{2, 2}, {3, 3}}));
}

std::vector<std::pair<int, int>> Drawn(const Plane& p) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.at(x, y)) out.emplace_back(x, y);
    return out;
}

struct DrawCase {
    int w, h, x0, y0, x1, y1;
    std::vector<std::pair<int, int>> points;  // sorted by row, then column
};

class DrawLineTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawLineTest, WritesExactlyTheBresenhamPoints) {
    const DrawCase& c = GetParam();
    Plane p = Plane::Allocate(c.w, c.h);
    DrawLine(c.x0, c.y0, c.x1, c.y1, p, 7);
    EXPECT_EQ(Drawn(p), c.points);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawLineTest,
    ::testing::Values(
        // a single point
        DrawCase{5, 5, 2, 3, 2, 3, {{2, 3}}},
        // x drives, d starts at -2
        DrawCase{10, 10, 0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}}},
        // 45 degrees: y drives and steps diagonally at every point
        DrawCase{10, 12, 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        // stops early at the last column when the far end lies beyond it
        DrawCase{4, 3, 0, 1, 9, 1, {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},
        // from the last column leftwards with x driving: one point only
        DrawCase{6, 3, 5, 1, 0, 1, {{5, 1}}},
        // from the last row upwards with y driving: one point only
        DrawCase{3, 6, 1, 5, 1, 0, {{1, 5}}},
        // stops at the last row (a vertical Hough line of a wide picture)
        DrawCase{8, 3, 2, 0, 2, 7, {{2, 0}, {2, 1}, {2, 2}}},
        // points outside the picture are skipped, the walk goes on
        DrawCase{5, 5, -2, 2, 4, 2, {{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}}}));

TEST(DrawLineTest, RowTenOfTenWideWritesTenSamples) {
    Plane p = Plane::Allocate(10, 11);
    DrawLine(0, 10, 9, 10, p, 1);
    EXPECT_EQ(Drawn(p).size(), 10u);
}

TEST(DrawLineTest, FarAwayEndsNeverWriteOutsideAndEnd) {
    Plane p = Plane::Allocate(7, 5);
    DrawLine(3, 2, -2000000000, 2000000000, p, 1);
    DrawLine(3, 2, 2000000000, -5, p, 1);
    DrawLine(6, 4, -2147483647, -2147483647, p, 1);
    for (auto [x, y] : Drawn(p)) {
        EXPECT_GE(x, 0);
        EXPECT_LT(x, 7);
    }
}

TEST(MarkDotTest, ClipsToThePicture) {
    Plane p = Plane::Allocate(6, 4);
    MarkDot(0, 0, p, 1);
    EXPECT_EQ(Drawn(p).size(), 4u);
    ClearMarks(p);
    MarkDot(5, 3, p, 1);
    EXPECT_EQ(Drawn(p).size(), 4u);
    ClearMarks(p);
    MarkDot(2, 2, p, 1);
    EXPECT_EQ(Drawn(p).size(), 9u);
    ClearMarks(p);
    MarkDot(-5, 100, p, 1);
    EXPECT_TRUE(Drawn(p).empty());
}

}  // namespace
}  // namespace vexo
