// A grid found in a picture file, carried over to the same file loaded again
// at another scale: the lattice in the file's own pixels stays, the lattice
// in working pixels follows the new scale.
#pragma once

#include "app/find_grid_record.h"

namespace vexo {

// The file's lattice in the working pixels of the file decoded at M/8
// (`scale` = M): each coordinate c becomes (c + 0.5) * M / 8 - 0.5, and the
// homography follows, its last element 1. The inverse of ToSourcePixels.
Lattice ToWorkingPixels(const Lattice& source, int scale);

// `record` for the file loaded again as `loaded` (its size and new scale):
// the working lattice follows the new scale, the rest stays as found.
FindGridRecord GridAtScale(const FindGridRecord& record, const SourceSize& loaded);

}  // namespace vexo
