// The fast Hough stages against their straightforward forms: the integer
// voting (on one and on two threads) must give exactly the counts of one
// double division per vote, and the sliding-maximum peak search exactly the
// peaks, in the same order, of scanning every window. The voting pauses on
// the calling thread only; a pause that throws stops it cleanly, every
// helper joined.
//
// Input layout (missing bytes read as 0):
//   0..1   width - 1 (mod 160)       2..3   height - 1 (mod 160)
//   4      bit 0: vertical transform; bit 1: two threads, three with bit 2;
//          bit 7: throw from pause number 1 + bits 3..6 of the voting
//   5..8   threshold (signed 32-bit, little-endian)
//   9..    up to 64 edge points, 4 bytes each: x (mod width), y (mod height);
//          a point with the top bit of its x set draws a straight run
//          of the next 16 samples along the far edge's direction instead
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "core/pixel_loop.h"
#include "lines/hough_detail.h"

namespace {

using vexo::hough_detail::HoughDirection;

// Thrown from a pause to stop the voting.
struct PauseStop {
    int unused = 0;
};

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

[[noreturn]] void Mismatch(const char* stage, int32_t n, std::size_t cell, unsigned a, unsigned b) {
    std::fprintf(stderr, "fuzz_hough: %s differs at k=%zu r=%zu: %u against %u (n=%d)\n", stage,
                 cell / std::size_t(n), cell % std::size_t(n), a, b, n);
    std::abort();
}

// The two tables hold the same counts.
VEXO_PIXEL_LOOP void CompareTables(const char* stage, const std::vector<uint16_t>& fast,
                                   const std::vector<uint16_t>& plain, int32_t n) {
    if (std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(uint16_t)) == 0) return;
    for (std::size_t i = 0; i < fast.size(); ++i)
        if (fast[i] != plain[i]) Mismatch(stage, n, i, fast[i], plain[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    // Up to 160: past two blocks of 64 rows, so that the voting can share
    // the table among three threads, and small enough for many runs.
    const int32_t width = 1 + int32_t(Le16(data) % 160);
    const int32_t height = 1 + int32_t(Le16(data + 2) % 160);
    const HoughDirection direction = (data[4] & 1) ? HoughDirection::Vertical : HoughDirection::Horizontal;
    const int threads = (data[4] & 2) ? ((data[4] & 4) ? 3 : 2) : 1;
    const int stopAt = (data[4] & 0x80) ? 1 + ((data[4] >> 3) & 15) : 0;
    int32_t threshold;
    std::memcpy(&threshold, data + 5, 4);

    vexo::GrayPlane source = vexo::Plane::Allocate(width, height);
    if (!source) return 0;
    for (std::size_t i = 9; i + 4 <= size && i < 9 + 4 * 64; i += 4) {
        const uint32_t rawX = Le16(data + i);
        int32_t x = int32_t((rawX & 0x7FFF) % uint32_t(width));
        int32_t y = int32_t(Le16(data + i + 2) % uint32_t(height));
        const int run = (rawX & 0x8000) ? 16 : 1;
        for (int j = 0; j < run && source.contains(x, y); ++j) {
            source.at(x, y) = 255;
            if (direction == HoughDirection::Horizontal) ++x; else ++y;
        }
    }

    const int32_t n = width > height ? width : height;
    const std::size_t cells = std::size_t(n) * std::size_t(n);
    std::vector<uint16_t> fast(cells, 0), plain(cells, 0);
    const std::thread::id caller = std::this_thread::get_id();
    int pauses = 0;
    try {
        vexo::hough_detail::VoteTable(source, direction, fast.data(), n, threads, [&] {
            if (std::this_thread::get_id() != caller) {
                std::fprintf(stderr, "fuzz_hough: pause on a helper thread\n");
                std::abort();
            }
            if (++pauses == stopAt) throw PauseStop();
        });
    } catch (const PauseStop&) {
        return 0;  // the table holds part of the votes
    }
    vexo::hough_detail::VoteTableDirect(source, direction, plain.data(), n);
    CompareTables("vote count", fast, plain, n);

    vexo::hough_detail::ApplyThreshold(fast.data(), cells, threshold);
    vexo::hough_detail::ApplyThreshold(plain.data(), cells, threshold);
    const int32_t radius = vexo::hough_detail::PeakRadius(direction);
    std::vector<std::pair<int32_t, int32_t>> fastPeaks, plainPeaks;
    vexo::hough_detail::FindPeaks(fast.data(), n, radius, [&](int32_t k, int32_t r) { fastPeaks.push_back({k, r}); });
    vexo::hough_detail::FindPeaksDirect(plain.data(), n, radius,
                                        [&](int32_t k, int32_t r) { plainPeaks.push_back({k, r}); });
    if (fastPeaks != plainPeaks) {
        std::fprintf(stderr, "fuzz_hough: %zu peaks against %zu\n", fastPeaks.size(), plainPeaks.size());
        for (std::size_t i = 0; i < fastPeaks.size() || i < plainPeaks.size(); ++i) {
            if (i < fastPeaks.size() && i < plainPeaks.size() && fastPeaks[i] == plainPeaks[i]) continue;
            std::fprintf(stderr, "  first difference at peak %zu\n", i);
            break;
        }
        std::abort();
    }
    CompareTables("table after the peak search", fast, plain, n);
    return 0;
}
