#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "line_helpers.h"
#include "lines/grid.h"

namespace vexo {
namespace {

using testing::Collect;
using testing::Lines;

void Fill(LineLists& lists, AddLineMode mode, const Lines& lines) {
    for (auto [a, b] : lines) AddLine(lists, mode, a, b);
}

// n lines a0, a0 + step, ..., each with b = a + bOffset.
Lines Series(int a0, int step, int n, int bOffset) {
    Lines out;
    for (int i = 0; i < n; ++i) out.emplace_back(a0 + i * step, a0 + i * step + bOffset);
    return out;
}

Lines Join(Lines x, const Lines& y) {
    x.insert(x.end(), y.begin(), y.end());
    return x;
}

// ---- EstimateSpacing -------------------------------------------------------

struct SpacingCase {
    const char* name;
    friend void PrintTo(const SpacingCase& c, std::ostream* os) { *os << c.name; }
    std::vector<int> ends;
    LineEnd end;
    int tolerance;
    int spacing;
    std::vector<int> flags;
    std::vector<std::string> log;
};

class EstimateSpacingTest : public ::testing::TestWithParam<SpacingCase> {};

TEST_P(EstimateSpacingTest, SpacingFlagsAndLog) {
    const SpacingCase& c = GetParam();
    LineLists lists;
    for (std::size_t i = 0; i < c.ends.size(); ++i) {
        const int other = 1000 - 7 * int(i);  // the end that must not be read
        AddLine(lists, kAppendHorizontal, c.end == LineEnd::A ? c.ends[i] : other,
                c.end == LineEnd::B ? c.ends[i] : other);
    }
    const SpacingEstimate estimate = EstimateSpacing(lists.horizontalLines, c.end, c.tolerance);
    EXPECT_EQ(estimate.spacing, c.spacing);
    std::vector<int> flags;
    for (const Line& line : lists.horizontalLines) flags.push_back(line.flag);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(estimate.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EstimateSpacingTest,
    ::testing::Values(
        // Bins 49..52 get 2, 5, 4, 1; all three pairs lie within 48 < d < 52.
        SpacingCase{"TolerantPeak", {0, 50, 100, 151}, LineEnd::A, 2, 50, {1, 1, 1, 1}, {"50", "50", "51", "ideal:50"}},
        SpacingCase{"EqualPeaksLowestWins", {0, 40, 100}, LineEnd::A, 3, 40, {1, 1, 0}, {"40", "60", "ideal:40"}},
        SpacingCase{"EndB", {0, 40, 100}, LineEnd::B, 3, 40, {1, 1, 0}, {"40", "60", "ideal:40"}},
        // A window reaching below 0 or above 255 is dropped whole, not clipped
        // (clipped, 2 would tie with 10 and win as the lower).
        SpacingCase{"WindowBelowZeroDropped", {0, 2, 12}, LineEnd::A, 3, 10, {0, 1, 1}, {"2", "10", "ideal:10"}},
        SpacingCase{"WindowAbove255Dropped", {0, 254, 264}, LineEnd::A, 3, 10, {0, 1, 1}, {"254", "10", "ideal:10"}},
        SpacingCase{"OutOfRangeLoggedNotVoted", {300, 0, 256, 266}, LineEnd::A, 3, 10, {0, 0, 1, 1},
                    {"-300", "256", "10", "ideal:10"}},
        SpacingCase{"BoundsAreStrict", {0, 50, 100, 150, 198, 250}, LineEnd::A, 2, 50, {1, 1, 1, 1, 0, 0},
                    {"50", "50", "50", "48", "52", "ideal:50"}},
        SpacingCase{"ZeroToleranceVotesNothing", {0, 50, 100}, LineEnd::A, 0, 0, {0, 0, 0}, {"50", "50", "ideal:0"}},
        SpacingCase{"OneLine", {7}, LineEnd::A, 3, 0, {0}, {"ideal:0"}},
        SpacingCase{"ExtremeEndsExactDistance", {INT_MIN, INT_MAX}, LineEnd::A, 3, 0, {0, 0},
                    {"4294967295", "ideal:0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EstimateSpacingTest, EmptyListLogsNothing) {
    LineList empty;
    const SpacingEstimate estimate = EstimateSpacing(empty, LineEnd::A, 5);
    EXPECT_EQ(estimate.spacing, 0);
    EXPECT_TRUE(estimate.log.empty());
}

TEST(EstimateSpacingTest, FlagsAlreadySetStay) {
    LineLists lists;
    Fill(lists, kAppendHorizontal, {{0, 0}, {90, 0}, {140, 0}});
    lists.horizontalLines.front().flag = 1;
    EstimateSpacing(lists.horizontalLines, LineEnd::A, 3);
    EXPECT_EQ(lists.horizontalLines.front().flag, 1);
}

// The bins are 16-bit counters: 65536 votes of 1 at distance 10 wrap to 0, so
// a single vote at 20 is the peak.
TEST(EstimateSpacingTest, BinsWrapAt65536) {
    LineLists lists;
    for (int i = 0; i <= 65536; ++i) AddLine(lists, kAppendHorizontal, 10 * i, 0);
    AddLine(lists, kAppendHorizontal, 10 * 65536 + 20, 0);
    const SpacingEstimate estimate = EstimateSpacing(lists.horizontalLines, LineEnd::A, 1);
    EXPECT_EQ(estimate.spacing, 20);
    EXPECT_EQ(estimate.log.size(), 65538u);
}

// ---- Regularizers -----------------------------------------------------------

struct RegularizeCase {
    const char* name;
    friend void PrintTo(const RegularizeCase& c, std::ostream* os) { *os << c.name; }
    int width, height;
    Lines in;
    Lines out;
};

// Every line left in the list is drawn with 200 along its whole course, and
// nothing else is marked.
void ExpectDrawnExactly(const Plane& marks, const Lines& lines, bool vertical) {
    Plane expected = Plane::Allocate(marks.width, marks.height);
    const int lineSide = std::max(marks.width, marks.height);
    for (auto [a, b] : lines) {
        if (vertical)
            DrawLine(a, 0, b, lineSide - 1, expected, 200);
        else
            DrawLine(0, a, marks.width - 1, b, expected, 200);
    }
    ASSERT_TRUE(std::equal(marks.begin(), marks.begin() + marks.size(), expected.begin()));
}

class RegularizeVerticalTest : public ::testing::TestWithParam<RegularizeCase> {};

TEST_P(RegularizeVerticalTest, LinesAndMarks) {
    const RegularizeCase& c = GetParam();
    LineLists lists;
    Fill(lists, kAppendVertical, c.in);
    Plane marks = Plane::Allocate(c.width, c.height);
    RegularizeVertical(lists, marks);
    EXPECT_EQ(Collect(lists.verticalLines), c.out);
    EXPECT_TRUE(lists.horizontalLines.empty());
    ExpectDrawnExactly(marks, c.out, true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegularizeVerticalTest,
    ::testing::Values(
        // Appends up to 9; 600 - 530 <= 3 * 60 ends the append phase.
        RegularizeCase{"FourGrowToNine", 600, 400, Series(50, 60, 4, 5), Series(50, 60, 9, 5)},
        // More than three spacings of room at 9 lines: on to 13.
        RegularizeCase{"ThreeGrowToThirteen", 1200, 800, Series(100, 80, 3, 5), Series(100, 80, 13, 5)},
        RegularizeCase{"RightEdgeCompletion", 1000, 700, Series(40, 80, 12, 5),
                       Join(Series(40, 80, 12, 5), {{1000, 999}})},
        // The appended line may start at x = W; its far end stays at W - 1.
        RegularizeCase{"AppendOnRightEdgeThenPrepend", 600, 400, Series(100, 50, 10, 0),
                       Join(Series(0, 50, 12, 0), {{600, 599}})},
        // The prepend phase stops at b < 0; the left-edge completion ends on b = 0.
        RegularizeCase{"LeftEdgeCompletion", 600, 400, Series(100, 50, 10, -60),
                       Join(Join({{50, 0}}, Series(100, 50, 10, -60)), {{600, 540}})},
        // First line dropped: exactly 8 lines after appending gain one on the left...
        RegularizeCase{"FirstDroppedEightGainOne", 560, 400, Join({{3, 8}}, Series(100, 60, 4, 5)),
                       Series(40, 60, 9, 5)},
        // ...any other count gains nothing there.
        RegularizeCase{"FirstDroppedSevenStay", 500, 400, Join({{3, 8}}, Series(100, 60, 4, 5)),
                       Series(100, 60, 7, 5)},
        // T = 150 / 60 = 2.5 rounds to 2, so the last pair (22 apart) is irregular.
        RegularizeCase{"ToleranceRoundsHalfToEven", 150, 100, {{10, 10}, {30, 30}, {50, 50}, {72, 72}},
                       Join(Series(10, 20, 7, 0), {{150, 149}})},
        RegularizeCase{"NoLineLeftAddsNothing", 600, 400, {{100, 100}}, {}},
        RegularizeCase{"NoRegularPairAddsNothing", 600, 400, {{100, 100}, {400, 400}, {50, 50}}, {}},
        // Distances below T cast no vote but are flagged: Sa = Sb = 0 with 20
        // lines, where neither phase could otherwise stop.
        RegularizeCase{"ZeroSpacingsEnd", 600, 400, Series(100, 3, 20, 0), Series(100, 3, 20, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

// Sa = 0 and Sb = 2 with 14 lines: appending pins b at W - 1, and the phase
// ends when the next line would repeat the tail; prepending walks b down to 0.
TEST(RegularizeVerticalTest, PinnedFarEndEnds) {
    LineLists lists;
    Lines in;
    for (int i = 0; i < 14; ++i) in.emplace_back(10 + i, 10 + 2 * i);
    Fill(lists, kAppendVertical, in);
    Plane marks = Plane::Allocate(120, 100);
    RegularizeVertical(lists, marks);

    Lines expected;
    for (int b = 0; b < 10; b += 2) expected.emplace_back(10, b);
    expected = Join(expected, in);
    for (int b = 38; b <= 118; b += 2) expected.emplace_back(23, b);
    expected.emplace_back(23, 119);
    EXPECT_EQ(Collect(lists.verticalLines), expected);
    ExpectDrawnExactly(marks, expected, true);
}

TEST(RegularizeVerticalTest, LogsBothEstimates) {
    LineLists lists;
    Fill(lists, kAppendVertical, Series(50, 60, 4, 5));
    Plane marks = Plane::Allocate(600, 400);
    const Regularized result = RegularizeVertical(lists, marks);
    EXPECT_EQ(result.log, (std::vector<std::string>{"60", "60", "60", "ideal:60", "60", "60", "60", "ideal:60"}));
    EXPECT_EQ(result.spacingA, 60);
    EXPECT_EQ(result.spacingB, 60);
}

class RegularizeHorizontalTest : public ::testing::TestWithParam<RegularizeCase> {};

TEST_P(RegularizeHorizontalTest, LinesAndMarks) {
    const RegularizeCase& c = GetParam();
    LineLists lists;
    Fill(lists, kAppendHorizontal, c.in);
    Plane marks = Plane::Allocate(c.width, c.height);
    RegularizeHorizontal(lists, marks);
    EXPECT_EQ(Collect(lists.horizontalLines), c.out);
    EXPECT_TRUE(lists.verticalLines.empty());
    ExpectDrawnExactly(marks, c.out, false);
}

const Lines kRegular = Series(150, 50, 4, 0);  // 150, 200, 250, 300

INSTANTIATE_TEST_SUITE_P(
    Cases, RegularizeHorizontalTest,
    ::testing::Values(
        // H = 600, T = 6: the first line is kept only within 7 pixels of Sa and Sb.
        RegularizeCase{"FirstLineEightOffDropped", 800, 600, Join({{92, 100}}, kRegular), kRegular},
        RegularizeCase{"FirstLineSevenOffKept", 800, 600, Join({{93, 100}}, kRegular),
                       Join({{93, 100}}, kRegular)},
        RegularizeCase{"GapGetsALine", 800, 600, {{100, 100}, {150, 150}, {250, 250}, {300, 300}},
                       Series(100, 50, 5, 0)},
        RegularizeCase{"ThreeSpacingGapGetsTwo", 800, 600, {{100, 100}, {150, 150}, {300, 300}, {350, 350}},
                       Series(100, 50, 6, 0)},
        RegularizeCase{"CrowdingLineRemoved", 800, 600, Join(Series(100, 50, 3, 0), {{210, 210}, {250, 250}, {300, 300}}),
                       Series(100, 50, 5, 0)},
        // The line after a removed one is flagged, so it is kept though irregular.
        RegularizeCase{"FollowerOfRemovedKept", 800, 600, Join(Series(100, 50, 3, 0), {{203, 203}, {243, 243}}),
                       Join(Series(100, 50, 3, 0), {{243, 243}})},
        // Removing the last line moves the tail back.
        RegularizeCase{"CrowdingTailRemoved", 800, 600, Join(Series(100, 50, 3, 0), {{203, 203}}),
                       Series(100, 50, 3, 0)},
        RegularizeCase{"OutOfOrderPairDropsFirst", 800, 600, Join(Series(100, 50, 4, 0), {{240, 300}}),
                       Join(Series(100, 50, 3, 0), {{240, 300}})},
        // Sa = Sb = 0: every pair would receive lines at its own position.
        RegularizeCase{"ZeroSpacingsInsertNothing", 800, 600, Series(100, 3, 10, 0), Series(100, 3, 10, 0)},
        // H = 2000 gives T = 12, not 20: a pair 113 apart is irregular.
        RegularizeCase{"ToleranceCappedAt12", 800, 2000, Join(Series(100, 100, 3, 0), {{413, 413}}),
                       Series(100, 100, 3, 0)},
        RegularizeCase{"OneLine", 800, 600, {{100, 100}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexo
