// A found lattice drawn over the displayed picture: its lines from border to
// border of the grid in a colour of their own, each cell's name at its centre
// in a size that fits the cell, and on a chessboard its crossings marked. The
// planes and the marks stay as they are.
#pragma once

#include "core/rgb.h"
#include "core/screen.h"
#include "find_grid/find_grid.h"

namespace vexo {

inline constexpr Rgb kLatticeColour{0, 200, 255};
inline constexpr Rgb kLatticeNameColour{255, 0, 255};
inline constexpr Rgb kLatticeCrossingColour{255, 140, 0};

// The em height in pixels of the names of a lattice's cells: about two fifths
// of the smallest side of a typical cell, from 6 to 96 pixels.
int LatticeNamePixels(const Lattice& lattice);

// Draws `lattice` (in the displayed picture's pixels) over the displayed
// picture of `width` x `height` pixels, then shows it.
void DrawLattice(const Lattice& lattice, Screen& screen, int width, int height);

}  // namespace vexo
