#include "app/grid_at_scale.h"

namespace vexo {

Lattice ToWorkingPixels(const Lattice& source, int scale) {
    Lattice working = source;
    if (scale <= 0 || scale == 8) return working;
    const double k = scale / 8.0;
    const double shift = (k - 1) / 2;
    for (PointF& p : working.crossings) p = {p.x * k + shift, p.y * k + shift};
    std::array<double, 9>& h = working.homography.h;
    for (int c = 0; c < 3; ++c) {
        h[c] = h[c] * k + shift * h[6 + c];
        h[3 + c] = h[3 + c] * k + shift * h[6 + c];
    }
    const double last = h[8];
    if (last != 0)
        for (double& e : h) e /= last;
    return working;
}

FindGridRecord GridAtScale(const FindGridRecord& record, const SourceSize& loaded) {
    FindGridRecord carried = record;
    carried.sourceSize = loaded;
    carried.lattice = ToWorkingPixels(record.source, loaded.scale);
    return carried;
}

}  // namespace vexo
