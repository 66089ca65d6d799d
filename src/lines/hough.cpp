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
// as round-half-even of the rational. The nearest integer to N / D is
// floor(M / E) with M = 2N + D and E = 2D, except that M divisible by E is an
// exact half and goes to the even neighbour. M falls by 2(W-1-x) per k, so the
// k for which the vote lands inside the table form one interval, found once
// per sample; within it M stays in 0..2^31 and floor(M / E) comes from a
// multiplication by a 64-bit reciprocal of E, exact for 32-bit M, whose low
// half also tells whether E divides M. The vertical transform is the same with
// (n - 1) and y.
#include "lines/hough.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <exception>
#include <thread>
#include <vector>

#include "core/arithmetic.h"
#include "core/errors.h"
#include "core/pixel_loop.h"
#include "core/plane.h"
#include "core/work_threads.h"
#include "lines/hough_detail.h"

namespace vexo {
namespace hough_detail {

namespace {

// Sides up to this value take the exact integer path (see above).
constexpr int32_t kExactSideLimit = kMaxPictureSide;

// Below this many votes a second thread costs more than it saves.
constexpr std::size_t kVotesPerExtraThread = std::size_t(1) << 22;

// Rows of the table that one pass of the voting loop keeps hot in the cache.
constexpr std::size_t kBlockBytes = std::size_t(512) << 10;
constexpr int32_t kMaxBlockRows = 64;

// Samples that one piece of a block's voting covers at least, whole groups
// taken: at most 64 votes each, well under a millisecond of work.
constexpr uint32_t kSliceSamples = uint32_t(1) << 12;

// How long the calling thread waits for the helpers between two pauses.
constexpr std::chrono::milliseconds kHelperWait{10};

void Offer(const EventPump& pause) {
    if (pause) pause();
}

// All samples of one group share the divisor D (x for the horizontal
// transform, y for the vertical) and the numerator step B per k.
struct SampleGroup {
    int32_t divisor;      // D >= 1
    int32_t step;         // B >= 0: the numerator falls by B per k
    uint64_t reciprocal;  // 2^64 / E rounded up, E = 2D
    uint32_t begin;       // range in SampleList::samples
    uint32_t end;
};

// One edge sample: M at k = 0 and the k whose votes land inside the table.
struct Sample {
    uint32_t m0 : 31;     // below 2^30
    uint32_t halves : 1;  // whether E divides M for some k
    int32_t first;        // votes for first <= k < last
    int32_t last;
};

struct SampleList {
    std::unique_ptr<SampleGroup[]> groups;
    uint32_t groupCount = 0;
    std::unique_ptr<Sample[]> samples;
    uint32_t count = 0;
};

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The sample whose numerator at k = 0 is `numerator` (>= 0). Its vote is
// inside the table exactly when 0 <= M < U, where U = nE, plus one when n is
// odd (M = nE is then the half n - 1/2, which goes to n - 1).
Sample MakeSample(int64_t numerator, int32_t divisor, int32_t step, int32_t n) {
    const int64_t m0 = 2 * numerator + divisor;
    const int64_t s = 2 * int64_t(step);
    const int64_t limit = int64_t(n) * 2 * divisor + (n & 1);
    int64_t first = 0;
    int64_t last = 0;
    if (s == 0) {
        last = m0 < limit ? n : 0;
    } else {
        last = std::min<int64_t>(n, m0 / s + 1);
        first = std::max<int64_t>(0, FloorDiv(m0 - limit, s) + 1);
    }
    if (first > last) first = last;
    // M(k) = m0 - k s is a multiple of E for some k exactly when gcd(s, E)
    // divides m0. Never for an odd divisor: M is then odd.
    const bool halves = m0 % std::gcd(s, 2 * int64_t(divisor)) == 0;
    return {static_cast<uint32_t>(m0), halves, static_cast<int32_t>(first), static_cast<int32_t>(last)};
}

SampleGroup MakeGroup(int32_t divisor, int32_t step, uint32_t begin) {
    const uint64_t e = 2 * uint64_t(divisor);
    return {divisor, step, UINT64_MAX / e + 1, begin, begin};
}

// Counts the edge samples of row y into their groups: the column of each
// (horizontal, from column 1 on), or the row (vertical).
VEXO_PIXEL_LOOP void CountRow(const uint8_t* row, int32_t width, int32_t y, bool horizontal, uint32_t* perGroup) {
    if (horizontal) {
        for (int32_t x = 1; x < width; ++x) perGroup[x] += row[x] != 0;
    } else {
        uint32_t count = 0;
        for (int32_t x = 0; x < width; ++x) count += row[x] != 0;
        perGroup[y] += count;
    }
}

// The first column from x on that holds an edge sample, or width.
VEXO_PIXEL_LOOP int32_t NextSample(const uint8_t* row, int32_t x, int32_t width) {
    while (x < width && row[x] == 0) ++x;
    return x;
}

// Gathers the edge samples grouped by divisor, in an order where consecutive
// samples of a group vote for different counters of the same row. Samples
// without a vote inside the table are left out. False when the lists cannot
// be obtained. The pause is offered before each row of both passes.
bool CollectSamples(const GrayPlane& source, HoughDirection direction, int32_t n, SampleList& list,
                    const EventPump& pause) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    const bool horizontal = direction == HoughDirection::Horizontal;
    // Horizontal: groups are the columns 1..width-1, rows ascending within
    // one. Vertical: groups are the rows 1..height-1, columns ascending.
    const int32_t groupsMax = horizontal ? width : height;
    std::unique_ptr<uint32_t[]> perGroup(new (std::nothrow) uint32_t[std::size_t(groupsMax)]());
    if (!perGroup) return false;
    for (int32_t y = horizontal ? 0 : 1; y < height; ++y) {
        Offer(pause);
        CountRow(source.row(y), width, y, horizontal, perGroup.get());
    }
    uint64_t total = 0;
    uint32_t groups = 0;
    for (int32_t g = 1; g < groupsMax; ++g) {
        total += perGroup[g];
        groups += perGroup[g] != 0;
    }
    list.groups.reset(new (std::nothrow) SampleGroup[std::max<uint32_t>(groups, 1)]);
    list.samples.reset(new (std::nothrow) Sample[std::max<uint64_t>(total, 1)]);
    if (!list.groups || !list.samples) return false;

    // perGroup becomes the next free slot of each group.
    const int32_t scale = horizontal ? width - 1 : n - 1;
    uint32_t next = 0;
    for (int32_t g = 1; g < groupsMax; ++g) {
        const uint32_t c = perGroup[g];
        perGroup[g] = next;
        next += c;
    }
    for (int32_t y = horizontal ? 0 : 1; y < height; ++y) {
        Offer(pause);
        const uint8_t* row = source.row(y);
        for (int32_t x = NextSample(row, horizontal ? 1 : 0, width); x < width; x = NextSample(row, x + 1, width)) {
            const int32_t g = horizontal ? x : y;
            const int32_t along = horizontal ? y : x;
            list.samples[perGroup[g]++] = MakeSample(int64_t(along) * scale, g, scale - g, n);
        }
    }
    // Close the groups, dropping the samples that never vote inside.
    uint32_t kept = 0;
    uint32_t read = 0;
    for (int32_t g = 1; g < groupsMax; ++g) {
        const uint32_t end = perGroup[g];
        if (end == read) continue;
        SampleGroup group = MakeGroup(g, scale - g, kept);
        for (; read < end; ++read)
            if (list.samples[read].first < list.samples[read].last) list.samples[kept++] = list.samples[read];
        group.end = kept;
        if (group.end != group.begin) list.groups[list.groupCount++] = group;
    }
    list.count = kept;
    return true;
}

// floor(m / E) for m < 2^32, with c = ceil(2^64 / E): the high half of c * m.
// The low half is below c exactly when E divides m; that is an exact half,
// which goes to the even neighbour. kHalves false: E never divides m.
template <bool kHalves>
inline uint64_t QuotientHalfEven(uint64_t m, uint64_t c, [[maybe_unused]] uint64_t e) {
    uint64_t low;
    uint64_t quotient;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    // One multiplication giving both halves; the compilers' 128-bit product
    // costs this loop a round trip through memory.
    asm("mulq %[c]" : "=a"(low), "=d"(quotient) : "a"(m), [c] "r"(c) : "cc");
#elif defined(__SIZEOF_INT128__)
    const unsigned __int128 product = static_cast<unsigned __int128>(c) * m;
    low = static_cast<uint64_t>(product);
    quotient = static_cast<uint64_t>(product >> 64);
#else
    quotient = m / e;
    low = m % e == 0 ? 0 : c;
#endif
    if (kHalves && low < c) quotient &= ~uint64_t(1);
    return quotient;
}

// One sample's votes for the rows from `row` up to `end`, M starting at m and
// falling by s per row; c is the reciprocal of E.
template <bool kHalves>
inline void VoteRun(uint16_t* row, uint16_t* const end, std::size_t rowLength, uint64_t m, uint64_t s, uint64_t c,
                    uint64_t e) {
    do {
        ++row[QuotientHalfEven<kHalves>(m, c, e)];
        row += rowLength;
        m -= s;
    } while (row != end);
}

// Rows of the table that one pass of every sample covers: together they stay
// in the cache while the samples pass through them.
int32_t BlockRows(int32_t n) {
    return static_cast<int32_t>(std::clamp<std::size_t>(kBlockBytes / (2 * std::size_t(n)), 1, kMaxBlockRows));
}

// Votes of the samples of groups gBegin..gEnd-1 for rows kBegin..kEnd-1 of
// the table.
VEXO_PIXEL_LOOP void VoteBlock(const SampleList& list, uint16_t* table, int32_t n, int32_t kBegin, int32_t kEnd, uint32_t gBegin,
               uint32_t gEnd) {
    const std::size_t rowLength = std::size_t(n);
    for (uint32_t g = gBegin; g < gEnd; ++g) {
        const SampleGroup& group = list.groups[g];
        const uint32_t s = 2 * static_cast<uint32_t>(group.step);
        const uint64_t c = group.reciprocal;
        const uint32_t e = 2 * static_cast<uint32_t>(group.divisor);
        for (uint32_t i = group.begin; i < group.end; ++i) {
            const Sample& sample = list.samples[i];
            const int32_t a = std::max(sample.first, kBegin);
            const int32_t b = std::min(sample.last, kEnd);
            if (a >= b) continue;
            uint16_t* const row = table + std::size_t(a) * rowLength;
            uint16_t* const end = table + std::size_t(b) * rowLength;
            const uint32_t m = sample.m0 - static_cast<uint32_t>(a) * s;
            if (sample.halves)
                VoteRun<true>(row, end, rowLength, m, s, c, e);
            else
                VoteRun<false>(row, end, rowLength, m, s, c, e);
        }
    }
}

// The sliding maximum of `values` over windows of 2 radius + 1, for the
// centres radius..n-1-radius (van Herk / Gil-Werman: block prefix and suffix
// maxima). prefix and suffix are scratch rows of n.
VEXO_PIXEL_LOOP void WindowMaxRow(const uint16_t* values, int32_t n, int32_t radius, uint16_t* prefix, uint16_t* suffix,
                  uint16_t* out) {
    const int32_t w = 2 * radius + 1;
    for (int32_t begin = 0; begin < n; begin += w) {
        const int32_t end = std::min(begin + w, n);
        uint16_t m = 0;
        for (int32_t i = begin; i < end; ++i) prefix[i] = m = std::max(m, values[i]);
        m = 0;
        for (int32_t i = end - 1; i >= begin; --i) suffix[i] = m = std::max(m, values[i]);
    }
    for (int32_t c = radius; c <= n - 1 - radius; ++c) out[c] = std::max(suffix[c - radius], prefix[c + radius]);
}

int ThreadsFor(uint64_t votes) {
    if (votes < 2 * kVotesPerExtraThread) return 1;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware >= 2 ? 2 : 1;
}

// The first group of every slice of the voting, then groupCount: slices of
// whole groups with at least kSliceSamples samples each (the last one may
// have fewer).
std::vector<uint32_t> Slices(const SampleList& list) {
    std::vector<uint32_t> starts{0};
    uint32_t samples = 0;
    for (uint32_t g = 0; g < list.groupCount; ++g) {
        samples += list.groups[g].end - list.groups[g].begin;
        if (samples >= kSliceSamples && g + 1 < list.groupCount) {
            starts.push_back(g + 1);
            samples = 0;
        }
    }
    starts.push_back(list.groupCount);
    return starts;
}

// The helper threads of the voting. They are told to stop (through `stop`)
// and are joined when the crew ends, whether the voting finished or a pause
// threw; what they run must outlive the crew.
class VotingCrew {
public:
    explicit VotingCrew(std::atomic<bool>& stop) : stop_(stop) {}
    VotingCrew(const VotingCrew&) = delete;
    VotingCrew& operator=(const VotingCrew&) = delete;
    ~VotingCrew() {
        stop_.store(true, std::memory_order_relaxed);
        for (std::thread& helper : helpers_) helper.join();
    }

    // Starts a helper running `work`, which must not throw; false when no
    // thread can be had.
    template <typename Work>
    bool Start(Work& work) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++running_;
        }
        try {
            helpers_.emplace_back([this, &work] {
                work();
                const std::lock_guard<std::mutex> lock(mutex_);
                --running_;
                done_.notify_one();
            });
        } catch (const std::exception&) {
            // No thread (or no room to keep it): the others share the work.
            const std::lock_guard<std::mutex> lock(mutex_);
            --running_;
            return false;
        }
        return true;
    }

    // Waits until every helper has finished its work, offering the pause in
    // between when there is one.
    void Finish(const EventPump& pause) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (running_ > 0) {
            if (!pause) {
                done_.wait(lock);
                continue;
            }
            done_.wait_for(lock, kHelperWait);
            lock.unlock();
            pause();
            lock.lock();
        }
    }

private:
    std::vector<std::thread> helpers_;
    std::atomic<bool>& stop_;
    std::mutex mutex_;
    std::condition_variable done_;
    int running_ = 0;
};

}  // namespace

VEXO_PIXEL_LOOP void VoteTableDirect(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n,
                                     const EventPump& pause) {
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
            Offer(pause);
        }
    }
}

void VoteTable(const GrayPlane& source, HoughDirection direction, uint16_t* table, int32_t n, int threads,
               const EventPump& pause) {
    if (!source || source.width <= 0 || source.height <= 0 || n <= 0) return;
    if (n > kExactSideLimit) {
        VoteTableDirect(source, direction, table, n, pause);
        return;
    }
    SampleList list;
    if (!CollectSamples(source, direction, n, list, pause)) {
        VoteTableDirect(source, direction, table, n, pause);
        return;
    }
    if (list.count == 0) return;

    uint64_t votes = 0;
    for (uint32_t i = 0; i < list.count; ++i) votes += uint64_t(list.samples[i].last - list.samples[i].first);
    const int32_t blockRows = BlockRows(n);
    const int32_t blocks = (n + blockRows - 1) / blockRows;
    if (threads <= 0) threads = ThreadsFor(votes);
    threads = std::clamp(threads, 1, blocks);

    const std::vector<uint32_t> slices = Slices(list);

    // Each thread takes the next block of rows until none is left, so a
    // thread that gets less of the processor does less of the work. No
    // counter is written by two threads. A block is voted a slice of groups
    // at a time; between slices the calling thread offers the pause and a
    // helper looks whether the voting is stopping.
    std::atomic<int32_t> nextBlock{0};
    std::atomic<bool> stop{false};
    auto vote = [&list, &slices, &nextBlock, &stop, table, n, blockRows, blocks](const EventPump* pause) {
        for (int32_t block = nextBlock.fetch_add(1, std::memory_order_relaxed); block < blocks;
             block = nextBlock.fetch_add(1, std::memory_order_relaxed)) {
            const int32_t k0 = block * blockRows;
            const int32_t k1 = std::min(k0 + blockRows, n);
            for (std::size_t s = 0; s + 1 < slices.size(); ++s) {
                VoteBlock(list, table, n, k0, k1, slices[s], slices[s + 1]);
                if (pause != nullptr)
                    Offer(*pause);
                else if (stop.load(std::memory_order_relaxed))
                    return;
            }
        }
    };
    auto help = [&vote] { vote(nullptr); };
    VotingCrew crew(stop);
    for (int t = 1; t < threads; ++t)
        if (!crew.Start(help)) break;  // no more threads to be had: the others share the blocks
    vote(&pause);
    crew.Finish(pause);
}

VEXO_PIXEL_LOOP void ApplyThreshold(uint16_t* table, std::size_t count, int32_t threshold) {
    if (threshold <= 0) return;
    if (threshold > 65535) {
        std::fill(table, table + count, uint16_t(0));
        return;
    }
    const uint16_t limit = static_cast<uint16_t>(threshold);
    for (std::size_t i = 0; i < count; ++i)
        if (table[i] < limit) table[i] = 0;
}

VEXO_PIXEL_LOOP void FindPeaksDirect(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink,
                                     const EventPump& pause) {
    const uint16_t marker = static_cast<uint16_t>(n);
    for (int32_t k = radius; k <= n - 1 - radius; ++k) {
        Offer(pause);
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
void FindPeaks(uint16_t* table, int32_t n, int32_t radius, const PeakSink& sink, const EventPump& pause) {
    if (n <= 2 * radius) return;
    if (n > 65535) {
        // The peak mark n no longer exceeds every count in 16 bits.
        FindPeaksDirect(table, n, radius, sink, pause);
        return;
    }
    const int32_t w = 2 * radius + 1;
    const std::size_t un = std::size_t(n);
    std::unique_ptr<uint16_t[]> rowMax(new (std::nothrow) uint16_t[un * (w + 2)]);
    std::unique_ptr<int32_t[]> reachedRow(new (std::nothrow) int32_t[un]);
    if (!rowMax || !reachedRow) {
        FindPeaksDirect(table, n, radius, sink, pause);
        return;
    }
    uint16_t* const prefix = rowMax.get() + un * w;
    uint16_t* const suffix = prefix + un;
    auto maxRow = [&](int32_t i) { return rowMax.get() + std::size_t(i % w) * un; };
    for (int32_t i = 0; i < w - 1; ++i) WindowMaxRow(table + std::size_t(i) * un, n, radius, prefix, suffix, maxRow(i));
    std::fill(reachedRow.get(), reachedRow.get() + n, -1);
    const uint16_t marker = static_cast<uint16_t>(n);

    for (int32_t k = radius; k <= n - 1 - radius; ++k) {
        Offer(pause);
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
              const WorkHooks& hooks, HoughDirection direction) {
    const int32_t radius = hough_detail::PeakRadius(direction);
    const bool usable = source && source.width > 0 && source.height > 0;
    const int32_t width = source.width;
    const int32_t height = source.height;
    const int32_t n = usable ? std::max(width, height) : 0;
    if (n <= 2 * radius) {
        // No cell of the table is far enough from its border to be a peak.
        hooks.Step();
        hooks.Step();
        hooks.Step();
        return;
    }
    const std::size_t cells = std::size_t(n) * std::size_t(n);
    std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[cells]);
    CheckAllocation(table.get());
    // Zeroing and thresholding go a band of rows at a time, with a pause
    // between bands.
    const std::size_t band = std::size_t(hough_detail::BlockRows(n)) * std::size_t(n);
    for (std::size_t at = 0; at < cells; at += band) {
        hooks.Pump();
        std::fill(table.get() + at, table.get() + std::min(at + band, cells), uint16_t(0));
    }

    hough_detail::VoteTable(source, direction, table.get(), n, WorkThreads(), hooks.pump);
    hooks.Step();
    for (std::size_t at = 0; at < cells; at += band) {
        hooks.Pump();
        hough_detail::ApplyThreshold(table.get() + at, std::min(band, cells - at), threshold);
    }

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
    }, hooks.pump);
    hooks.Step();
    hooks.Step();
}

}  // namespace

void HoughHorizontal(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                     const WorkHooks& hooks) {
    RunHough(source, marks, threshold, lines, hooks, HoughDirection::Horizontal);
}

void HoughVertical(const GrayPlane& source, MarkPlane& marks, int32_t threshold, LineLists& lines,
                   const WorkHooks& hooks) {
    RunHough(source, marks, threshold, lines, hooks, HoughDirection::Vertical);
}

}  // namespace vexo
