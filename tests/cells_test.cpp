#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/memory_screen.h"
#include "lines/cells.h"

namespace vexo {
namespace {

using Ends = std::pair<int32_t, int32_t>;

Line MakeLine(Ends e) { return Line{e.first, e.second, 0}; }

void Fill(LineLists& lists, const std::vector<Ends>& horizontal, const std::vector<Ends>& vertical) {
    for (auto [a, b] : horizontal) AddLine(lists, kAppendHorizontal, a, b);
    for (auto [a, b] : vertical) AddLine(lists, kAppendVertical, a, b);
}

// ---- CrossMarks --------------------------------------------------------------

struct CrossCase {
    const char* name;
    friend void PrintTo(const CrossCase& c, std::ostream* os) { *os << c.name; }
    int width, height;
    Ends h, v;
    std::optional<Point> dot;  // the marked crossing
    int64_t outside;           // crossings outside the picture
};

class CrossMarksTest : public ::testing::TestWithParam<CrossCase> {};

TEST_P(CrossMarksTest, MarksOrCounts) {
    const CrossCase& c = GetParam();
    LineLists lists;
    Fill(lists, {c.h}, {c.v});
    Plane marks = Plane::Allocate(c.width, c.height);
    Plane expected = Plane::Allocate(c.width, c.height);
    if (c.dot) MarkDot(c.dot->x, c.dot->y, expected, 200);
    EXPECT_EQ(CrossMarks(true, lists, marks), c.outside);
    EXPECT_TRUE(std::equal(marks.begin(), marks.begin() + marks.size(), expected.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CrossMarksTest,
    ::testing::Values(
        CrossCase{"AxisParallel", 640, 480, {50, 50}, {100, 100}, Point{100, 50}, 0},
        // Both families use R = 639 on a 640 x 480 picture.
        CrossCase{"SlantedUsesLineSide", 640, 480, {240, 240}, {100, 200}, Point{138, 240}, 0},
        CrossCase{"TallPictureUsesHeight", 480, 640, {240, 240}, {100, 200}, Point{138, 240}, 0},
        CrossCase{"OriginMarkedAndClipped", 640, 480, {0, 0}, {0, 0}, Point{0, 0}, 0},
        CrossCase{"YEqualsHeightOutside", 640, 480, {480, 480}, {100, 100}, std::nullopt, 1},
        CrossCase{"XEqualsWidthOutside", 640, 480, {50, 50}, {640, 640}, std::nullopt, 1},
        // Coinciding diagonals of a square picture have no single crossing.
        CrossCase{"ZeroDenominatorIgnored", 100, 100, {0, 99}, {0, 99}, std::nullopt, 0},
        CrossCase{"ExtremeEndsWrap", 640, 480, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, std::nullopt, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CrossMarksTest, CountsEveryPairOutsideAndNothingWithoutDrawing) {
    LineLists lists;
    Fill(lists, {{50, 50}, {600, 600}}, {{100, 100}, {700, 700}});
    Plane marks = Plane::Allocate(640, 480);
    EXPECT_EQ(CrossMarks(true, lists, marks), 3);
    EXPECT_EQ(marks.at(100, 50), 200);

    Plane untouched = Plane::Allocate(640, 480);
    EXPECT_EQ(CrossMarks(false, lists, untouched), 0);
    EXPECT_EQ(std::count(untouched.begin(), untouched.begin() + untouched.size(), 0), 640 * 480);
}

// ---- IntersectLines ------------------------------------------------------------

struct IntersectCase {
    const char* name;
    friend void PrintTo(const IntersectCase& c, std::ostream* os) { *os << c.name; }
    Ends h, v;
    std::optional<Point> point;
};

class IntersectLinesTest : public ::testing::TestWithParam<IntersectCase> {};

TEST_P(IntersectLinesTest, OnA640By480Picture) {
    const IntersectCase& c = GetParam();
    EXPECT_EQ(IntersectLines(MakeLine(c.h), MakeLine(c.v), 640, 480), c.point);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntersectLinesTest,
    ::testing::Values(
        IntersectCase{"AxisParallel", {50, 50}, {100, 100}, Point{100, 50}},
        // References W = 640 and H = 480: t = 0.5 here, against 240/639 in CrossMarks.
        IntersectCase{"SlantedUsesWidthAndHeight", {240, 240}, {100, 200}, Point{150, 240}},
        IntersectCase{"HalfRoundsDownToEven", {240, 240}, {100, 101}, Point{100, 240}},
        IntersectCase{"HalfRoundsUpToEven", {240, 240}, {101, 102}, Point{102, 240}},
        IntersectCase{"ZeroDenominator", {0, 480}, {0, 640}, std::nullopt},
        IntersectCase{"BeyondInt32", {960, 960}, {2147483600, 2147483647}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Labels ----------------------------------------------------------------------

struct LabelTextCase {
    int column, row;
    const char* text;
    friend void PrintTo(const LabelTextCase& c, std::ostream* os) { *os << c.column << "," << c.row; }
};

class CellLabelTextTest : public ::testing::TestWithParam<LabelTextCase> {};

TEST_P(CellLabelTextTest, CodePointThenRow) {
    EXPECT_EQ(CellLabelText(GetParam().column, GetParam().row), GetParam().text);
}

// Beyond Z the characters that follow it, as UTF-8.
INSTANTIATE_TEST_SUITE_P(Cases, CellLabelTextTest,
                         ::testing::Values(LabelTextCase{1, 1, "A1"}, LabelTextCase{26, 3, "Z3"},
                                           LabelTextCase{3, 12, "C12"}, LabelTextCase{27, 1, "[1"},
                                           LabelTextCase{64, 1, "\xC2\x80" "1"},
                                           LabelTextCase{191, 2, "\xC3\xBF" "2"},
                                           LabelTextCase{2000, 1, "\xE0\xA0\x90" "1"},
                                           // A surrogate is no character.
                                           LabelTextCase{0xD800 - 64, 1, "\xEF\xBF\xBD" "1"}));

struct DrawCase {
    const char* name;
    friend void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.name; }
    Point tl, tr, bl, br;
    int column, row;
    ClipRect clip;
    Point at;  // the yellow text; the black shadow is one pixel right and down
};

class DrawCellLabelTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawCellLabelTest, ShadowThenYellowClippedToTheBox) {
    const DrawCase& c = GetParam();
    MemoryScreen screen;  // texts are 7 pixels per character wide, 13 high
    DrawCellLabel(c.tl, c.tr, c.bl, c.br, c.column, c.row, screen);
    ASSERT_EQ(screen.texts.size(), 2u);
    const auto& shadow = screen.texts[0];
    const auto& text = screen.texts[1];
    EXPECT_EQ(shadow.colour, (Rgb{0, 0, 0}));
    EXPECT_EQ(text.colour, (Rgb{255, 255, 0}));
    EXPECT_TRUE(shadow.bold && text.bold && screen.brushClear);
    EXPECT_EQ(shadow.text, CellLabelText(c.column, c.row));
    EXPECT_EQ(text.text, shadow.text);
    EXPECT_EQ(Point(text.x, text.y), c.at);
    EXPECT_EQ(Point(shadow.x, shadow.y), (Point{c.at.x + 1, c.at.y + 1}));
    for (const auto* t : {&shadow, &text}) {
        EXPECT_EQ(t->clip.left, c.clip.left);
        EXPECT_EQ(t->clip.top, c.clip.top);
        EXPECT_EQ(t->clip.right, c.clip.right);
        EXPECT_EQ(t->clip.bottom, c.clip.bottom);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawCellLabelTest,
    ::testing::Values(
        // Box: the inner edges of the four corners. dy = 93/4 - 13/2 = 17.
        DrawCase{"SkewedCorners", {10, 20}, {110, 25}, {12, 120}, {108, 118}, 1, 1, {12, 25, 108, 118}, {53, 42}},
        // bh / 2 equal to the text height: the label starts at the top.
        DrawCase{"HalfHeightEqualsText", {0, 0}, {100, 0}, {0, 26}, {100, 26}, 1, 1, {0, 0, 100, 26}, {43, 0}},
        DrawCase{"JustTaller", {0, 0}, {100, 0}, {0, 28}, {100, 28}, 1, 1, {0, 0, 100, 28}, {43, 1}},
        // (10 - 21) / 2 truncates toward zero to -5.
        DrawCase{"NarrowerThanText", {10, 0}, {20, 0}, {10, 100}, {20, 100}, 1, 10, {10, 0, 20, 100}, {5, 19}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LabelCellsTest, RowByRowLeftToRightWithSharedCorners) {
    LineLists lists;
    Fill(lists, {{50, 50}, {150, 150}, {250, 250}}, {{40, 40}, {140, 140}, {240, 240}});
    MemoryScreen screen;
    const std::vector<Cell> cells = LabelCells(true, lists, 640, 480, screen);

    ASSERT_EQ(cells.size(), 4u);
    const char* labels[] = {"A1", "B1", "A2", "B2"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(cells[i].label, labels[i]);
        EXPECT_EQ(cells[i].column, i % 2 + 1);
        EXPECT_EQ(cells[i].row, i / 2 + 1);
    }
    EXPECT_EQ(cells[0].tl, (Point{40, 50}));
    EXPECT_EQ(cells[0].br, (Point{140, 150}));
    EXPECT_EQ(cells[1].tl, cells[0].tr);
    EXPECT_EQ(cells[1].bl, cells[0].br);
    EXPECT_EQ(cells[2].tl, cells[0].bl);
    ASSERT_TRUE(cells[3].box);
    EXPECT_EQ(cells[3].box->left, 140);
    EXPECT_EQ(cells[3].box->top, 150);
    EXPECT_EQ(cells[3].box->right, 240);
    EXPECT_EQ(cells[3].box->bottom, 250);

    // Two texts per cell in drawing order; A1 is centred 14 wide at dy = 19.
    ASSERT_EQ(screen.texts.size(), 8u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(screen.texts[2 * i + 1].text, labels[i]);
    EXPECT_EQ(Point(screen.texts[1].x, screen.texts[1].y), (Point{83, 69}));
    EXPECT_EQ(Point(screen.texts[3].x, screen.texts[3].y), (Point{183, 69}));
}

// The crossing of two diagonals has no point: both cells that share it lack
// a box and are not drawn, but are still reported.
TEST(LabelCellsTest, MissingCornerSkipsBothCellsSharingIt) {
    LineLists lists;
    Fill(lists, {{0, 480}, {200, 200}}, {{50, 50}, {0, 640}, {400, 400}});
    MemoryScreen screen;
    const std::vector<Cell> cells = LabelCells(true, lists, 640, 480, screen);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_FALSE(cells[0].tr);
    EXPECT_FALSE(cells[1].tl);
    EXPECT_TRUE(cells[0].tl && cells[1].tr);
    EXPECT_FALSE(cells[0].box || cells[1].box);
    EXPECT_TRUE(screen.texts.empty());
}

TEST(LabelCellsTest, WithoutDrawingComputesOnly) {
    LineLists lists;
    Fill(lists, {{50, 50}, {150, 150}}, {{40, 40}, {140, 140}});
    MemoryScreen screen;
    const std::vector<Cell> cells = LabelCells(false, lists, 640, 480, screen);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_TRUE(cells[0].box);
    EXPECT_TRUE(screen.texts.empty());
    EXPECT_FALSE(screen.fontBold);
}

TEST(LabelCellsTest, NoRowOrNoColumnNoCells) {
    MemoryScreen screen;
    LineLists oneRowLine;
    Fill(oneRowLine, {{50, 50}}, {{40, 40}, {140, 140}});
    EXPECT_TRUE(LabelCells(true, oneRowLine, 640, 480, screen).empty());
    LineLists noColumns;
    Fill(noColumns, {{50, 50}, {150, 150}}, {});
    EXPECT_TRUE(LabelCells(true, noColumns, 640, 480, screen).empty());
    EXPECT_TRUE(screen.texts.empty());
}

}  // namespace
}  // namespace vexo
