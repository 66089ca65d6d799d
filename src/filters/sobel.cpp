// Sobel convolutions: one or two 3x3 kernels over the inner samples of a gray
// plane (x 1..width-2, y 1..height-2); the outermost rows and columns of the
// destination are never written.
//
// A response is the plain weighted sum of the 3x3 neighbourhood, capped at 255
// with no lower clamp. ConvolveThreshold keeps it when it reaches the 8-bit
// threshold; SobelEdgeSearch writes (sA + sB) / 2 where both capped responses
// reach the 32-bit threshold. Every sample depends only on the source, so the
// samples are computed row by row (the order that keeps the rows in cache and
// lets the compiler vectorise them); the event pump is still called once per
// inner column, width - 2 times, spread evenly over the pass with the first
// call before any write.
#include "filters/sobel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "core/pixel_loop.h"

namespace vexo {

const Kernel3x3 horizontalSobelKernel{{-1, 0, 1, -2, 0, 2, -1, 0, 1}};
const Kernel3x3 verticalSobelKernel{{1, 2, 1, 0, 0, 0, -1, -2, -1}};

namespace {

// 16-bit sums are exact when no partial sum can leave -32768..32767, that is
// when the absolute weights add up to at most 128 (128 * 255 = 32640). Both
// Sobel kernels add up to 8.
bool FitsInt16(const Kernel3x3& kernel) {
    int total = 0;
    for (int8_t w : kernel.weights) total += std::abs(int(w));
    return total <= 128;
}

// Spreads `calls` pump calls over `rows` rows of work: before row r the count
// reaches ceil((r + 1) * calls / rows), so the first call precedes the first
// row and the last row is preceded by all of them.
class PumpSchedule {
public:
    PumpSchedule(const EventPump& pump, int calls, int rows) : pump_(pump), calls_(calls), rows_(rows) {}

    void BeforeRow(int r) {
        const int64_t due = (int64_t(r + 1) * calls_ + rows_ - 1) / rows_;
        while (made_ < due) Call();
    }
    void Finish() {
        while (made_ < calls_) Call();
    }

private:
    void Call() {
        ++made_;
        if (pump_) pump_();
    }

    const EventPump& pump_;
    int64_t calls_;
    int64_t rows_;
    int64_t made_ = 0;
};

// The response at out[i + 1] of the row `mid` with rows `up` and `down` around
// it; Acc is the accumulator width (int16_t when FitsInt16, else int32_t).
template <typename Acc>
struct Weights {
    Acc w[9];
    explicit Weights(const Kernel3x3& k) {
        for (int i = 0; i < 9; ++i) w[i] = Acc(k.weights[i]);
    }
};

template <typename Acc>
VEXO_PIXEL_LOOP void ConvolveRow(const uint8_t* __restrict up, const uint8_t* __restrict mid, const uint8_t* __restrict down,
                 uint8_t* __restrict out, int count, const Weights<Acc>& weights, Acc threshold) {
    // Element (dx + 1) * 3 + (dy + 1): the left column first, top to bottom.
    const Acc w0 = weights.w[0], w1 = weights.w[1], w2 = weights.w[2];
    const Acc w3 = weights.w[3], w4 = weights.w[4], w5 = weights.w[5];
    const Acc w6 = weights.w[6], w7 = weights.w[7], w8 = weights.w[8];
    for (int i = 0; i < count; ++i) {
        Acc s = Acc(w0 * up[i] + w1 * mid[i] + w2 * down[i] + w3 * up[i + 1] + w4 * mid[i + 1] +
                    w5 * down[i + 1] + w6 * up[i + 2] + w7 * mid[i + 2] + w8 * down[i + 2]);
        s = s > Acc(255) ? Acc(255) : s;
        out[i + 1] = s < threshold ? uint8_t(0) : uint8_t(s);
    }
}

template <typename Acc>
VEXO_PIXEL_LOOP void EdgeSearchRow(const uint8_t* __restrict up, const uint8_t* __restrict mid, const uint8_t* __restrict down,
                   uint8_t* __restrict out, int count, const Weights<Acc>& a, const Weights<Acc>& b,
                   Acc threshold) {
    const Acc a0 = a.w[0], a1 = a.w[1], a2 = a.w[2], a3 = a.w[3], a4 = a.w[4];
    const Acc a5 = a.w[5], a6 = a.w[6], a7 = a.w[7], a8 = a.w[8];
    const Acc b0 = b.w[0], b1 = b.w[1], b2 = b.w[2], b3 = b.w[3], b4 = b.w[4];
    const Acc b5 = b.w[5], b6 = b.w[6], b7 = b.w[7], b8 = b.w[8];
    for (int i = 0; i < count; ++i) {
        Acc sa = Acc(a0 * up[i] + a1 * mid[i] + a2 * down[i] + a3 * up[i + 1] + a4 * mid[i + 1] +
                     a5 * down[i + 1] + a6 * up[i + 2] + a7 * mid[i + 2] + a8 * down[i + 2]);
        Acc sb = Acc(b0 * up[i] + b1 * mid[i] + b2 * down[i] + b3 * up[i + 1] + b4 * mid[i + 1] +
                     b5 * down[i + 1] + b6 * up[i + 2] + b7 * mid[i + 2] + b8 * down[i + 2]);
        sa = sa > Acc(255) ? Acc(255) : sa;
        sb = sb > Acc(255) ? Acc(255) : sb;
        // threshold >= 0 here, so a passing pair is 0..255 and the halving is
        // the truncating division.
        const Acc mean = Acc((sa + sb) >> 1);
        out[i + 1] = (sa < threshold || sb < threshold) ? uint8_t(0) : uint8_t(mean);
    }
}

template <typename Acc>
void ConvolveRows(const GrayPlane& source, GrayPlane& destination, const Kernel3x3& kernel, uint8_t threshold,
                  PumpSchedule& schedule) {
    const Weights<Acc> weights(kernel);
    const int count = source.width - 2;
    for (int y = 1; y <= source.height - 2; ++y) {
        schedule.BeforeRow(y - 1);
        ConvolveRow<Acc>(source.row(y - 1), source.row(y), source.row(y + 1), destination.row(y), count, weights,
                         Acc(threshold));
    }
}

template <typename Acc>
void EdgeSearchRows(const GrayPlane& source, MarkPlane& destination, const Kernel3x3& kernelA,
                    const Kernel3x3& kernelB, int32_t threshold, PumpSchedule& schedule) {
    const Weights<Acc> a(kernelA);
    const Weights<Acc> b(kernelB);
    const int count = source.width - 2;
    for (int y = 1; y <= source.height - 2; ++y) {
        schedule.BeforeRow(y - 1);
        EdgeSearchRow<Acc>(source.row(y - 1), source.row(y), source.row(y + 1), destination.row(y), count, a, b,
                           Acc(threshold));
    }
}

}  // namespace

void ConvolveThreshold(const GrayPlane& source, GrayPlane& destination, const Kernel3x3& kernel,
                       uint8_t threshold, const EventPump& pump) {
    const int columns = source.width - 2;
    if (columns <= 0 || !Plane::UsablePair(source, destination)) return;
    PumpSchedule schedule(pump, columns, std::max(source.height - 2, 1));
    if (FitsInt16(kernel)) {
        ConvolveRows<int16_t>(source, destination, kernel, threshold, schedule);
    } else {
        ConvolveRows<int32_t>(source, destination, kernel, threshold, schedule);
    }
    schedule.Finish();
}

void SobelEdgeSearch(const GrayPlane& source, MarkPlane& destination, const Kernel3x3& kernelA,
                     const Kernel3x3& kernelB, int32_t threshold, const EventPump& pump) {
    const int columns = source.width - 2;
    if (columns <= 0 || !Plane::UsablePair(source, destination)) return;
    // Capped responses never exceed 255, so every threshold above 255 acts as
    // 256 (nothing marked). A negative threshold acts as 0: a negative
    // response is never marked and every mark code is a byte value.
    const int32_t effective = std::clamp<int32_t>(threshold, 0, 256);
    PumpSchedule schedule(pump, columns, std::max(source.height - 2, 1));
    if (FitsInt16(kernelA) && FitsInt16(kernelB)) {
        EdgeSearchRows<int16_t>(source, destination, kernelA, kernelB, effective, schedule);
    } else {
        EdgeSearchRows<int32_t>(source, destination, kernelA, kernelB, effective, schedule);
    }
    schedule.Finish();
}

}  // namespace vexo
