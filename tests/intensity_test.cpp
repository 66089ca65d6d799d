#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "filter_pictures.h"
#include "filters/intensity.h"

namespace vexo {
namespace {

using test::FilledPlane;
using test::PlaneFromRows;
using test::Samples;

// Every value 0..255 once, 16 x 16.
Plane AllValues() {
    Plane plane = Plane::Allocate(16, 16);
    for (int v = 0; v < 256; ++v) plane.begin()[v] = uint8_t(v);
    return plane;
}

// step, offset, source value, expected result.
class SegmentRule : public ::testing::TestWithParam<std::tuple<int, int32_t, int, int>> {};

TEST_P(SegmentRule, Quantises) {
    const auto [step, offset, value, expected] = GetParam();
    Plane destination = FilledPlane(16, 16, 1);
    Segment(AllValues(), destination, uint8_t(step), offset);
    EXPECT_EQ(destination.begin()[value], expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentRule,
    ::testing::Values(std::tuple{30, 0, 29, 0}, std::tuple{30, 0, 30, 30}, std::tuple{30, 0, 255, 240},
                      std::tuple{30, 5, 59, 35}, std::tuple{30, 5, 250, 245},
                      std::tuple{30, 29, 250, 255},           // 240 + 29 = 269, capped
                      std::tuple{266, 0, 19, 10},             // a wider step acts as its low 8 bits
                      std::tuple{1, 0, 173, 173},             // step 1 copies
                      std::tuple{255, 0, 255, 255}, std::tuple{255, 0, 254, 0},
                      std::tuple{10, INT32_MAX, 0, 255},      // no wrapping: still 256 or more
                      std::tuple{10, INT32_MAX - 5, 255, 255},
                      std::tuple{10, -40, 99, 50}, std::tuple{10, -40, 39, 0},  // below 0 gives 0
                      std::tuple{10, INT32_MIN, 255, 0}));

TEST(SegmentTest, StepZeroCopiesThePicture) {
    Plane destination = FilledPlane(16, 16, 1);
    Segment(AllValues(), destination, 0, 7);
    EXPECT_EQ(Samples(destination), Samples(AllValues()));
}

// limit, number of values 0..255 kept (the lowest ones).
class EraseRule : public ::testing::TestWithParam<std::tuple<int32_t, int>> {};

TEST_P(EraseRule, KeepsOnlyValuesBelowTheLimit) {
    const auto [limit, kept] = GetParam();
    Plane destination = FilledPlane(16, 16, 1);
    EraseHighIntensity(AllValues(), destination, limit);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(destination.begin()[v], v < kept ? v : 0) << "value " << v;
}

INSTANTIATE_TEST_SUITE_P(Limits, EraseRule,
                         ::testing::Values(std::tuple{INT32_MIN, 0}, std::tuple{-5, 0}, std::tuple{0, 0},
                                           std::tuple{1, 1}, std::tuple{130, 130}, std::tuple{200, 200},
                                           std::tuple{255, 255}, std::tuple{256, 256},
                                           std::tuple{INT32_MAX, 256}));

TEST(HistogramBandTest, ModeTiesGoLowAndTheBandRewrites) {
    // 120 and 150 twice each, 90 three times (outside the band of values).
    Plane plane = PlaneFromRows({{150, 120, 90, 5}, {90, 150, 120, 90}, {9, 10, 129, 131}});
    const std::vector<uint8_t> before = Samples(plane);
    ASSERT_EQ(HistogramMode(plane), 120);
    EXPECT_EQ(Samples(plane), before);
    HistogramBand(plane, 120, -10);  // band -10: dark up to 130
    EXPECT_EQ(Samples(plane), Samples(PlaneFromRows({{120, 0, 0, 120}, {0, 120, 0, 0}, {120, 0, 0, 120}})));
}

TEST(HistogramBandTest, NoValueInTheBandGivesModeZeroAndABlackPlane) {
    Plane plane = PlaneFromRows({{0, 5, 99, 201, 255}});
    ASSERT_EQ(HistogramMode(plane), 0);
    HistogramBand(plane, 0, 100);
    EXPECT_EQ(Samples(plane), Samples(FilledPlane(5, 1, 0)));
}

// band, then the expected rewrite of the values 0, 9, 10, 99, 100, 101, 255, 100 (mode 100).
class HistogramBandRule : public ::testing::TestWithParam<std::tuple<int32_t, std::vector<int>>> {};

TEST_P(HistogramBandRule, RewritesAroundTheMode) {
    const auto& [band, expected] = GetParam();
    Plane plane = PlaneFromRows({{0, 9, 10, 99, 100, 101, 255, 100}});
    ASSERT_EQ(HistogramMode(plane), 100);
    HistogramBand(plane, 100, band);
    EXPECT_EQ(Samples(plane), std::vector<uint8_t>(expected.begin(), expected.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Bands, HistogramBandRule,
    ::testing::Values(std::tuple{0, std::vector{100, 100, 0, 0, 0, 100, 100, 0}},
                      std::tuple{1, std::vector{100, 100, 0, 0, 100, 100, 100, 100}},
                      std::tuple{90, std::vector{100, 100, 0, 100, 100, 100, 100, 100}},
                      std::tuple{91, std::vector{100, 100, 100, 100, 100, 100, 100, 100}},  // nothing dark
                      std::tuple{INT32_MAX, std::vector{100, 100, 100, 100, 100, 100, 100, 100}},
                      std::tuple{INT32_MIN, std::vector{100, 100, 0, 0, 0, 0, 0, 0}}));  // no wrapping

}  // namespace
}  // namespace vexo
