// Small pictures for the filter tests and benchmarks: planes drawn from rows
// of values, seeded random pictures and edge pictures with long chains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <random>
#include <vector>

#include "core/plane.h"

namespace vexo::test {

// A plane filled with one value.
inline Plane FilledPlane(int width, int height, uint8_t value) {
    Plane plane = Plane::Allocate(width, height);
    if (plane.size() > 0) std::memset(plane.begin(), value, plane.size());
    return plane;
}

// A plane from its rows, top row first; every row has the same length.
inline Plane PlaneFromRows(std::initializer_list<std::initializer_list<int>> rows) {
    const int height = int(rows.size());
    const int width = height > 0 ? int(rows.begin()->size()) : 0;
    Plane plane = Plane::Allocate(width, height);
    int y = 0;
    for (const auto& row : rows) {
        int x = 0;
        for (int v : row) plane.at(x++, y) = uint8_t(v);
        ++y;
    }
    return plane;
}

// A plane of zeros with the listed samples set to `value`.
struct Point {
    int x;
    int y;
};
inline void PrintTo(const Point& p, std::ostream* out) { *out << "(" << p.x << ", " << p.y << ")"; }
inline Plane PlaneWithPoints(int width, int height, std::initializer_list<Point> points, uint8_t value = 1) {
    Plane plane = Plane::Allocate(width, height);
    for (Point p : points) plane.at(p.x, p.y) = value;
    return plane;
}

inline std::vector<uint8_t> Samples(const Plane& plane) {
    return std::vector<uint8_t>(plane.begin(), plane.begin() + plane.size());
}

inline Plane CopyPlane(const Plane& plane) {
    Plane copy = Plane::Allocate(plane.width, plane.height);
    if (plane.size() > 0) std::memcpy(copy.begin(), plane.begin(), plane.size());
    return copy;
}

// Every sample uniformly random in 0..255.
inline Plane RandomPlane(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    Plane plane = Plane::Allocate(width, height);
    for (std::size_t i = 0; i < plane.size(); ++i) plane.begin()[i] = uint8_t(random() & 0xFF);
    return plane;
}

// Each sample nonzero (a random value 1..255) with probability `density`.
inline Plane RandomEdgePlane(int width, int height, double density, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    Plane plane = Plane::Allocate(width, height);
    for (std::size_t i = 0; i < plane.size(); ++i) {
        plane.begin()[i] = chance(random) < density ? uint8_t(1 + random() % 255) : uint8_t(0);
    }
    return plane;
}

// An edge picture of wandering chains: `chains` random walks that run across
// the picture (left to right when `horizontal`, else top to bottom), each step
// moving one sample sideways at random, over a sprinkle of noise.
inline Plane ChainPicture(int width, int height, int chains, bool horizontal, double noise, uint32_t seed) {
    Plane plane = RandomEdgePlane(width, height, noise, seed);
    std::mt19937 random(seed ^ 0x9E3779B9u);
    const int along = horizontal ? width : height;
    const int across = horizontal ? height : width;
    for (int c = 0; c < chains && across > 0; ++c) {
        int position = int(random() % unsigned(across));
        for (int a = 0; a < along; ++a) {
            if (horizontal) {
                plane.at(a, position) = 255;
            } else {
                plane.at(position, a) = 255;
            }
            position += int(random() % 3) - 1;
            position = position < 0 ? 0 : (position >= across ? across - 1 : position);
        }
    }
    return plane;
}

}  // namespace vexo::test
