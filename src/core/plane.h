// Gray planes and the mark plane: width x height unsigned bytes, row-major,
// top row first, rows exactly `width` bytes long; sample (x, y) at
// y * width + x. Each plane is its own heap block, null before the first load.
// Also the largest picture side and the check that a block was obtained.
//
// Large blocks are mapped straight from the system, in huge pages where it
// allows them: their pages read as zero and cost nothing until they are
// written, so a zero plane that is never written is free, and writing a whole
// picture takes a few page faults, not thousands. Smaller blocks come from
// malloc, which reuses memory and hands out fresh memory already zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vexo {

// No side of a picture exceeds this many pixels.
inline constexpr int kMaxPictureSide = 16384;

// Throws VexoError "Picture too large: W x H (at most 16384 x 16384)" for a
// picture with a side above kMaxPictureSide.
void CheckPictureSize(int64_t width, int64_t height);

// Gives a block back the way it was obtained: a mapped block to the system,
// one from malloc to free, one from new[] with delete[] (a block made with
// new[] may be handed to a plane as well).
struct BlockDeleter {
    enum class Source : uint8_t { kNew, kMalloc, kMapped };
    Source source = Source::kNew;
    std::size_t mappedBytes = 0;

    BlockDeleter() = default;
    BlockDeleter(Source from, std::size_t mapped) : source(from), mappedBytes(mapped) {}
    BlockDeleter(std::default_delete<uint8_t[]>) noexcept {}
    void operator()(uint8_t* block) const noexcept;
};

using Block = std::unique_ptr<uint8_t[], BlockDeleter>;

// A block of `bytes` bytes (at least one), all zero when `zero`; null when it
// cannot be obtained.
Block AllocateBlock(std::size_t bytes, bool zero);

struct Plane {
    int width = 0;
    int height = 0;
    Block data;

    Plane() = default;
    Plane(Plane&&) noexcept = default;
    Plane& operator=(Plane&&) noexcept = default;

    // A zero-filled plane, or a plane without data when the block cannot be
    // obtained (the caller passes it to CheckAllocation).
    static Plane Allocate(int width, int height);
    // The same for a plane whose every sample the caller writes at once: its
    // samples are not cleared first.
    static Plane AllocateUnfilled(int width, int height);

    explicit operator bool() const { return data != nullptr; }
    std::size_t size() const { return std::size_t(width) * std::size_t(height); }
    uint8_t* begin() { return data.get(); }
    const uint8_t* begin() const { return data.get(); }
    uint8_t* row(int y) { return data.get() + std::size_t(y) * std::size_t(width); }
    const uint8_t* row(int y) const { return data.get() + std::size_t(y) * std::size_t(width); }
    uint8_t& at(int x, int y) { return data[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    uint8_t at(int x, int y) const { return data[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    bool contains(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }

    // A source and a destination a plane-to-plane operation can work on: both
    // hold data, of the same size, in two different blocks.
    static bool UsablePair(const Plane& source, const Plane& destination) {
        return source && destination && source.width == destination.width &&
               source.height == destination.height && source.data != destination.data;
    }
};

// Throws Terminate("Not enough memory! Program terminated!") for a plane
// whose block was not obtained.
void CheckAllocation(const Plane& block);
void CheckAllocation(const void* block);

using GrayPlane = Plane;
using MarkPlane = Plane;

// Mark codes with a colour of their own; every other nonzero code shows red.
inline constexpr uint8_t kMarkGreen = 100;
inline constexpr uint8_t kMarkYellow = 50;
inline constexpr uint8_t kMarkBlue = 200;

}  // namespace vexo
