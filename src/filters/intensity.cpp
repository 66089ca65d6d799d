// Intensity operations: every sample is rewritten from its own value alone,
// so each operation is a table of 256 results applied to the whole plane.
//
// Segment: (v div step) * step + offset, computed in 64 bits so that no
//   offset wraps; 255 when that reaches 256, 0 when a negative offset takes it
//   below 0. A step of 0 (never passed by the dispatcher) copies the plane.
// EraseHighIntensity: v when v < limit (the whole 32-bit limit), else 0.
// HistogramMode: the most frequent value within 100..200 (ties to the
//   lowest, 0 when none there).
// HistogramBand: every v becomes mode when v > mode - band (exact, no
//   wrapping) or v < 10, else 0.
#include "filters/intensity.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "core/pixel_loop.h"

namespace vexo {

namespace {

using Table = std::array<uint8_t, 256>;

VEXO_PIXEL_LOOP void ApplyTable(const Table& table, const uint8_t* source, uint8_t* destination, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) destination[i] = table[source[i]];
}

VEXO_PIXEL_LOOP void CountLevels(const uint8_t* samples, std::size_t count, std::array<int64_t, 256>& counts) {
    for (std::size_t i = 0; i < count; ++i) ++counts[samples[i]];
}

}  // namespace

void Segment(const GrayPlane& source, GrayPlane& destination, uint8_t step, int32_t offset) {
    if (!Plane::UsablePair(source, destination)) return;
    if (step == 0) {
        std::memcpy(destination.begin(), source.begin(), source.size());
        return;
    }
    Table table;
    for (int v = 0; v < 256; ++v) {
        const int64_t q = int64_t(unsigned(v) / step) * step + offset;
        table[v] = uint8_t(std::clamp<int64_t>(q, 0, 255));
    }
    ApplyTable(table, source.begin(), destination.begin(), source.size());
}

VEXO_PIXEL_LOOP void EraseHighIntensity(const GrayPlane& source, GrayPlane& destination, int32_t limit) {
    if (!Plane::UsablePair(source, destination)) return;
    // Every limit of 256 or more keeps all values, every limit of 0 or less none.
    const int16_t bound = int16_t(std::clamp<int32_t>(limit, 0, 256));
    const uint8_t* __restrict in = source.begin();
    uint8_t* __restrict out = destination.begin();
    const std::size_t count = source.size();
    for (std::size_t i = 0; i < count; ++i) out[i] = int16_t(in[i]) < bound ? in[i] : uint8_t(0);
}

int HistogramMode(const GrayPlane& plane) {
    std::array<int64_t, 256> counts{};
    const std::size_t count = plane ? plane.size() : 0;
    CountLevels(plane.begin(), count, counts);

    int mode = 0;
    int64_t best = 0;
    for (int v = 100; v <= 200; ++v) {
        if (counts[v] > best) {
            best = counts[v];
            mode = v;
        }
    }

    return mode;
}

void HistogramBand(GrayPlane& plane, int mode, int32_t band) {
    if (!plane) return;
    const int64_t dark = int64_t(mode) - int64_t(band);
    Table table;
    for (int v = 0; v < 256; ++v) table[v] = (v > dark || v < 10) ? uint8_t(mode) : uint8_t(0);
    ApplyTable(table, plane.begin(), plane.begin(), plane.size());
}

}  // namespace vexo
