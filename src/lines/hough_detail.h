// The stages of the Hough line transforms, exposed so that tests can check
// each against its straightforward form: voting, threshold, peak search.
//
// The vote table has n x n unsigned 16-bit counters, counter (k, r) at
// k * n + r, where n is the greater side of the source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/plane.h"
#include "core/work_hooks.h"

namespace vexo::hough_detail {

enum class HoughDirection { Horizontal, Vertical };

// Half the side of the square peak window.
inline constexpr int32_t kHorizontalRadius = 15;
inline constexpr int32_t kVerticalRadius = 20;

inline int32_t PeakRadius(HoughDirection direction) {
    return direction == HoughDirection::Horizontal ? kHorizontalRadius : kVerticalRadius;
}

// Adds every vote of the source to the table (which the caller has zeroed).
// n must be max(width, height) of the source. threads is the number of
// threads that share the rows of the table; 0 chooses by the amount of work.
// The counts never depend on the thread count. `pause` is offered on the
// calling thread between pieces of the work, also while it waits for the
// helper threads; when it throws, the helpers stop and are joined before the
// exception leaves, and the table holds part of the votes.
void VoteTable(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n, int threads,
               const EventPump& pause = {});

// The same votes, one double division per vote. Used for sides beyond the
// exact integer path, and when the working lists cannot be obtained. `pause`
// is offered after each edge sample's votes.
void VoteTableDirect(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n,
                     const EventPump& pause = {});

// Every counter below the threshold (a signed 32-bit comparison) becomes 0.
void ApplyThreshold(uint16_t* table, std::size_t count, int32_t threshold);

using PeakSink = std::function<void(int32_t k, int32_t r)>;

// Scans k, then r, over radius..n-1-radius. A nonzero counter that equals the
// largest counter of its (2 radius + 1)^2 window is a peak: it becomes n
// (stored in 16 bits) and is passed to the sink, in scan order. The table
// must hold counts below n. `pause` is offered before each row k.
void FindPeaks(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink, const EventPump& pause = {});

// The same search scanning each window directly (no working rows).
void FindPeaksDirect(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink,
                     const EventPump& pause = {});

}  // namespace vexo::hough_detail
