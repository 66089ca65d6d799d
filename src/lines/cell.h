// A labelled cell of the grid: its label, its place, its four corners and
// the box its label is drawn in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vexo {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct CellBox {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct CellCorners {
    Point tl, tr, bl, br;
};

struct Cell {
    std::string label;
    int column = 0;
    int row = 0;
    std::optional<Point> tl, tr, bl, br;  // none when the crossing cannot be represented
    std::optional<CellBox> box;           // none when a corner is missing
    // The corners in the file's own pixels when they were found there (Find
    // Grid); otherwise they follow from the corners and the scale.
    std::optional<CellCorners> source;
};

}  // namespace vexo
