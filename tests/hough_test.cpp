#include "lines/hough.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/plane.h"
#include "core/work_hooks.h"
#include "lines/hough_detail.h"
#include "lines/line_list.h"
#include "line_helpers.h"
#include "reference_hough.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXO_HOUGH_TEST_ASAN 1
#endif
#endif
#ifndef VEXO_HOUGH_TEST_ASAN
#define VEXO_HOUGH_TEST_ASAN 0
#endif

namespace vexo {
namespace {

using testing::Collect;
using testing::Lines;
using testing::MakePlane;

using hough_detail::HoughDirection;

struct Pt {
    int32_t x;
    int32_t y;
};



HoughDirection Direction(bool vertical) { return vertical ? HoughDirection::Vertical : HoughDirection::Horizontal; }

std::vector<uint16_t> Votes(const Plane& source, bool vertical, int threads) {
    const int32_t n = std::max(source.width, source.height);
    std::vector<uint16_t> table(std::size_t(n) * n, 0);
    hough_detail::VoteTable(source, Direction(vertical), table.data(), n, threads);
    return table;
}

struct Outcome {
    Lines lines;
    Plane marks;
    int progress = 0;
    int pumps = 0;
};

// The transform pumps at every pause point it offers (the reference does not
// pump): the outcome must not depend on it.
Outcome RunHough(const Plane& source, bool vertical, int32_t threshold, bool reference = false) {
    Outcome out;
    const WorkHooks hooks{[&out] { ++out.progress; }, [&out] { ++out.pumps; }};
    out.marks = MakePlane(source.width, source.height);
    LineLists lists;
    if (reference)
        reference::Hough(source, out.marks, threshold, lists, hooks, vertical);
    else if (vertical)
        HoughVertical(source, out.marks, threshold, lists, hooks);
    else
        HoughHorizontal(source, out.marks, threshold, lists, hooks);
    out.lines = Collect(vertical ? lists.verticalLines : lists.horizontalLines);
    EXPECT_TRUE((vertical ? lists.horizontalLines : lists.verticalLines).empty());
    return out;
}

std::vector<Pt> Marked(const Plane& marks) {
    std::vector<Pt> out;
    for (int y = 0; y < marks.height; ++y)
        for (int x = 0; x < marks.width; ++x)
            if (marks.at(x, y) != 0) out.push_back({x, y});
    return out;
}

struct WorkedCase {
    std::string name;
    int width, height;
    bool vertical;
    std::vector<std::pair<Pt, Pt>> edges;  // drawn with 255
    Lines lines;
    int votes;            // at the first line's cell
    int marked;           // samples marked 100 in all
    Pt firstEnd, lastEnd;  // ends of the first line's mark
};

void PrintTo(const WorkedCase& c, std::ostream* os) { *os << c.name; }

class HoughWorked : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(HoughWorked, FindsDrawsAndRecords) {
    const WorkedCase& c = GetParam();
    Plane source = MakePlane(c.width, c.height);
    for (const auto& [p, q] : c.edges) DrawLine(p.x, p.y, q.x, q.y, source, 255);
    const int32_t n = std::max(c.width, c.height);
    EXPECT_EQ(Votes(source, c.vertical, 1)[std::size_t(c.lines[0].first) * n + c.lines[0].second], c.votes);

    Outcome out = RunHough(source, c.vertical, 100);
    EXPECT_EQ(out.lines, c.lines);
    EXPECT_EQ(out.progress, 3);
    const std::vector<Pt> marked = Marked(out.marks);
    EXPECT_EQ(int(marked.size()), c.marked);
    for (Pt p : marked) EXPECT_EQ(out.marks.at(p.x, p.y), kMarkGreen);
    EXPECT_NE(out.marks.at(c.firstEnd.x, c.firstEnd.y), 0);
    EXPECT_NE(out.marks.at(c.lastEnd.x, c.lastEnd.y), 0);
}

const WorkedCase kWorked[] = {
    {"FullRow", 400, 300, false, {{{0, 50}, {399, 50}}}, {{50, 50}}, 399, 400, {0, 50}, {399, 50}},
    {"FullColumnHigherThanWide", 300, 400, true, {{{50, 0}, {50, 399}}}, {{50, 50}}, 399, 400, {50, 0}, {50, 399}},
    // The far row 399 lies below the picture; the mark stops at the last row.
    {"FullColumnWiderThanHigh", 400, 300, true, {{{50, 0}, {50, 299}}}, {{50, 50}}, 299, 300, {50, 0}, {50, 299}},
    {"SlantedEdgeNamedAtFarRow", 400, 300, true, {{{50, 0}, {80, 299}}}, {{50, 90}}, 114, 300, {50, 0}, {80, 299}},
    // Equal peaks within reach: the first in scan order wins.
    {"EqualRowsWithinRadius", 400, 300, false, {{{0, 50}, {399, 50}}, {{0, 55}, {399, 55}}}, {{50, 50}}, 399, 400,
     {0, 50}, {399, 50}},
    {"EqualRowsApart", 400, 300, false, {{{0, 50}, {399, 50}}, {{0, 80}, {399, 80}}}, {{50, 50}, {80, 80}}, 399, 800,
     {0, 80}, {399, 80}},
};

INSTANTIATE_TEST_SUITE_P(Hough, HoughWorked, ::testing::ValuesIn(kWorked),
                         [](const auto& info) { return info.param.name; });

// A peak whose far end lies below the picture is not reported, yet it keeps
// an equal, later peak within its window from being reported.
TEST(Hough, PeakOutsideSuppressesLaterEqualPeak) {
    // 101 x 40: k = 20, r = 45 is outside (r >= 40); k = 25, r = 35 is inside.
    Plane both = MakePlane(101, 40);
    Plane insideOnly = MakePlane(101, 40);
    for (int x = 4; x <= 40; x += 4) both.at(x, 20 + x / 4) = 255;  // on the line (20, 45)
    for (int x = 10; x <= 100; x += 10) {                             // on the line (25, 35)
        both.at(x, 25 + x / 10) = 255;
        insideOnly.at(x, 25 + x / 10) = 255;
    }
    const std::vector<uint16_t> votes = Votes(both, false, 1);
    ASSERT_EQ(votes[20 * 101 + 45], 10);
    ASSERT_EQ(votes[25 * 101 + 35], 10);
    EXPECT_EQ(RunHough(both, false, 10).lines, Lines{});
    EXPECT_EQ(RunHough(insideOnly, false, 10).lines, (Lines{{25, 35}}));
}

// A single sample's vote value lands on an exact half (or on an integer
// after one); the half goes to the even neighbour, -0.5 to 0.
struct HalfCase {
    std::string name;
    int width, height;
    bool vertical;
    Pt sample;
    int32_t k;
    int32_t r;      // receives the vote
    int32_t other;  // the odd neighbour, which must not
};

void PrintTo(const HalfCase& c, std::ostream* os) { *os << c.name; }

class HoughHalves : public ::testing::TestWithParam<HalfCase> {};

TEST_P(HoughHalves, RoundToEven) {
    const HalfCase& c = GetParam();
    Plane source = MakePlane(c.width, c.height);
    source.at(c.sample.x, c.sample.y) = 1;
    const int32_t n = std::max(c.width, c.height);
    const std::vector<uint16_t> expected = reference::HoughVotes(source, c.vertical);
    EXPECT_EQ(expected[std::size_t(c.k) * n + c.r], 1);
    EXPECT_EQ(expected[std::size_t(c.k) * n + c.other], 0);
    for (int threads : {1, 2, 3}) EXPECT_EQ(Votes(source, c.vertical, threads), expected) << threads;
}

const HalfCase kHalves[] = {
    {"TwoAndAHalfDown", 6, 4, false, {2, 1}, 0, 2, 3},   // 1 * 5 / 2
    {"ThreeAndAHalfUp", 8, 4, false, {2, 1}, 0, 4, 3},   // 1 * 7 / 2
    {"MinusHalfToZero", 4, 2, false, {2, 0}, 1, 0, 1},   // -3 / 2 + 1
    {"VerticalTwoAndAHalf", 4, 6, true, {1, 2}, 0, 2, 3},  // 1 * 5 / 2
};

INSTANTIATE_TEST_SUITE_P(Hough, HoughHalves, ::testing::ValuesIn(kHalves),
                         [](const auto& info) { return info.param.name; });

// The threshold is compared as a signed 32-bit value, never narrowed.
TEST(Hough, ThresholdComparesSigned32) {
    const std::vector<uint16_t> values{0, 1, 2, 3, 100, 4464, 65535};
    for (int32_t threshold : {INT32_MIN, -1, 0, 1, 3, 65535, 65536, 70000, INT32_MAX}) {
        std::vector<uint16_t> table = values;
        hough_detail::ApplyThreshold(table.data(), table.size(), threshold);
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(table[i], int32_t(values[i]) < threshold ? 0 : values[i]) << threshold << " " << values[i];
    }
}

// Sides up to twice the radius leave no cell to test; every run steps three times.
struct SmallCase {
    int width, height;
    bool vertical;
    Lines lines;
};

void PrintTo(const SmallCase& c, std::ostream* os) {
    *os << c.width << "x" << c.height << (c.vertical ? " vertical" : " horizontal");
}

class HoughSmall : public ::testing::TestWithParam<SmallCase> {};

TEST_P(HoughSmall, NeedsRoomForAWindow) {
    const SmallCase& c = GetParam();
    Plane source = MakePlane(c.width, c.height);
    const int mid = std::max(c.width, c.height) / 2;
    if (c.vertical)
        DrawLine(mid, 0, mid, c.height - 1, source, 255);
    else
        DrawLine(0, mid, c.width - 1, mid, source, 255);
    Outcome out = RunHough(source, c.vertical, 0);
    EXPECT_EQ(out.lines, c.lines);
    EXPECT_EQ(out.progress, 3);
}

INSTANTIATE_TEST_SUITE_P(Hough, HoughSmall,
                         ::testing::Values(SmallCase{30, 30, false, {}}, SmallCase{31, 31, false, {{15, 15}}},
                                           SmallCase{30, 31, false, {{15, 15}}}, SmallCase{40, 40, true, {}},
                                           SmallCase{41, 41, true, {{20, 20}}}));

TEST(Hough, NullOrEmptyPlaneFindsNothing) {
    Plane null;
    null.width = 400;
    null.height = 300;
    for (bool vertical : {false, true}) {
        for (const Plane* source : {static_cast<const Plane*>(&null), static_cast<const Plane*>(nullptr)}) {
            Plane empty;
            Outcome out = RunHough(source ? *source : empty, vertical, 0);
            EXPECT_EQ(out.lines, Lines{});
            EXPECT_EQ(out.progress, 3);
        }
    }
}

// A table that cannot be obtained ends the transform through the allocation
// check, before any vote or step.
TEST(Hough, TableNotObtainedTerminates) {
#if defined(__SANITIZE_ADDRESS__) || VEXO_HOUGH_TEST_ASAN
    GTEST_SKIP() << "the sanitizer aborts on impossible allocations";
#else
    Plane huge;
    huge.width = INT32_MAX;  // n * n counters can never be obtained; no sample is read
    huge.height = 1;
    huge.data = std::make_unique<uint8_t[]>(1);
    Plane marks = MakePlane(4, 4);
    LineLists lists;
    int steps = 0;
    try {
        HoughHorizontal(huge, marks, 0, lists, WorkHooks{[&steps] { ++steps; }, {}});
        FAIL() << "no Terminate";
    } catch (const Terminate& e) {
        EXPECT_STREQ(e.what(), kNotEnoughMemory);
    }
    EXPECT_EQ(steps, 0);
    EXPECT_TRUE(lists.horizontalLines.empty());
#endif
}

// Random edge pictures of odd sizes: a few lines between random border points
// plus sparse noise.
Plane RandomEdges(std::mt19937& rng, int width, int height) {
    Plane p = MakePlane(width, height);
    const int density = 1 + int(rng() % 8);  // percent
    for (std::size_t i = 0; i < p.size(); ++i) p.begin()[i] = int(rng() % 100) < density ? uint8_t(1 + rng() % 255) : 0;
    const int lines = int(rng() % 6);
    for (int i = 0; i < lines; ++i) {
        if (rng() % 2)
            DrawLine(0, int(rng() % height), width - 1, int(rng() % height), p, 255);
        else
            DrawLine(int(rng() % width), 0, int(rng() % width), height - 1, p, 255);
    }
    return p;
}

struct Size {
    int width, height;
};

void PrintTo(const Size& s, std::ostream* os) { *os << s.width << "x" << s.height; }

class HoughMatchesReference : public ::testing::TestWithParam<Size> {};

TEST_P(HoughMatchesReference, VotesLinesAndMarks) {
    const Size s = GetParam();
    std::mt19937 rng(1000003u * s.width + s.height);
    const int32_t n = std::max(s.width, s.height);
    for (int round = 0; round < (n > 200 ? 1 : 3); ++round) {
        const Plane source = RandomEdges(rng, s.width, s.height);
        for (bool vertical : {false, true}) {
            const std::vector<uint16_t> expected = reference::HoughVotes(source, vertical);
            for (int threads : {1, 2, 3}) ASSERT_EQ(Votes(source, vertical, threads), expected) << threads;
            std::vector<uint16_t> direct(expected.size(), 0);
            hough_detail::VoteTableDirect(source, Direction(vertical), direct.data(), n);
            ASSERT_EQ(direct, expected);

            for (int32_t threshold : {-7, 0, 1 + int32_t(rng() % 40)}) {
                const Outcome fast = RunHough(source, vertical, threshold);
                const Outcome plain = RunHough(source, vertical, threshold, true);
                EXPECT_EQ(fast.lines, plain.lines) << vertical << " " << threshold;
                EXPECT_EQ(std::memcmp(fast.marks.begin(), plain.marks.begin(), fast.marks.size()), 0);
                EXPECT_EQ(fast.progress, plain.progress);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Hough, HoughMatchesReference,
                         ::testing::Values(Size{1, 1}, Size{3, 2}, Size{1, 7}, Size{61, 47}, Size{47, 61},
                                           Size{97, 35}, Size{35, 97}, Size{131, 67}, Size{67, 131},
                                           Size{523, 301}, Size{301, 523}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// The voting offers its pause on the calling thread only, whatever the
// number of threads, and the counts stay those of the plain voting. A pause
// that throws stops the voting at that pause, every helper joined, on one,
// two and three threads alike. 130 x 40 with every sample an edge: three
// blocks of rows, each voted in more than one piece.
TEST(Hough, VotingPausesOnTheCallingThreadAndStopsAtAnyPause) {
    Plane source = MakePlane(130, 40);
    std::memset(source.begin(), 255, source.size());
    const int32_t n = 130;
    for (bool vertical : {false, true}) {
        const std::vector<uint16_t> expected = reference::HoughVotes(source, vertical);
        for (int threads : {1, 2, 3}) {
            const std::string where = (vertical ? "vertical, " : "horizontal, ") + std::to_string(threads);
            const std::thread::id caller = std::this_thread::get_id();
            int pauses = 0;
            bool elsewhere = false;
            std::vector<uint16_t> table(std::size_t(n) * n, 0);
            hough_detail::VoteTable(source, Direction(vertical), table.data(), n, threads, [&] {
                ++pauses;
                elsewhere |= std::this_thread::get_id() != caller;
            });
            EXPECT_EQ(table, expected) << where;
            EXPECT_FALSE(elsewhere) << where;
            // More pauses than rows of the picture: the voting pauses too
            // (with helpers, they may have taken every block).
            if (threads == 1) {
                ASSERT_GT(pauses, 2 * 40) << where;
            }
            for (int at = 1; at <= pauses; ++at) {
                std::fill(table.begin(), table.end(), uint16_t(0));
                int calls = 0;
                bool stopped = false;
                try {
                    hough_detail::VoteTable(source, Direction(vertical), table.data(), n, threads, [&] {
                        if (++calls == at) throw Cancelled();
                    });
                } catch (const Cancelled&) {
                    stopped = true;
                }
                // With helpers the number of pauses while waiting for them varies.
                if (threads == 1 || stopped) {
                    ASSERT_TRUE(stopped) << where << ", pause " << at;
                    ASSERT_EQ(calls, at) << where;
                } else {
                    ASSERT_LT(calls, at) << where;
                    ASSERT_EQ(table, expected) << where << ", pause " << at;
                }
            }
        }
    }
}

// At the largest side the integer voting must still round exactly as the
// double rule: extreme divisors, numerators near 2^28 and many exact halves.
// The table is checked sparsely: every expected vote is there and there are
// no others.
TEST(Hough, VotesExactAtLargestSide) {
    constexpr int32_t n = 16384;
    for (bool vertical : {false, true}) {
        Plane source = vertical ? MakePlane(3, n) : MakePlane(n, 3);
        std::vector<Pt> samples;
        for (int32_t d : {1, 2, 3, 4, 5, 8191, 8192, 12289, 16381, 16382, 16383})
            for (int32_t along : {0, 1, 2}) samples.push_back(vertical ? Pt{along, d} : Pt{d, along});
        for (Pt p : samples) source.at(p.x, p.y) = 255;

        std::vector<uint16_t> table(std::size_t(n) * n, 0);
        hough_detail::VoteTable(source, Direction(vertical), table.data(), n, 2);
        std::vector<uint16_t> expected(std::size_t(n) * samples.size());  // (k, sample) -> r + 1
        uint64_t votes = 0;
        bool anyHalf = false;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const Pt p = samples[i];
            for (int32_t k = 0; k < n; ++k) {
                const double r = vertical ? reference::HoughVote(p.x, p.y, n - 1, k)
                                          : reference::HoughVote(p.y, p.x, n - 1, k);
                if (r < 0 || r >= n) continue;
                ++votes;
                const int64_t numerator = vertical ? int64_t(p.x) * (n - 1) - int64_t(k) * (n - 1 - p.y)
                                                   : int64_t(p.y) * (n - 1) - int64_t(k) * (n - 1 - p.x);
                anyHalf |= (2 * numerator) % (2 * (vertical ? p.y : p.x)) == (vertical ? p.y : p.x);
                expected[std::size_t(k) * samples.size() + i] = uint16_t(r) + 1;
            }
        }
        ASSERT_TRUE(anyHalf);
        uint64_t sum = 0;
        for (uint16_t c : table) sum += c;
        EXPECT_EQ(sum, votes);
        for (int32_t k = 0; k < n; ++k) {
            std::vector<int32_t> row;
            for (std::size_t i = 0; i < samples.size(); ++i)
                if (expected[std::size_t(k) * samples.size() + i]) row.push_back(expected[std::size_t(k) * samples.size() + i] - 1);
            for (int32_t r : row) {
                const int count = int(std::count(row.begin(), row.end(), r));
                ASSERT_EQ(table[std::size_t(k) * n + r], count) << (vertical ? "vertical" : "horizontal") << " k " << k;
            }
        }
    }
}

// Peak search on tables of small counts: wide plateaus of equal values are
// the hard case for the window bookkeeping.
TEST(Hough, PeakSearchMatchesReferenceOnPlateaus) {
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        const int32_t n = 41 + int32_t(rng() % 120);
        const int32_t radius = round % 2 ? hough_detail::kVerticalRadius : hough_detail::kHorizontalRadius;
        const int levels = 1 + int(rng() % 4);
        const int zeros = int(rng() % 90);
        std::vector<uint16_t> table(std::size_t(n) * n);
        for (uint16_t& c : table) c = int(rng() % 100) < zeros ? 0 : uint16_t(1 + rng() % levels);
        std::vector<uint16_t> expectedTable = table;
        const std::vector<reference::HoughPeak> expected = reference::HoughPeaks(expectedTable, n, radius);

        for (bool direct : {false, true}) {
            std::vector<uint16_t> mine = table;
            std::vector<reference::HoughPeak> found;
            auto sink = [&](int32_t k, int32_t r) { found.push_back({k, r}); };
            if (direct)
                hough_detail::FindPeaksDirect(mine.data(), n, radius, sink);
            else
                hough_detail::FindPeaks(mine.data(), n, radius, sink);
            EXPECT_EQ(found, expected) << "round " << round << (direct ? " direct" : "");
            EXPECT_EQ(mine, expectedTable) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace vexo
