#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "filter_pictures.h"
#include "filters/chain_filter.h"
#include "line_helpers.h"
#include "reference_filters.h"

namespace vexo {
namespace {

using test::PlaneWithPoints;
using test::Point;
using test::Samples;

using testing::Transposed;

TEST(ChainFilterTest, ForkKeepsTheBranchThatReachesTheExtent) {
    Plane plane = PlaneWithPoints(7, 5, {{0, 2}, {1, 2}, {2, 2}, {3, 1}, {4, 1}, {3, 3}, {4, 3}, {5, 3}}, 9);
    ChainFilterHorizontal(plane, 3);
    // Extent 6: the upper branch is tried first, fails and is erased.
    EXPECT_EQ(Samples(plane), Samples(PlaneWithPoints(7, 5, {{0, 2}, {1, 2}, {2, 2}, {3, 3}, {4, 3}, {5, 3}}, 255)));
}

TEST(ChainFilterTest, ForkWithEqualBranchesKeepsTheUpperOne) {
    const std::initializer_list<Point> chain = {{0, 2}, {1, 2}, {2, 2}, {3, 1}, {4, 1}, {5, 1}, {3, 3}, {4, 3}, {5, 3}};
    const std::initializer_list<Point> path = {{0, 2}, {1, 2}, {2, 2}, {3, 1}, {4, 1}, {5, 1}};
    Plane plane = PlaneWithPoints(7, 5, chain);
    ChainFilterHorizontal(plane, 3);
    EXPECT_EQ(Samples(plane), Samples(PlaneWithPoints(7, 5, path, 255)));

    // Top to bottom the same fork prefers the left branch.
    Plane transposed = Transposed(PlaneWithPoints(7, 5, chain));
    ChainFilterVertical(transposed, 3);
    EXPECT_EQ(Samples(transposed), Samples(Transposed(PlaneWithPoints(7, 5, path, 255))));
}

TEST(ChainFilterTest, LaterPathRunsThroughLeftoverClaims) {
    Plane plane = PlaneWithPoints(5, 5,
                                  {{0, 1}, {1, 1}, {2, 0}, {3, 0}, {2, 2}, {3, 2},  // chain A
                                   {1, 3}, {2, 4}, {3, 4}});                        // chain B
    ChainFilterHorizontal(plane, 3);
    EXPECT_EQ(Samples(plane),
              Samples(PlaneWithPoints(5, 5, {{0, 1}, {1, 1}, {2, 0}, {3, 0}, {1, 3}, {2, 2}, {3, 2}}, 255)));
}

TEST(ChainFilterTest, SharedSampleBelongsToTheFirstStartInScanOrder) {
    Plane plane = PlaneWithPoints(4, 3, {{0, 0}, {0, 2}, {1, 1}, {2, 1}});
    ChainFilterHorizontal(plane, 3);
    // (0, 2) finds (1, 1) already kept: a chain of extent 1, erased.
    EXPECT_EQ(Samples(plane), Samples(PlaneWithPoints(4, 3, {{0, 0}, {1, 1}, {2, 1}}, 255)));
}

TEST(ChainFilterTest, EmptyPlaneStaysEmpty) {
    Plane plane = Plane::Allocate(9, 4);
    ChainFilterHorizontal(plane, 0);
    ChainFilterVertical(plane, 0);
    EXPECT_EQ(Samples(plane), Samples(Plane::Allocate(9, 4)));
}

// Minimum length, then the samples kept of three separate chains of extent 1,
// 2 and 4 in an 8 x 7 picture.
class ChainMinimum : public ::testing::TestWithParam<std::tuple<int32_t, std::vector<Point>>> {};

TEST_P(ChainMinimum, KeepsChainsOfAtLeastTheMinimum) {
    const auto& [minimum, kept] = GetParam();
    Plane plane = PlaneWithPoints(8, 7, {{6, 0}, {1, 2}, {2, 3}, {2, 2}, {0, 5}, {1, 5}, {2, 6}, {3, 5}}, 37);
    ChainFilterHorizontal(plane, minimum);
    Plane expected = Plane::Allocate(8, 7);
    for (Point p : kept) expected.at(p.x, p.y) = 255;
    EXPECT_EQ(Samples(plane), Samples(expected));
}

// The extent-2 chain (1, 2) forks into (2, 2) and (2, 3): the upper branch is kept.
const std::vector<Point> kAllThree = {{6, 0}, {1, 2}, {2, 2}, {0, 5}, {1, 5}, {2, 6}, {3, 5}};

INSTANTIATE_TEST_SUITE_P(
    Minimums, ChainMinimum,
    ::testing::Values(std::tuple{INT32_MIN, kAllThree}, std::tuple{0, kAllThree}, std::tuple{1, kAllThree},
                      std::tuple{2, std::vector<Point>{{1, 2}, {2, 2}, {0, 5}, {1, 5}, {2, 6}, {3, 5}}},
                      std::tuple{4, std::vector<Point>{{0, 5}, {1, 5}, {2, 6}, {3, 5}}},
                      std::tuple{5, std::vector<Point>{}}, std::tuple{9, std::vector<Point>{}},
                      std::tuple{INT32_MAX, std::vector<Point>{}}));

TEST(ChainFilterTest, RunsAcrossTheWalkAreSingleSampleChains) {
    const std::initializer_list<Point> column = {{3, 0}, {3, 1}, {3, 2}, {3, 3}};
    Plane plane = PlaneWithPoints(6, 4, column);
    ChainFilterHorizontal(plane, 1);
    EXPECT_EQ(Samples(plane), Samples(PlaneWithPoints(6, 4, column, 255)));
    plane = PlaneWithPoints(6, 4, column);
    ChainFilterHorizontal(plane, 2);
    EXPECT_EQ(Samples(plane), Samples(Plane::Allocate(6, 4)));

    Plane row = Transposed(PlaneWithPoints(6, 4, column));
    ChainFilterVertical(row, 2);
    EXPECT_EQ(Samples(row), Samples(Plane::Allocate(4, 6)));
}

// A chain across the widest picture: two full rows (or columns). The first
// keeps the path along row 0; row 1 is a chain of extent 1 that erases
// (minimum 16384) the whole leftover row through its claims.
class LongChain : public ::testing::TestWithParam<bool> {};

TEST_P(LongChain, SpansTheWidestPicture) {
    const bool horizontal = GetParam();
    constexpr int kLong = 16384;
    const int width = horizontal ? kLong : 2, height = horizontal ? 2 : kLong;
    auto run = [&](Plane& plane, int32_t minimum) {
        horizontal ? ChainFilterHorizontal(plane, minimum) : ChainFilterVertical(plane, minimum);
    };
    Plane plane = test::FilledPlane(width, height, 1);
    run(plane, kLong);
    for (int i = 0; i < kLong; ++i) {
        ASSERT_EQ(horizontal ? plane.at(i, 0) : plane.at(0, i), 255) << i;
        ASSERT_EQ(horizontal ? plane.at(i, 1) : plane.at(1, i), 0) << i;
    }
    plane = test::FilledPlane(width, height, 1);
    run(plane, kLong + 1);
    EXPECT_EQ(Samples(plane), Samples(Plane::Allocate(width, height)));
}

INSTANTIATE_TEST_SUITE_P(Directions, LongChain, ::testing::Bool());

// One chain that covers the picture is a single long walk: the pump is
// offered inside it too, not only between the starts of the scan.
TEST(ChainFilterTest, PumpIsOfferedWithinTheWalksOfALargeChain) {
    for (bool horizontal : {true, false}) {
        auto pumps = [horizontal](uint8_t value) {
            Plane plane = test::FilledPlane(256, 256, value);
            int count = 0;
            const EventPump pump = [&count] { ++count; };
            horizontal ? ChainFilterHorizontal(plane, 3, pump) : ChainFilterVertical(plane, 3, pump);
            return count;
        };
        EXPECT_GT(pumps(1), pumps(0)) << (horizontal ? "horizontal" : "vertical");
    }
}

// Size, density of nonzero samples, minimum length.
class ChainMatchesReference
    : public ::testing::TestWithParam<std::tuple<std::tuple<int, int>, double, int32_t>> {};

TEST_P(ChainMatchesReference, BothDirections) {
    const auto [size, density, minimum] = GetParam();
    const auto [width, height] = size;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const Plane source = test::RandomEdgePlane(width, height, density, seed);
        // Pumping between pieces of the work changes nothing.
        int pumps = 0;
        const EventPump pump = [&pumps] { ++pumps; };
        Plane fast = test::CopyPlane(source), slow = test::CopyPlane(source);
        ChainFilterHorizontal(fast, minimum, pump);
        reference::ChainFilterHorizontal(slow, minimum);
        ASSERT_EQ(Samples(fast), Samples(slow)) << "horizontal, seed " << seed;

        fast = test::CopyPlane(source);
        slow = test::CopyPlane(source);
        ChainFilterVertical(fast, minimum, pump);
        reference::ChainFilterVertical(slow, minimum);
        ASSERT_EQ(Samples(fast), Samples(slow)) << "vertical, seed " << seed;
        ASSERT_GE(pumps, 2 * height);

        // Top to bottom is left to right on the transposed picture.
        Plane transposed = Transposed(source);
        ChainFilterVertical(transposed, minimum);
        fast = test::CopyPlane(source);
        ChainFilterHorizontal(fast, minimum);
        ASSERT_EQ(Samples(transposed), Samples(Transposed(fast))) << "seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RandomEdges, ChainMatchesReference,
    ::testing::Combine(::testing::Values(std::tuple{1, 1}, std::tuple{2, 5}, std::tuple{5, 2}, std::tuple{3, 3},
                                         std::tuple{17, 9}, std::tuple{63, 31}, std::tuple{31, 63},
                                         std::tuple{201, 57}),
                       ::testing::Values(0.05, 0.3, 0.6, 0.95), ::testing::Values(0, 1, 3, 12, 64)));

}  // namespace
}  // namespace vexo
