// Exact integer helpers shared by the line finders and the grid.
//
// Signed 32-bit products and sums wrap modulo 2^32 as two's complement; they
// are computed in unsigned arithmetic so that no overflow is undefined.
// Fractions become integers by rounding to nearest, an exact half going to
// the even neighbour.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace vexo {

// -1, 0 or 1 as v is negative, zero or positive.
inline int Sign(int64_t v) { return (v > 0) - (v < 0); }

inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline int32_t Add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t Sub32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t Mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }

// Nearest integer, halves to even. The value must be finite.
inline double RoundHalfEven(double v) { return std::nearbyint(v); }

// Nearest integer as a signed 32-bit value, halves to even; nothing when the
// value is not finite or the result lies outside the signed 32-bit range.
inline std::optional<int32_t> RoundToInt32(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    double r = std::nearbyint(v);
    if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
    return static_cast<int32_t>(r);
}

// Integer part of a / b for the picture-size rules (b > 0), nearest-even.
inline int32_t RoundQuotient(double a, double b) { return static_cast<int32_t>(std::nearbyint(a / b)); }

}  // namespace vexo
