#include "lines/gap_lines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/plane.h"
#include "lines/line_list.h"
#include "line_helpers.h"

namespace vexo {
namespace {

using testing::Collect;
using testing::Lines;
using testing::MakePlane;
using testing::Transposed;


struct Pt {
    int32_t x;
    int32_t y;
};



bool Same(const Plane& a, const Plane& b) {
    return a.width == b.width && a.height == b.height && std::memcmp(a.begin(), b.begin(), a.size()) == 0;
}


// Every mark of `code` lies in the 3x3 of one of `centres`, and each centre's
// 3x3 still shows the code somewhere (a line of 50 may cover part of a dot).
void ExpectDots(const Plane& marks, uint8_t code, const std::vector<Pt>& centres) {
    auto near = [](Pt c, int x, int y) { return std::abs(c.x - x) <= 1 && std::abs(c.y - y) <= 1; };
    std::vector<bool> seen(centres.size(), false);
    for (int y = 0; y < marks.height; ++y) {
        for (int x = 0; x < marks.width; ++x) {
            if (marks.at(x, y) != code) continue;
            bool owned = false;
            for (size_t i = 0; i < centres.size(); ++i)
                if (near(centres[i], x, y)) owned = seen[i] = true;
            EXPECT_TRUE(owned) << "stray mark " << int(code) << " at (" << x << ", " << y << ")";
        }
    }
    for (size_t i = 0; i < centres.size(); ++i)
        EXPECT_TRUE(seen[i]) << "no mark " << int(code) << " at (" << centres[i].x << ", " << centres[i].y << ")";
}

struct Case {
    std::string name;
    bool vertical;
    int32_t minimumExtent;
    std::vector<std::pair<Pt, Pt>> chains;  // drawn with value 255
    Lines lines;
    std::vector<Pt> runEnds;   // 250 dots
    std::vector<Pt> landings;  // 100 dots not covered by the run's end dot
    bool drawn;                // every recorded line drawn with 50 (else none is)
    bool symmetric;            // the transposed picture gives the same through the other procedure
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void RunGap(bool vertical, Plane& plane, Plane& marks, int32_t l, LineLists& lists) {
    if (vertical) {
        GapLinesVertical(plane, marks, l, lists);
    } else {
        GapLinesHorizontal(plane, marks, l, lists);
    }
}

class GapLinesCases : public ::testing::TestWithParam<Case> {};

TEST_P(GapLinesCases, TracesRecordsAndMarks) {
    const Case& c = GetParam();
    Plane plane = MakePlane(100, 100);
    for (const auto& [p, q] : c.chains) DrawLine(p.x, p.y, q.x, q.y, plane, 255);
    Plane before = MakePlane(100, 100);
    std::memcpy(before.begin(), plane.begin(), plane.size());
    Plane marks = MakePlane(100, 100);
    LineLists lists;
    RunGap(c.vertical, plane, marks, c.minimumExtent, lists);

    const LineList& mine = c.vertical ? lists.verticalLines : lists.horizontalLines;
    const LineList& other = c.vertical ? lists.horizontalLines : lists.verticalLines;
    EXPECT_EQ(Collect(mine), c.lines);
    EXPECT_TRUE(other.empty());
    for (size_t i = 0; i < plane.size(); ++i)
        ASSERT_EQ(plane.begin()[i], before.begin()[i] == 255 ? 200 : 0) << "sample " << i;
    ExpectDots(marks, 250, c.runEnds);
    ExpectDots(marks, 100, c.landings);
    bool any50 = false;
    for (size_t i = 0; i < marks.size(); ++i) any50 |= marks.begin()[i] == 50;
    EXPECT_EQ(any50, c.drawn);
    for (const auto& [a, b] : c.lines) {
        if (!c.drawn) break;
        EXPECT_EQ(c.vertical ? marks.at(a, 0) : marks.at(0, a), 50);
        EXPECT_EQ(c.vertical ? marks.at(b, 99) : marks.at(99, b), 50);
    }

    if (!c.symmetric) return;
    Plane tPlane = Transposed(before);
    Plane tMarks = MakePlane(100, 100);
    LineLists tLists;
    RunGap(!c.vertical, tPlane, tMarks, c.minimumExtent, tLists);
    EXPECT_EQ(Collect(c.vertical ? tLists.horizontalLines : tLists.verticalLines), c.lines);
    EXPECT_TRUE(Same(tPlane, Transposed(plane)));
    EXPECT_TRUE(Same(tMarks, Transposed(marks)));
}

const Case kCases[] = {
    {"RowGapBridged", false, 20, {{{10, 50}, {40, 50}}, {{50, 50}, {90, 50}}}, {{50, 50}},
     {{10, 50}, {90, 50}}, {{50, 50}}, true, true},
    {"SlopedGapBridged", false, 20, {{{0, 20}, {30, 30}}, {{40, 33}, {80, 47}}}, {{20, 53}},
     {{0, 20}, {80, 47}}, {{40, 33}}, true, true},
    {"ColumnGapBridged", true, 20, {{{60, 5}, {60, 30}}, {{62, 38}, {62, 79}}}, {{60, 63}},
     {{60, 5}, {62, 79}}, {{62, 38}}, true, true},
    {"EndsOutsideRecordedNotDrawn", false, 10, {{{30, 20}, {60, 50}}}, {{-10, 89}},
     {{30, 20}, {60, 50}}, {}, false, false},
    {"ShortChainLeavesNothing", false, 20, {{{10, 50}, {24, 50}}}, {}, {}, {}, false, true},
    {"HalvesRoundToEven", false, 20, {{{10, 50}, {20, 50}}, {{21, 51}, {30, 51}}}, {{50, 54}},
     {{10, 50}, {30, 51}}, {}, true, true},
    {"HalfGoesDownToEven", false, 20, {{{0, 40}, {22, 41}}}, {{40, 44}}, {{0, 40}, {22, 41}}, {}, true, true},
    // The second chain alone is shorter than L; the run measured from its
    // start is not, so the trace jumps on from the second chain's end.
    {"ExtentCountsFromRunStart", false, 20,
     {{{10, 50}, {40, 50}}, {{45, 50}, {50, 50}}, {{55, 50}, {60, 50}}}, {{50, 50}},
     {{10, 50}, {60, 50}}, {{45, 50}, {55, 50}}, true, true},
    {"DiagonalHorizontalStopsAtLastRow", false, 5, {{{50, 80}, {60, 90}}, {{72, 99}, {72, 99}}},
     {{30, 129}}, {{50, 80}, {60, 90}}, {}, false, false},
    {"DiagonalVerticalStopsAtLastRowOrBeyond", true, 5, {{{80, 50}, {90, 60}}}, {{30, 129}},
     {{80, 50}, {90, 60}}, {}, false, false},
    // On |dx| = |dy| y drives the vertical walk too, so it goes on past the
    // last column and reaches a sample that an x-driven walk never would.
    {"DiagonalVerticalRunsPastLastColumn", true, 5, {{{80, 50}, {90, 60}}, {{99, 72}, {99, 72}}},
     {{37, 122}}, {{80, 50}, {99, 72}}, {}, false, false},
    {"ForkTakesFirstNeighbour", false, 20,
     {{{0, 50}, {10, 50}}, {{10, 50}, {40, 35}}, {{10, 50}, {40, 50}}, {{10, 50}, {40, 65}}},
     {{50, 13}, {50, 50}, {46, 93}}, {{0, 50}, {40, 35}, {11, 50}, {40, 50}, {11, 51}, {40, 65}}, {},
     true, true},
    {"WindowPrefersSmallestCross", false, 20,
     {{{10, 50}, {40, 50}}, {{45, 44}, {60, 44}}, {{45, 51}, {45, 51}}}, {{51, 39}},
     {{10, 50}, {60, 44}}, {{45, 44}}, true, true},
    {"WindowReachesSevenAcross", false, 20,
     {{{10, 50}, {40, 50}}, {{44, 58}, {44, 58}}, {{45, 57}, {60, 57}}}, {{49, 62}},
     {{10, 50}, {60, 57}}, {{45, 57}}, true, true},
    {"LandingOnLastColumnIsNone", false, 20, {{{10, 50}, {70, 50}}, {{99, 50}, {99, 50}}}, {{50, 50}},
     {{10, 50}, {70, 50}}, {}, true, true},
    {"LandingBeforeLastColumnCounts", false, 20, {{{10, 50}, {70, 50}}, {{98, 50}, {98, 50}}},
     {{50, 50}}, {{10, 50}, {98, 50}}, {}, true, true},
    // With L <= 0 single samples qualify: a still walk searches its window
    // once; S and E in one column give no line.
    {"SingleSamplesWithoutMinimum", false, 0,
     {{{10, 10}, {10, 10}}, {{10, 14}, {10, 14}}, {{10, 18}, {10, 18}}, {{50, 50}, {50, 50}}}, {},
     {{10, 10}, {10, 18}, {50, 50}}, {{10, 14}}, false, true},
};

INSTANTIATE_TEST_SUITE_P(GapLines, GapLinesCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// Sparse noise with no minimum extent: landings in every direction, walks
// that do not advance along the main axis. Every walk must end and every
// 255 must be traced.
TEST(GapLines, NoiseWithoutMinimumTerminatesAndTracesAll) {
    std::mt19937 rng(20261207);
    for (int32_t l : {0, -1, -100, 1, 3}) {
        for (bool vertical : {false, true}) {
            Plane plane = MakePlane(37, 23);
            for (size_t i = 0; i < plane.size(); ++i) plane.begin()[i] = rng() % 4 == 0 ? 255 : 0;
            std::vector<uint8_t> before(plane.begin(), plane.begin() + plane.size());
            Plane marks = MakePlane(37, 23);
            LineLists lists;
            RunGap(vertical, plane, marks, l, lists);
            for (size_t i = 0; i < plane.size(); ++i) ASSERT_EQ(plane.begin()[i], before[i] ? 200 : 0);
        }
    }
}

// One run as long as the largest picture side: the trace must not nest, and
// it offers the event pump while it runs (beyond the one call per index of
// the scan).
TEST(GapLines, LongestRunDoesNotNestAndPumps) {
    for (bool vertical : {false, true}) {
        Plane plane = MakePlane(vertical ? 1 : 16384, vertical ? 16384 : 1);
        std::memset(plane.begin(), 255, plane.size());
        Plane marks = MakePlane(plane.width, plane.height);
        LineLists lists;
        int pumps = 0;
        if (vertical)
            GapLinesVertical(plane, marks, 20, lists, [&pumps] { ++pumps; });
        else
            GapLinesHorizontal(plane, marks, 20, lists, [&pumps] { ++pumps; });
        EXPECT_GT(pumps, 16384);
        EXPECT_EQ(Collect(vertical ? lists.verticalLines : lists.horizontalLines), (Lines{{0, 0}}));
        EXPECT_EQ(plane.at(plane.width - 1, plane.height - 1), 200);
        EXPECT_EQ(marks.at(plane.width / 2, plane.height / 2), 50);
    }
}

TEST(GapLines, PlanesWithoutDataOrOfOtherSizeAreLeftAlone) {
    Plane none;
    Plane marks = MakePlane(10, 10);
    Plane plane = MakePlane(10, 12);
    std::memset(plane.begin(), 255, plane.size());
    LineLists lists;
    GapLinesHorizontal(none, marks, 0, lists);
    GapLinesVertical(plane, none, 0, lists);
    GapLinesHorizontal(plane, marks, 0, lists);
    EXPECT_TRUE(lists.horizontalLines.empty());
    EXPECT_TRUE(lists.verticalLines.empty());
    EXPECT_EQ(plane.at(0, 0), 255);
}

}  // namespace
}  // namespace vexo
