// What the last Find Grid left behind: the lattice it found (or that it found
// none), in the picture's working pixels and in the file's own, and how long
// it took.
#pragma once

#include <cstdint>

#include "core/jpeg_decoder.h"
#include "find_grid/find_grid.h"

namespace vexo {

struct FindGridRecord {
    uint64_t sequence = 0;  // counts the Find Grid runs so far
    bool cancelled = false; // stopped by Cancel before it ended
    Lattice lattice;        // in the working picture's pixels
    Lattice source;         // in the file's own pixels
    SourceSize sourceSize;  // the file's size and the scale the picture was decoded at
    int milliseconds = 0;
};

}  // namespace vexo
