#include "app/grid_at_scale.h"

namespace vexo {

Lattice ToWorkingPixels(const Lattice& source, int scale) {
    if (scale <= 0 || scale == 8) return source;
    return ScaledLattice(source, scale / 8.0);
}

FindGridRecord GridAtScale(const FindGridRecord& record, const SourceSize& loaded) {
    FindGridRecord carried = record;
    carried.sourceSize = loaded;
    carried.lattice = ToWorkingPixels(record.source, loaded.scale);
    return carried;
}

}  // namespace vexo
