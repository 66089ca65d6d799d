// Period and phase: where the lines of one family lie across it, after
// straightening, and the evenly spaced comb that fits them.
//
// Segments of one family that lie on one straightened line (within a
// tolerance) are one line; its weight is the length of its segments. The comb
// is found from the lines' weighted Fourier sum
//   S(f) = |sum w e^(2 pi i f x)| / sum w
// over frequencies f between 1 / maxPeriod and 1 / minPeriod. Every divisor of
// the true period scores as well as the period itself (its comb holds every
// line), so the period is the lowest frequency whose score comes near the
// best; the phase is the argument of the sum there.
#pragma once

#include <vector>

namespace vexo::grid {

struct Mark {
    double position = 0;
    double weight = 0;
    int source = -1;  // what the mark came from (a segment's index)
};

struct LineGroup {
    double position = 0;  // weighted mean of its marks
    double weight = 0;
    std::vector<int> sources;
};

// Groups marks whose positions lie within `tolerance` of their neighbours,
// in order of position.
std::vector<LineGroup> GroupMarks(std::vector<Mark> marks, double tolerance);

struct Comb {
    double period = 0;
    double phase = 0;     // a line lies at phase + k * period
    double strength = 0;  // S at the comb's frequency, 0..1
};

// False when no frequency scores at least `minStrength`.
bool FindComb(const std::vector<LineGroup>& lines, double minPeriod, double maxPeriod, double minStrength,
              Comb& comb);

}  // namespace vexo::grid
