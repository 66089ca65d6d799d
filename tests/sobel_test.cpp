#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "filter_pictures.h"
#include "filters/sobel.h"
#include "line_helpers.h"
#include "reference_filters.h"

namespace vexo {
namespace {

using test::FilledPlane;
using test::PlaneFromRows;
using test::RandomPlane;
using test::Samples;

// A picture whose top `rowsAbove` rows hold `above` and the rest `below`.
Plane Step(int width, int height, int rowsAbove, uint8_t above, uint8_t below) {
    Plane plane = FilledPlane(width, height, below);
    for (int y = 0; y < rowsAbove; ++y) {
        for (int x = 0; x < width; ++x) plane.at(x, y) = above;
    }
    return plane;
}

using testing::Transposed;

TEST(SobelKernels, HorizontalRespondsToBrighterBelowCappedAt255) {
    const Plane source = Step(6, 6, 3, 0, 100);
    Plane destination = FilledPlane(6, 6, 9);
    ConvolveThreshold(source, destination, horizontalSobelKernel, 0, nullptr);
    // Rows 2 and 3 touch the step: 4 * 100 = 400, capped.
    for (int x = 1; x <= 4; ++x) {
        EXPECT_EQ(destination.at(x, 1), 0);
        EXPECT_EQ(destination.at(x, 2), 255);
        EXPECT_EQ(destination.at(x, 3), 255);
        EXPECT_EQ(destination.at(x, 4), 0);
    }
}

TEST(SobelKernels, UpsideDownStepGivesZeroEvenAtThresholdZero) {
    const Plane source = Step(6, 6, 3, 100, 0);
    Plane destination = FilledPlane(6, 6, 9);
    ConvolveThreshold(source, destination, horizontalSobelKernel, 0, nullptr);
    for (int y = 1; y <= 4; ++y) {
        for (int x = 1; x <= 4; ++x) EXPECT_EQ(destination.at(x, y), 0) << x << "," << y;
    }
}

TEST(SobelKernels, VerticalRespondsToBrighterLeftOnly) {
    Plane destination = FilledPlane(6, 6, 9);
    ConvolveThreshold(Transposed(Step(6, 6, 3, 100, 0)), destination, verticalSobelKernel, 1, nullptr);
    EXPECT_EQ(destination.at(2, 1), 255);
    EXPECT_EQ(destination.at(3, 4), 255);
    EXPECT_EQ(destination.at(1, 3), 0);

    ConvolveThreshold(Transposed(Step(6, 6, 3, 0, 100)), destination, verticalSobelKernel, 0, nullptr);
    for (int y = 1; y <= 4; ++y) {
        for (int x = 1; x <= 4; ++x) EXPECT_EQ(destination.at(x, y), 0);
    }
}

TEST(SobelKernels, ThresholdKeepsResponsesFromItsValueUp) {
    const Plane source = Step(5, 5, 2, 0, 30);  // responds 4 * 30 = 120, below the cap
    Plane destination = FilledPlane(5, 5, 9);
    ConvolveThreshold(source, destination, horizontalSobelKernel, 120, nullptr);
    EXPECT_EQ(destination.at(2, 1), 120);
    ConvolveThreshold(source, destination, horizontalSobelKernel, 121, nullptr);
    EXPECT_EQ(destination.at(2, 1), 0);
}

// Kernel A (horizontal) responds 30 at the centre, kernel B (vertical) 400.
Plane ThirtyAndCapped() { return PlaneFromRows({{100, 0, 0}, {100, 50, 0}, {100, 15, 0}}); }

TEST(SobelEdgeSearchTest, BothResponsesMustReachTheThreshold) {
    Plane marks = FilledPlane(3, 3, 7);
    SobelEdgeSearch(ThirtyAndCapped(), marks, horizontalSobelKernel, verticalSobelKernel, 40, nullptr);
    EXPECT_EQ(marks.at(1, 1), 0);
    SobelEdgeSearch(ThirtyAndCapped(), marks, horizontalSobelKernel, verticalSobelKernel, 30, nullptr);
    EXPECT_EQ(marks.at(1, 1), 142);  // (30 + 255) / 2
    SobelEdgeSearch(ThirtyAndCapped(), marks, verticalSobelKernel, horizontalSobelKernel, 30, nullptr);
    EXPECT_EQ(marks.at(1, 1), 142);
    EXPECT_EQ(marks.at(0, 0), 7);
}

TEST(SobelEdgeSearchTest, ThresholdIsComparedWhole) {
    // 276 is not cut to 20: capped responses never reach it.
    const Plane source = PlaneFromRows({{255, 255, 0}, {255, 0, 0}, {255, 255, 255}});
    Plane marks = FilledPlane(3, 3, 0);
    SobelEdgeSearch(source, marks, horizontalSobelKernel, verticalSobelKernel, 255, nullptr);
    EXPECT_EQ(marks.at(1, 1), 255);
    SobelEdgeSearch(source, marks, horizontalSobelKernel, verticalSobelKernel, 276, nullptr);
    EXPECT_EQ(marks.at(1, 1), 0);
}

TEST(SobelEdgeSearchTest, NegativeThresholdNeverMarksNegativeResponses) {
    const Plane source = PlaneFromRows({{0, 0, 200}, {0, 0, 200}, {0, 0, 0}});  // both responses negative
    Plane marks = FilledPlane(3, 3, 7);
    SobelEdgeSearch(source, marks, horizontalSobelKernel, verticalSobelKernel, -1000, nullptr);
    EXPECT_EQ(marks.at(1, 1), 0);
}

// Width and height, for the shapes that matter to the loop bounds.
class SobelShape : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(SobelShape, PumpsOncePerInnerColumnBeforeAnyWriteAndKeepsTheBorder) {
    const auto [width, height] = GetParam();
    const Plane source = RandomPlane(width, height, 11);
    for (int primitive = 0; primitive < 2; ++primitive) {
        Plane destination = FilledPlane(width, height, 77);
        int pumps = 0;
        bool writtenBeforeFirstPump = false;
        auto pump = [&] {
            if (pumps++ == 0) {
                for (uint8_t v : Samples(destination)) writtenBeforeFirstPump |= v != 77;
            }
        };
        if (primitive == 0) {
            ConvolveThreshold(source, destination, horizontalSobelKernel, 0, pump);
        } else {
            SobelEdgeSearch(source, destination, horizontalSobelKernel, verticalSobelKernel, 0, pump);
        }
        EXPECT_EQ(pumps, std::max(width - 2, 0));
        EXPECT_FALSE(writtenBeforeFirstPump);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool inner = x >= 1 && x <= width - 2 && y >= 1 && y <= height - 2;
                if (!inner) {
                    ASSERT_EQ(destination.at(x, y), 77) << x << "," << y;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SobelShape,
                         ::testing::Values(std::tuple{1, 1}, std::tuple{2, 5}, std::tuple{5, 2}, std::tuple{3, 1},
                                           std::tuple{3, 3}, std::tuple{17, 9}, std::tuple{640, 7},
                                           std::tuple{7, 640}, std::tuple{300, 3}));

TEST(SobelShapeTest, MismatchedPlanesAreLeftAlone) {
    const Plane source = RandomPlane(9, 9, 3);
    Plane smaller = FilledPlane(8, 9, 5);
    ConvolveThreshold(source, smaller, horizontalSobelKernel, 0, nullptr);
    EXPECT_EQ(Samples(smaller), Samples(FilledPlane(8, 9, 5)));
}

Kernel3x3 RandomKernel(std::mt19937& random, int largest) {
    Kernel3x3 kernel{};
    std::uniform_int_distribution<int> weight(-largest - 1, largest);
    for (int8_t& w : kernel.weights) w = int8_t(weight(random));
    return kernel;
}

// Sizes, then the seed of the picture, kernels and threshold.
class SobelMatchesReference : public ::testing::TestWithParam<std::tuple<std::tuple<int, int>, uint32_t>> {};

TEST_P(SobelMatchesReference, SameSamplesAndPumpCount) {
    const auto [size, seed] = GetParam();
    const auto [width, height] = size;
    std::mt19937 random(seed);
    const Plane source = RandomPlane(width, height, seed);
    const Plane before = RandomPlane(width, height, seed + 1000);
    // Sobel kernels, small random weights (16-bit sums) and full-range weights (32-bit sums).
    const Kernel3x3 kernels[] = {horizontalSobelKernel, verticalSobelKernel, RandomKernel(random, 14),
                                 RandomKernel(random, 127), RandomKernel(random, 127)};
    for (const Kernel3x3& a : kernels) {
        for (const Kernel3x3& b : kernels) {
            const int threshold = int(random() % 300) - 20;
            Plane fast = test::CopyPlane(before), slow = test::CopyPlane(before);
            int fastPumps = 0, slowPumps = 0;
            ConvolveThreshold(source, fast, a, uint8_t(threshold), [&] { ++fastPumps; });
            reference::ConvolveThreshold(source, slow, a, uint8_t(threshold), [&] { ++slowPumps; });
            ASSERT_EQ(Samples(fast), Samples(slow)) << "threshold " << threshold;
            ASSERT_EQ(fastPumps, slowPumps);

            SobelEdgeSearch(source, fast, a, b, threshold, [&] { ++fastPumps; });
            reference::SobelEdgeSearch(source, slow, a, b, threshold, [&] { ++slowPumps; });
            ASSERT_EQ(Samples(fast), Samples(slow)) << "threshold " << threshold;
            ASSERT_EQ(fastPumps, slowPumps);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    OddSizes, SobelMatchesReference,
    ::testing::Combine(::testing::Values(std::tuple{1, 1}, std::tuple{2, 5}, std::tuple{3, 3}, std::tuple{4, 4},
                                         std::tuple{17, 9}, std::tuple{63, 31}, std::tuple{640, 7},
                                         std::tuple{5, 201}, std::tuple{131, 67}),
                       ::testing::Values(1u, 2u)));

}  // namespace
}  // namespace vexo
