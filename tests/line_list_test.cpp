#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "lines/line_list.h"

namespace vexo {
namespace {

std::vector<std::pair<int, int>> Items(const LineList& list) {
    std::vector<std::pair<int, int>> out;
    for (const LineNode* n = list.head; n; n = n->next) out.emplace_back(n->a, n->b);
    return out;
}

TEST(LineListTest, AppendPrependRemoveKeepHeadAndTailRight) {
    LineLists lists;
    AddLine(lists, kAppendVertical, 1, 1);
    EXPECT_EQ(lists.verticalLines.head, lists.verticalLines.tail);
    AddLine(lists, kAppendVertical, 2, 2);
    AddLine(lists, kAppendVertical, 3, 3);
    LineNode* oldTail = lists.verticalLines.tail;
    AddLine(lists, kPrependVertical, 0, 0);
    EXPECT_EQ(lists.verticalLines.tail, oldTail);
    EXPECT_EQ(Items(lists.verticalLines), (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(lists.verticalLines.head->flag, 0);

    RemoveLine(lists.verticalLines.head->next, lists.verticalLines);  // middle
    EXPECT_EQ(lists.verticalLines.tail, oldTail);
    RemoveLine(lists.verticalLines.tail, lists.verticalLines);  // tail moves back
    EXPECT_EQ(lists.verticalLines.tail->a, 2);
    EXPECT_EQ(lists.verticalLines.tail->next, nullptr);
    RemoveLine(lists.verticalLines.head, lists.verticalLines);
    RemoveLine(lists.verticalLines.head, lists.verticalLines);  // the only node
    EXPECT_EQ(lists.verticalLines.head, nullptr);
    EXPECT_EQ(lists.verticalLines.tail, nullptr);
    EXPECT_TRUE(lists.horizontalLines.empty());
}

TEST(LineListTest, PrependToAnEmptyListMakesTheTailToo) {
    LineLists lists;
    AddLine(lists, kAppendVertical, 1, 1);
    FreeLines(lists.verticalLines);  // leaves a stale tail behind
    AddLine(lists, kPrependVertical, 2, 2);
    AddLine(lists, kAppendVertical, 3, 3);
    EXPECT_EQ(Items(lists.verticalLines), (std::vector<std::pair<int, int>>{{2, 2}, {3, 3}}));
}

TEST(LineListTest, AppendAfterFreeIgnoresTheStaleTail) {
    LineLists lists;
    AddLine(lists, kAppendHorizontal, 5, 6);
    AddLine(lists, kAppendHorizontal, 7, 8);
    FreeLines(lists.horizontalLines);
    EXPECT_EQ(lists.horizontalLines.head, nullptr);
    EXPECT_NE(lists.horizontalLines.tail, nullptr);  // stale, never read
    AddLine(lists, kAppendHorizontal, 9, 9);
    EXPECT_EQ(lists.horizontalLines.head, lists.horizontalLines.tail);
    EXPECT_EQ(Items(lists.horizontalLines), (std::vector<std::pair<int, int>>{{9, 9}}));
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
