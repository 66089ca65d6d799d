// Chain filters: keep the long left-to-right (top-to-bottom) chains of
// nonzero samples as one thin path of 255 and erase everything else to 0.
//
// Every nonzero sample first becomes 250 (unclaimed). The starts are taken in
// scan order: columns left to right, each top to bottom, for the horizontal
// filter; rows top to bottom, each left to right, for the vertical one. From
// each start still holding 250 three walks run, each step one column right
// (one row down) to the forward neighbours tried in this order:
//   horizontal: (x+1, y-1), (x+1, y), (x+1, y+1)
//   vertical:   (x-1, y+1), (x, y+1), (x+1, y+1)
// - MeasureChain follows the samples holding 250 and marks each 251 once its
//   own walk has returned; the extent is the deepest depth reached (start = 1).
// - A chain whose extent is below the minimum length is erased: EraseChain
//   follows the samples holding 251 and sets each to 0 after its own walk.
// - Otherwise TracePath searches the samples holding 251 depth first for a
//   walk reaching depth = extent; the first one found in neighbour order
//   becomes 255, every branch tried and failed becomes 0, and samples it never
//   reached stay 251, so a later chain's path may run through them.
// The start itself becomes 0 (erased) or 255 (kept); whatever still holds 251
// at the end becomes 0.
//
// The walks are as deep as the longest chain (up to the full width or height),
// so they run on one explicit stack of frames, reused for every start. Each
// sample is claimed, erased and searched at most once: linear time.
//
// The event pump is offered before every row of the passes over the whole
// plane, before every column (row) of the scan for starts, and inside a walk
// after every kStepsPerPause steps, so that a chain as large as the picture
// does not hold the window up either. A pump that throws leaves the plane as
// far as the filter got.
#include "filters/chain_filter.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "core/pixel_loop.h"

namespace vexo {

namespace {

constexpr uint8_t kUnclaimed = 250;
constexpr uint8_t kClaimed = 251;
constexpr uint8_t kKept = 255;

// Steps of the walks between two offers of the event pump: well under a
// millisecond of work.
constexpr uint32_t kStepsPerPause = uint32_t(1) << 14;

struct Frame {
    int32_t x;
    int32_t y;
    int32_t next;   // the forward neighbour to try next, 0..3
    int32_t depth;  // the start has depth 1
};

template <bool Horizontal>
class ChainWalker {
public:
    ChainWalker(GrayPlane& plane, const EventPump& pump)
        : data_(plane.begin()), width_(plane.width), height_(plane.height), pauses_(pump, kStepsPerPause) {
        // One frame per column (row) that a walk can cover.
        stack_.reserve(std::size_t(Horizontal ? width_ : height_));
    }

    void Run(int32_t minimumLength) {
        for (int y = 0; y < height_; ++y) {
            pauses_.Pause();
            MarkUnclaimed(data_ + std::size_t(y) * std::size_t(width_), width_);
        }
        if (Horizontal) {
            ScanColumns(minimumLength);
        } else {
            for (int y = 0; y < height_; ++y) {
                pauses_.Pause();
                uint8_t* row = data_ + std::size_t(y) * std::size_t(width_);
                for (int x = NextUnclaimed(row, 0, width_); x < width_; x = NextUnclaimed(row, x + 1, width_))
                    FilterChain(x, y, minimumLength);
            }
        }
        for (int y = 0; y < height_; ++y) {
            pauses_.Pause();
            EraseClaimed(data_ + std::size_t(y) * std::size_t(width_), width_);
        }
    }

private:
    VEXO_PIXEL_LOOP static void MarkUnclaimed(uint8_t* row, int width) {
        for (int x = 0; x < width; ++x) row[x] = row[x] != 0 ? kUnclaimed : uint8_t(0);
    }

    VEXO_PIXEL_LOOP static void EraseClaimed(uint8_t* row, int width) {
        for (int x = 0; x < width; ++x) row[x] = row[x] == kClaimed ? uint8_t(0) : row[x];
    }

    // The first x from `x` on whose sample holds 250, or width.
    VEXO_PIXEL_LOOP static int NextUnclaimed(const uint8_t* row, int x, int width) {
        while (x < width && row[x] != kUnclaimed) ++x;
        return x;
    }

    // The column-by-column scan of the horizontal filter. Reading a row-major
    // plane down its columns touches a new page at nearly every sample, so the
    // columns go in bands of 64: one pass down the band notes, for every row,
    // which of its 64 samples hold 250, and each column of the band then visits
    // only the noted rows, top to bottom. A sample never becomes 250 again, so
    // the notes cover every start; each noted sample is checked again when the
    // scan reaches it, as an earlier chain may have claimed it since.
    void ScanColumns(int32_t minimumLength) {
        struct Candidates {
            int32_t y;
            uint64_t columns;  // bit c: sample (x0 + c, y) held 250
        };
        constexpr int kBand = 64;
        constexpr int kAhead = 16;  // rows fetched ahead of the band pass
        std::vector<Candidates> rows;
        rows.reserve(std::size_t(height_));
        for (int x0 = 0; x0 < width_; x0 += kBand) {
            pauses_.Pause();
            const int band = std::min(kBand, width_ - x0);
            rows.clear();
            for (int y = 0; y < height_; ++y) {
                if (y + kAhead < height_) __builtin_prefetch(&At(x0, y + kAhead));
                const uint64_t columns = UnclaimedMask(&At(x0, y), band);
                if (columns != 0) rows.push_back({y, columns});
            }
            for (int c = 0; c < band; ++c) {
                pauses_.Pause();
                for (const Candidates& row : rows) {
                    if ((row.columns >> c & 1u) != 0 && At(x0 + c, row.y) == kUnclaimed) {
                        FilterChain(x0 + c, row.y, minimumLength);
                    }
                }
            }
        }
    }

    // Bit i set when samples[i] holds 250, for the first `count` (at most 64).
    static uint64_t UnclaimedMask(const uint8_t* samples, int count) {
        uint64_t mask = 0;
        int i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Eight samples at a time: a byte of x is zero exactly where the
            // sample is 250, and its flag bit moves to bit 56 + byte by the
            // multiplication (the partial products never overlap).
            constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
            for (; i + 8 <= count; i += 8) {
                uint64_t word;
                std::memcpy(&word, samples + i, sizeof word);
                const uint64_t x = word ^ 0xFAFAFAFAFAFAFAFAull;
                const uint64_t zeroBytes = ~(((x & kLow7) + kLow7) | x | kLow7);
                mask |= (((zeroBytes >> 7) * 0x0102040810204080ull) >> 56) << i;
            }
        }
        for (; i < count; ++i) mask |= uint64_t(samples[i] == kUnclaimed) << i;
        return mask;
    }

    uint8_t& At(int x, int y) { return data_[std::size_t(y) * std::size_t(width_) + std::size_t(x)]; }

    // Forward neighbour k (0..2) of (x, y): false when it lies outside the plane.
    bool Neighbour(int x, int y, int k, int& nx, int& ny) const {
        if (Horizontal) {
            nx = x + 1;
            ny = y - 1 + k;
            return nx < width_ && ny >= 0 && ny < height_;
        }
        nx = x - 1 + k;
        ny = y + 1;
        return ny < height_ && nx >= 0 && nx < width_;
    }

    void FilterChain(int x, int y, int32_t minimumLength) {
        const int32_t extent = MeasureChain(x, y);
        if (extent < minimumLength) {
            EraseChain(x, y);
            At(x, y) = 0;
        } else {
            TracePath(x, y, extent);
            At(x, y) = kKept;
        }
    }

    // Depth-first walk from (x, y) through the forward neighbours holding
    // `follow`, in neighbour order. `returned(frame, inner)` runs for every
    // sample once its own walk is done; `inner` is false only for the start.
    template <typename Returned>
    void Walk(int x, int y, uint8_t follow, Returned&& returned) {
        stack_.clear();
        stack_.push_back({x, y, 0, 1});
        while (!stack_.empty()) {
            pauses_.Step();
            Frame& frame = stack_.back();
            if (frame.next < 3) {
                int nx, ny;
                const int k = frame.next++;
                if (Neighbour(frame.x, frame.y, k, nx, ny) && At(nx, ny) == follow)
                    stack_.push_back({nx, ny, 0, frame.depth + 1});
                continue;
            }
            const Frame done = frame;
            stack_.pop_back();
            returned(done, !stack_.empty());
        }
    }

    // Claims the chain from (x, y) and returns its extent. The start is not
    // marked; every other sample becomes 251 once its walk returns.
    int32_t MeasureChain(int x, int y) {
        int32_t extent = 0;
        Walk(x, y, kUnclaimed, [&](const Frame& done, bool inner) {
            extent = std::max(extent, done.depth);
            if (inner) At(done.x, done.y) = kClaimed;
        });
        return extent;
    }

    // Erases the claimed samples reachable from (x, y), each after its own walk.
    void EraseChain(int x, int y) {
        Walk(x, y, kClaimed, [&](const Frame& done, bool inner) {
            if (inner) At(done.x, done.y) = 0;
        });
    }

    // Marks the first walk through claimed samples that reaches depth
    // `target` as 255 (the start excepted) and every branch that failed as 0.
    void TracePath(int x, int y, int32_t target) {
        if (target <= 1) return;  // the start alone reaches the target
        stack_.clear();
        stack_.push_back({x, y, 0, 1});
        while (!stack_.empty()) {
            pauses_.Step();
            Frame& frame = stack_.back();
            if (frame.next < 3) {
                int nx, ny;
                const int k = frame.next++;
                if (Neighbour(frame.x, frame.y, k, nx, ny) && At(nx, ny) == kClaimed) {
                    const int32_t depth = frame.depth + 1;
                    if (depth >= target) {
                        // Found: every sample on the way back becomes part of the path.
                        At(nx, ny) = kKept;
                        for (std::size_t i = 1; i < stack_.size(); ++i) At(stack_[i].x, stack_[i].y) = kKept;
                        return;
                    }
                    stack_.push_back({nx, ny, 0, depth});
                }
                continue;
            }
            // Every neighbour tried without reaching the target: a dead end.
            const Frame done = frame;
            stack_.pop_back();
            if (!stack_.empty()) At(done.x, done.y) = 0;
        }
    }

    uint8_t* data_;
    int width_;
    int height_;
    PauseCounter pauses_;  // a pause before every row or column, a step per walk step
    std::vector<Frame> stack_;
};

template <bool Horizontal>
void RunFilter(GrayPlane& plane, int32_t minimumLength, const EventPump& pump) {
    if (!plane || plane.width <= 0 || plane.height <= 0) return;
    ChainWalker<Horizontal> walker(plane, pump);
    walker.Run(minimumLength);
}

}  // namespace

void ChainFilterHorizontal(GrayPlane& plane, int32_t minimumLength, const EventPump& pump) {
    RunFilter<true>(plane, minimumLength, pump);
}

void ChainFilterVertical(GrayPlane& plane, int32_t minimumLength, const EventPump& pump) {
    RunFilter<false>(plane, minimumLength, pump);
}

}  // namespace vexo
