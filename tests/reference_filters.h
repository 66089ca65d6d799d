// Straightforward versions of the pixel filters, written as the rules read:
// the convolutions column by column with the pump at the start of every
// column, the chain walks as plain recursion (fine for the small pictures of
// the tests). The fast versions must give the same planes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

#include "core/plane.h"
#include "filters/sobel.h"

namespace vexo::reference {

inline int32_t Response(const Plane& source, const Kernel3x3& kernel, int x, int y) {
    int32_t s = 0;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) s += kernel.weight(dx, dy) * int32_t(source.at(x + dx, y + dy));
    }
    return s > 255 ? 255 : s;
}

inline void ConvolveThreshold(const Plane& source, Plane& destination, const Kernel3x3& kernel, uint8_t threshold,
                              const std::function<void()>& pump) {
    if (source.width - 2 <= 0) return;
    for (int x = 1; x <= source.width - 2; ++x) {
        if (pump) pump();
        for (int y = 1; y <= source.height - 2; ++y) {
            const int32_t s = Response(source, kernel, x, y);
            destination.at(x, y) = s < int32_t(threshold) ? 0 : uint8_t(s);
        }
    }
}

// A negative threshold acts as 0.
inline void SobelEdgeSearch(const Plane& source, Plane& destination, const Kernel3x3& kernelA,
                            const Kernel3x3& kernelB, int32_t threshold, const std::function<void()>& pump) {
    if (source.width - 2 <= 0) return;
    threshold = std::max(threshold, 0);
    for (int x = 1; x <= source.width - 2; ++x) {
        if (pump) pump();
        for (int y = 1; y <= source.height - 2; ++y) {
            const int32_t sa = Response(source, kernelA, x, y);
            const int32_t sb = Response(source, kernelB, x, y);
            destination.at(x, y) = (sa < threshold || sb < threshold) ? 0 : uint8_t((sa + sb) / 2);
        }
    }
}

// The chain filter of either direction, recursive.
class ChainFilter {
public:
    ChainFilter(Plane& plane, bool horizontal) : plane_(plane), horizontal_(horizontal) {}

    void Run(int32_t minimumLength) {
        const int w = plane_.width, h = plane_.height;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) plane_.at(x, y) = plane_.at(x, y) != 0 ? 250 : 0;
        }
        const int outer = horizontal_ ? w : h, inner = horizontal_ ? h : w;
        for (int o = 0; o < outer; ++o) {
            for (int i = 0; i < inner; ++i) {
                const int x = horizontal_ ? o : i, y = horizontal_ ? i : o;
                if (plane_.at(x, y) != 250) continue;
                int32_t extent = 0;
                bool found = false;
                MeasureChain(x, y, 1, extent);
                if (extent < minimumLength) {
                    EraseChain(x, y);
                    plane_.at(x, y) = 0;
                } else {
                    TracePath(x, y, extent, 1, found);
                    plane_.at(x, y) = 255;
                }
            }
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (plane_.at(x, y) == 251) plane_.at(x, y) = 0;
            }
        }
    }

private:
    bool Neighbour(int x, int y, int k, int& nx, int& ny) const {
        nx = horizontal_ ? x + 1 : x - 1 + k;
        ny = horizontal_ ? y - 1 + k : y + 1;
        return plane_.contains(nx, ny);
    }

    void MeasureChain(int x, int y, int32_t d, int32_t& extent) {
        for (int k = 0; k < 3; ++k) {
            int nx, ny;
            if (Neighbour(x, y, k, nx, ny) && plane_.at(nx, ny) == 250) {
                MeasureChain(nx, ny, d + 1, extent);
                plane_.at(nx, ny) = 251;
            }
        }
        if (extent < d) extent = d;
    }

    void EraseChain(int x, int y) {
        for (int k = 0; k < 3; ++k) {
            int nx, ny;
            if (Neighbour(x, y, k, nx, ny) && plane_.at(nx, ny) == 251) {
                EraseChain(nx, ny);
                plane_.at(nx, ny) = 0;
            }
        }
    }

    void TracePath(int x, int y, int32_t target, int32_t d, bool& found) {
        if (d >= target) found = true;
        if (found) return;
        for (int k = 0; k < 3; ++k) {
            int nx, ny;
            if (Neighbour(x, y, k, nx, ny) && plane_.at(nx, ny) == 251) {
                TracePath(nx, ny, target, d + 1, found);
                if (found) {
                    plane_.at(nx, ny) = 255;
                    return;
                }
                plane_.at(nx, ny) = 0;
            }
        }
    }

    Plane& plane_;
    bool horizontal_;
};

inline void ChainFilterHorizontal(Plane& plane, int32_t minimumLength) {
    ChainFilter(plane, true).Run(minimumLength);
}
inline void ChainFilterVertical(Plane& plane, int32_t minimumLength) {
    ChainFilter(plane, false).Run(minimumLength);
}

}  // namespace vexo::reference
