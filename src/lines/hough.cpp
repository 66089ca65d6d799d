// Hough line transforms: straight lines that cross the whole edge picture.
//
// A line is named by where it meets two opposite edges. Horizontal: k is its
// row at column 0, r its row at the last column. Vertical: k is its column at
// row 0, r its column at row n - 1, where n = max(width, height) (for a
// picture wider than high that row lies below the picture).
//
// Every edge sample (nonzero) votes once for each k: for the horizontal
// transform the sample (x, y), x >= 1, votes for r = v rounded to nearest,
// halves to even, where t = (y - k)(width - 1) is a wrapping signed 32-bit
// product and v = t / x + k in double precision. The vertical transform uses
// samples with y >= 1 and t = (x - k)(n - 1), v = t / y + k. Votes with r
// outside 0..n-1 are dropped. Counters below the threshold become 0; then
// every counter that equals the largest of its window (radius 15 / 20) is a
// peak, scanned by k then r, and becomes n so that it wins over equal counts
// that come later. Peaks whose both ends lie inside the picture are drawn with
// mark 100 and appended to the line list in scan order.
//
// Exact integer voting. For the horizontal sample (x, y) the vote value is the
// rational v = (y(W-1) - k(W-1-x)) / x, with a numerator linear in k. For
// sides up to 16384 the double quotient is within 2^-23 of it, while a value
// that is not a half lies at least 1/(2x) from one, and an exact half (and
// every step towards it) is representable; so the double rule rounds exactly
// as round-half-even of the rational. The voting loop therefore keeps, per
// sample, the floor quotient and remainder of (2 * numerator + x) / (2x) and
// steps them from k to k + 1 with additions only. The vertical transform is
// the same with (n - 1) and y.
#include "lines/hough.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "core/arithmetic.h"
#include "core/errors.h"
#include "core/image_state.h"
#include "lines/hough_detail.h"

namespace vexo {
namespace hough_detail {

namespace {

// Sides up to this value take the exact integer path (see above).
constexpr int32_t kExactSideLimit = kMaxPictureSide;

// Below this many votes a second thread costs more than it saves.
constexpr std::size_t kVotesPerExtraThread = std::size_t(1) << 22;

// Rows of the table that one pass of the voting loop keeps hot in the cache.
constexpr std::size_t kBlockBytes = std::size_t(256) << 10;
constexpr int32_t kMaxBlockRows = 64;

// All samples of one group share the divisor (x for the horizontal
// transform, y for the vertical) and the numerator step per k.
struct SampleGroup {
    int32_t divisor;  // D >= 1
    int32_t step;     // B >= 0: the numerator falls by B per k
    uint32_t begin;   // range in SampleList::offsets
    uint32_t end;
};

// The numerator at k = 0 of each sample is offset * scale.
struct SampleList {
    std::unique_ptr<SampleGroup[]> groups;
    uint32_t groupCount = 0;
    std::unique_ptr<uint16_t[]> offsets;
    uint32_t count = 0;
    int32_t scale = 0;
};

// floor(M / E) and M - E * floor(M / E) for M = 2 * numerator + D, E = 2D;
// the nearest integer to numerator / D is the quotient, except that an exact
// half (remainder 0) goes to the even neighbour.
struct VoteState {
    int32_t quotient;
    int32_t remainder;
};

// Gathers the edge samples grouped by divisor, in an order where consecutive
// samples of a group vote for different counters of the same row. False when
// the lists cannot be obtained.
bool CollectSamples(const GrayPlane& source, HoughDirection direction, int32_t n, SampleList& list) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    if (direction == HoughDirection::Horizontal) {
        // Groups are the columns 1..width-1; within one, rows ascend.
        list.scale = width - 1;
        std::unique_ptr<uint32_t[]> perColumn(new (std::nothrow) uint32_t[std::size_t(width)]());
        if (!perColumn) return false;
        uint64_t total = 0;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source.row(y);
            for (int32_t x = 1; x < width; ++x) perColumn[x] += row[x] != 0;
        }
        uint32_t groups = 0;
        for (int32_t x = 1; x < width; ++x) {
            total += perColumn[x];
            groups += perColumn[x] != 0;
        }
        list.count = static_cast<uint32_t>(total);
        list.groupCount = groups;
        list.groups.reset(new (std::nothrow) SampleGroup[std::max<uint32_t>(groups, 1)]);
        list.offsets.reset(new (std::nothrow) uint16_t[std::max<uint64_t>(total, 1)]);
        if (!list.groups || !list.offsets) return false;
        // perColumn becomes the next free slot of each column.
        uint32_t next = 0;
        uint32_t g = 0;
        for (int32_t x = 1; x < width; ++x) {
            const uint32_t c = perColumn[x];
            if (c != 0) list.groups[g++] = {x, width - 1 - x, next, next + c};
            perColumn[x] = next;
            next += c;
        }
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source.row(y);
            for (int32_t x = 1; x < width; ++x)
                if (row[x] != 0) list.offsets[perColumn[x]++] = static_cast<uint16_t>(y);
        }
        return true;
    }
    // Vertical: groups are the rows 1..height-1; within one, columns ascend.
    list.scale = n - 1;
    uint64_t total = 0;
    uint32_t groups = 0;
    for (int32_t y = 1; y < height; ++y) {
        const uint8_t* row = source.row(y);
        uint32_t c = 0;
        for (int32_t x = 0; x < width; ++x) c += row[x] != 0;
        total += c;
        groups += c != 0;
    }
    list.count = static_cast<uint32_t>(total);
    list.groupCount = groups;
    list.groups.reset(new (std::nothrow) SampleGroup[std::max<uint32_t>(groups, 1)]);
    list.offsets.reset(new (std::nothrow) uint16_t[std::max<uint64_t>(total, 1)]);
    if (!list.groups || !list.offsets) return false;
    uint32_t next = 0;
    uint32_t g = 0;
    for (int32_t y = 1; y < height; ++y) {
        const uint8_t* row = source.row(y);
        const uint32_t begin = next;
        for (int32_t x = 0; x < width; ++x)
            if (row[x] != 0) list.offsets[next++] = static_cast<uint16_t>(x);
        if (next != begin) list.groups[g++] = {y, n - 1 - y, begin, next};
    }
    return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Votes of every sample for rows kBegin..kEnd-1 of the table. state has one
// entry per sample and is used as scratch.
void VoteRows(const SampleList& list, uint16_t* table, int32_t n, int32_t kBegin, int32_t kEnd, VoteState* state) {
    if (kBegin >= kEnd) return;
    for (uint32_t g = 0; g < list.groupCount; ++g) {
        const SampleGroup& group = list.groups[g];
        const int64_t e = 2 * int64_t(group.divisor);
        for (uint32_t i = group.begin; i < group.end; ++i) {
            const int64_t numerator = int64_t(list.offsets[i]) * list.scale - int64_t(kBegin) * group.step;
            const int64_t m = 2 * numerator + group.divisor;
            const int64_t q = FloorDiv(m, e);
            state[i] = {static_cast<int32_t>(q), static_cast<int32_t>(m - q * e)};
        }
    }
    const int32_t blockRows = static_cast<int32_t>(
        std::clamp<std::size_t>(kBlockBytes / (2 * std::size_t(n)), 1, kMaxBlockRows));
    const uint32_t un = static_cast<uint32_t>(n);
    for (int32_t k0 = kBegin; k0 < kEnd; k0 += blockRows) {
        const int32_t rows = std::min(blockRows, kEnd - k0);
        uint16_t* const block = table + std::size_t(k0) * std::size_t(n);
        for (uint32_t g = 0; g < list.groupCount; ++g) {
            const SampleGroup& group = list.groups[g];
            const int32_t e = 2 * group.divisor;
            // The quotient and remainder of the numerator step 2B by E.
            const int32_t stepQuotient = group.step / group.divisor;
            const int32_t stepRemainder = 2 * (group.step % group.divisor);
            for (uint32_t i = group.begin; i < group.end; ++i) {
                int32_t q = state[i].quotient;
                int32_t rem = state[i].remainder;
                uint16_t* row = block;
                for (int32_t j = 0; j < rows; ++j) {
                    const int32_t r = q - ((rem == 0) & (q & 1));
                    if (static_cast<uint32_t>(r) < un) ++row[r];
                    row += n;
                    q -= stepQuotient;
                    rem -= stepRemainder;
                    const int32_t borrow = rem >> 31;  // -1 when the remainder went negative
                    rem += borrow & e;
                    q += borrow;
                }
                state[i] = {q, rem};
            }
        }
    }
}

// The sliding maximum of `values` over windows of 2 radius + 1, for the
// centres radius..n-1-radius (van Herk / Gil-Werman: block prefix and suffix
// maxima). prefix and suffix are scratch rows of n.
void WindowMaxRow(const uint16_t* values, int32_t n, int32_t radius, uint16_t* prefix, uint16_t* suffix,
                  uint16_t* out) {
    const int32_t w = 2 * radius + 1;
    for (int32_t i = 0; i < n; ++i) prefix[i] = (i % w == 0) ? values[i] : std::max(prefix[i - 1], values[i]);
    for (int32_t i = n - 1; i >= 0; --i)
        suffix[i] = (i % w == w - 1 || i == n - 1) ? values[i] : std::max(suffix[i + 1], values[i]);
    for (int32_t c = radius; c <= n - 1 - radius; ++c) out[c] = std::max(suffix[c - radius], prefix[c + radius]);
}

int ThreadsFor(std::size_t votes) {
    if (votes < 2 * kVotesPerExtraThread) return 1;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware >= 2 ? 2 : 1;
}

}  // namespace

void VoteTableDirect(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    const bool horizontal = direction == HoughDirection::Horizontal;
    const int32_t scale = horizontal ? width - 1 : n - 1;
    for (int32_t y = horizontal ? 0 : 1; y < height; ++y) {
        const uint8_t* row = source.row(y);
        for (int32_t x = horizontal ? 1 : 0; x < width; ++x) {
            if (row[x] == 0) continue;
            const int32_t along = horizontal ? y : x;
            const double divisor = horizontal ? double(x) : double(y);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t t = Mul32(along - k, scale);
                const double r = RoundHalfEven(double(t) / divisor + double(k));
                if (r >= 0.0 && r < double(n))
                    ++table[std::size_t(k) * std::size_t(n) + static_cast<std::size_t>(r)];
            }
        }
    }
}

void VoteTable(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n, int threads) {
    if (!source || source.width <= 0 || source.height <= 0 || n <= 0) return;
    if (n > kExactSideLimit) {
        VoteTableDirect(source, direction, table, n);
        return;
    }
    SampleList list;
    if (!CollectSamples(source, direction, n, list)) {
        VoteTableDirect(source, direction, table, n);
        return;
    }
    if (list.count == 0) return;
    if (threads <= 0) threads = ThreadsFor(std::size_t(list.count) * std::size_t(n));
    threads = std::min(threads, n);

    // Each thread owns a band of rows of the table and its own sample states.
    std::unique_ptr<VoteState[]> states(new (std::nothrow) VoteState[std::size_t(list.count) * threads]);
    if (!states && threads > 1) {
        threads = 1;
        states.reset(new (std::nothrow) VoteState[list.count]);
    }
    if (!states) {
        VoteTableDirect(source, direction, table, n);
        return;
    }
    auto band = [&](int t) {
        const int32_t kBegin = static_cast<int32_t>(int64_t(n) * t / threads);
        const int32_t kEnd = static_cast<int32_t>(int64_t(n) * (t + 1) / threads);
        VoteRows(list, table, n, kBegin, kEnd, states.get() + std::size_t(list.count) * t);
    };
    std::vector<std::thread> workers;
    std::vector<int> inlineBands;
    for (int t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(band, t);
        } catch (...) {
            inlineBands.push_back(t);  // no thread to be had: this one does the band
        }
    }
    band(0);
    for (int t : inlineBands) band(t);
    for (std::thread& worker : workers) worker.join();
}

void ApplyThreshold(uint16_t* table, std::size_t count, int32_t threshold) {
    if (threshold <= 0) return;
    if (threshold > 65535) {
        std::fill(table, table + count, uint16_t(0));
        return;
    }
    const uint16_t limit = static_cast<uint16_t>(threshold);
    for (std::size_t i = 0; i < count; ++i)
        if (table[i] < limit) table[i] = 0;
}

void FindPeaksDirect(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink) {
    const uint16_t marker = static_cast<uint16_t>(n);
    for (int32_t k = radius; k <= n - 1 - radius; ++k) {
        for (int32_t r = radius; r <= n - 1 - radius; ++r) {
            uint16_t& cell = table[std::size_t(k) * std::size_t(n) + std::size_t(r)];
            const uint16_t q = cell;
            if (q == 0) continue;
            // A larger counter anywhere in the window rules the cell out.
            bool peak = true;
            for (int32_t i = k - radius; peak && i <= k + radius; ++i) {
                const uint16_t* row = table + std::size_t(i) * std::size_t(n);
                for (int32_t j = r - radius; j <= r + radius; ++j) {
                    if (row[j] > q) {
                        peak = false;
                        break;
                    }
                }
            }
            if (!peak) continue;
            cell = marker;
            sink(k, r);
        }
    }
}

// Equivalent to the direct scan when every count is below n: a cell whose
// window holds an earlier peak sees n there and loses; otherwise its window
// holds the thresholded counts, so it is a peak exactly when no count of the
// window exceeds its own. The window maxima come from per-row sliding maxima
// of the thresholded counts, kept for the 2 radius + 1 rows around k; the
// earlier peaks from, per column, the last row that a peak's window reaches.
void FindPeaks(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink) {
    if (n <= 2 * radius) return;
    if (n > 65535) {
        // The peak mark n no longer exceeds every count in 16 bits.
        FindPeaksDirect(table, n, radius, sink);
        return;
    }
    const int32_t w = 2 * radius + 1;
    const std::size_t un = std::size_t(n);
    std::unique_ptr<uint16_t[]> rowMax(new (std::nothrow) uint16_t[un * (w + 2)]);
    std::unique_ptr<int32_t[]> reachedRow(new (std::nothrow) int32_t[un]);
    if (!rowMax || !reachedRow) {
        FindPeaksDirect(table, n, radius, sink);
        return;
    }
    uint16_t* const prefix = rowMax.get() + un * w;
    uint16_t* const suffix = prefix + un;
    auto maxRow = [&](int32_t i) { return rowMax.get() + std::size_t(i % w) * un; };
    for (int32_t i = 0; i < w - 1; ++i) WindowMaxRow(table + std::size_t(i) * un, n, radius, prefix, suffix, maxRow(i));
    std::fill(reachedRow.get(), reachedRow.get() + n, -1);
    const uint16_t marker = static_cast<uint16_t>(n);

    for (int32_t k = radius; k <= n - 1 - radius; ++k) {
        // Row k + radius enters the window rows, replacing row k - radius - 1;
        // it has no peak yet, so its sliding maxima are of plain counts.
        const int32_t entering = k + radius;
        WindowMaxRow(table + std::size_t(entering) * un, n, radius, prefix, suffix, maxRow(entering));
        uint16_t* const row = table + std::size_t(k) * un;
        const uint16_t* const own = maxRow(k);
        for (int32_t r = radius; r <= n - 1 - radius; ++r) {
            const uint16_t q = row[r];
            if (q == 0 || q != own[r] || reachedRow[r] >= k) continue;
            bool peak = true;
            for (int32_t i = k - radius; i <= k + radius; ++i) {
                if (maxRow(i)[r] > q) {
                    peak = false;
                    break;
                }
            }
            if (!peak) continue;
            row[r] = marker;
            for (int32_t c = r - radius; c <= r + radius; ++c) reachedRow[c] = k + radius;
            sink(k, r);
        }
    }
}

}  // namespace hough_detail

namespace {

using hough_detail::HoughDirection;

void RunHough(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
              ProgressBar& progress, HoughDirection direction) {
    const int32_t radius = hough_detail::PeakRadius(direction);
    const bool usable = source && source.width > 0 && source.height > 0;
    const int32_t width = source.width;
    const int32_t height = source.height;
    const int32_t n = usable ? std::max(width, height) : 0;
    if (n <= 2 * radius) {
        // No cell of the table is far enough from its border to be a peak.
        progress.Step();
        progress.Step();
        progress.Step();
        return;
    }
    const std::size_t cells = std::size_t(n) * std::size_t(n);
    std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[cells]);
    CheckAllocation(table.get());
    std::fill(table.get(), table.get() + cells, uint16_t(0));

    hough_detail::VoteTable(source, direction, table.get(), n, 0);
    progress.Step();
    hough_detail::ApplyThreshold(table.get(), cells, threshold);

    const bool horizontal = direction == HoughDirection::Horizontal;
    hough_detail::FindPeaks(table.get(), n, radius, [&](int32_t k, int32_t r) {
        if (horizontal) {
            if (k >= height || r >= height) return;
            if (marks) DrawLine(0, k, width - 1, r, marks, kMarkGreen);
            AddLine(lines, kAppendHorizontal, k, r);
        } else {
            if (k >= width || r >= width) return;
            if (marks) DrawLine(k, 0, r, n - 1, marks, kMarkGreen);
            AddLine(lines, kAppendVertical, k, r);
        }
    });
    progress.Step();
    progress.Step();
}

}  // namespace

void HoughHorizontal(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                     ProgressBar& progress) {
    RunHough(source, marks, threshold, lines, progress, HoughDirection::Horizontal);
}

void HoughVertical(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                   ProgressBar& progress) {
    RunHough(source, marks, threshold, lines, progress, HoughDirection::Vertical);
}

}  // namespace vexo
