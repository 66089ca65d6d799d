// How many threads the long work started from the calling thread may use: the
// Hough voting's helpers, the decoder's filling thread. 0 lets each choose by
// the amount of work (the default); work that already runs one picture per
// processor sets 1, so the processors are not oversubscribed. Results never
// depend on it. The setting belongs to the thread that sets it.
#pragma once

namespace vexo {

void SetWorkThreads(int threads);
int WorkThreads();

}  // namespace vexo
