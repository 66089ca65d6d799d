// Period and phase: where the lines of one family lie across it, after
// straightening, and the comb of evenly spaced lines that fits them.
//
// Segments of one family that lie on one straightened line (within a
// tolerance) are one line; its weight is the length of its segments. Seen in
// perspective, and with vanishing points known only roughly, evenly spaced
// lines are spaced evenly only up to a projective map of the line: the comb
// is x(n) = (a n + b) / (c n + 1). Three strong lines that could be
// neighbours propose a comb; it scores the weight of the lines within a
// sixth of a spacing of its teeth, less a line's typical weight for every
// tooth between its first and its last supported one that has no line (so a
// comb twice as fine as the grid, whose every other tooth is empty, loses to
// the grid's own). The best comb is refitted to all its lines by least squares.
#pragma once

#include <vector>

namespace vexo::grid {

struct Mark {
    double position = 0;
    double weight = 0;
    int source = -1;    // what the mark came from (a segment's index)
    int polarity = 0;   // +1: lighter towards larger positions, -1: darker
};

struct LineGroup {
    double position = 0;  // weighted mean of its marks
    double weight = 0;
    double polarity = 0;  // weighted mean polarity of its marks, -1..1
    std::vector<int> sources;
};

// Groups marks whose positions lie within `tolerance` of their neighbours,
// in order of position.
std::vector<LineGroup> GroupMarks(std::vector<Mark> marks, double tolerance);

// Joins the two sides of ruled lines, seen as two edges, into one line at
// their middle: neighbouring groups no further than `gap` apart (as long as
// the line spans at most `span`), and a group of one polarity with the next
// of the other polarity up to `wideGap` apart when the groups around them
// lie at least two and a half times as far.
std::vector<LineGroup> JoinSides(const std::vector<LineGroup>& groups, double gap, double span, double wideGap);

struct Comb {
    // x(n) = (a n + b) / (c n + 1)
    double a = 0, b = 0, c = 0;
    double score = 0;
    std::vector<int> index;  // per group: its tooth, or kNoTooth

    double At(double n) const { return (a * n + b) / (c * n + 1); }
};

inline constexpr int kNoTooth = -1 << 30;

// False when no three lines propose a comb whose teeth are at least
// `minSpacing` apart.
bool FindComb(const std::vector<LineGroup>& lines, double minSpacing, Comb& comb);

}  // namespace vexo::grid
