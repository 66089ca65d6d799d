#include "core/plane.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <string>

#include "core/errors.h"

namespace vexo {

void CheckPictureSize(int64_t width, int64_t height) {
    if (width <= kMaxPictureSide && height <= kMaxPictureSide) return;
    const std::string limit = std::to_string(kMaxPictureSide);
    throw VexoError("Picture too large: " + std::to_string(width) + " x " + std::to_string(height) + " (at most " +
                    limit + " x " + limit + ")");
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VEXO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXO_ADDRESS_SANITIZER 1
#endif
#endif

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Blocks from this size on are mapped and take whole huge pages (one huge
// page fault costs less than a hundred small ones). Under the address
// sanitizer every block comes from malloc, which it guards.
#ifdef VEXO_ADDRESS_SANITIZER
constexpr std::size_t kMappedFrom = SIZE_MAX;
#else
constexpr std::size_t kMappedFrom = 512 * 1024;
#endif

// A block of `bytes` that reads as zero, aligned on a huge page; the parts of
// the mapping around it are given back at once. Null when there is no memory.
uint8_t* MapBlock(std::size_t bytes, std::size_t& mapped) {
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    const std::size_t reserve = mapped + kHugePage;
    void* area = ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) ::munmap(area, aligned - start);
    const std::uintptr_t end = start + reserve;
    if (end > aligned + mapped) ::munmap(reinterpret_cast<void*>(aligned + mapped), end - (aligned + mapped));
    auto* block = reinterpret_cast<uint8_t*>(aligned);
    ::madvise(block, mapped, MADV_HUGEPAGE);  // a hint: without it the block still works
    return block;
}

}  // namespace

Block AllocateBlock(std::size_t bytes, bool zero) {
    using Source = BlockDeleter::Source;
    if (bytes >= kMappedFrom) {
        std::size_t mapped = 0;
        uint8_t* block = MapBlock(bytes, mapped);
        return block ? Block(block, BlockDeleter(Source::kMapped, mapped)) : Block();
    }
    const std::size_t n = bytes == 0 ? 1 : bytes;
    void* block = zero ? std::calloc(n, 1) : std::malloc(n);
    return Block(static_cast<uint8_t*>(block), BlockDeleter(Source::kMalloc, 0));
}

void BlockDeleter::operator()(uint8_t* block) const noexcept {
    switch (source) {
        case Source::kMapped: ::munmap(block, mappedBytes); break;
        case Source::kMalloc: std::free(block); break;
        case Source::kNew: delete[] block; break;
    }
}

namespace {

Plane NewPlane(int width, int height, bool zero) {
    Plane plane;
    plane.data = AllocateBlock(std::size_t(width) * std::size_t(height), zero);
    if (plane.data) {
        plane.width = width;
        plane.height = height;
    }
    return plane;
}

}  // namespace

Plane Plane::Allocate(int width, int height) { return NewPlane(width, height, true); }

Plane Plane::AllocateUnfilled(int width, int height) { return NewPlane(width, height, false); }

void CheckAllocation(const void* block) {
    if (block == nullptr) throw Terminate(kNotEnoughMemory);
}

void CheckAllocation(const Plane& block) { CheckAllocation(static_cast<const void*>(block.data.get())); }

}  // namespace vexo
