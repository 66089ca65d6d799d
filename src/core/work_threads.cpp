#include "core/work_threads.h"

namespace vexo {

namespace {
thread_local int tWorkThreads = 0;
}  // namespace

void SetWorkThreads(int threads) { tWorkThreads = threads > 0 ? threads : 0; }

int WorkThreads() { return tWorkThreads; }

}  // namespace vexo
