#!/usr/bin/env bash
# The whole test suite under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer (build dir build-asan), then a vexo-cli run of
# all eighteen operations on a sample picture, which must end without a leak.
# The window tests run on Qt's offscreen platform; leaks that Qt, fontconfig
# and the system libraries keep until exit are listed in tests/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=build-asan
jobs=${JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXO_SANITIZE=ON -DVEXO_BUILD_BENCH=OFF
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=0
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

ctest --test-dir "$build" --output-on-failure -j "$jobs"

sample=samples/grid-9x9.jpg
if [ ! -f "$sample" ]; then
  echo "test-sanitized: $sample is missing" >&2
  exit 1
fi
ops=()
for n in $(seq 0 17); do ops+=(--op "$n"); done
echo "Leak check: vexo-cli $sample ${ops[*]} --json /dev/null"
"$build/vexo-cli" "$sample" "${ops[@]}" --json /dev/null --quiet
echo "Leak check passed."
