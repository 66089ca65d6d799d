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

# Leak check of vexo-cli: every operation on a sample, with every output.
sample=samples/grid-9x9.jpg
if [ ! -f "$sample" ]; then
  echo "test-sanitized: $sample is missing" >&2
  exit 1
fi
ops=()
for n in $(seq 0 17); do ops+=(--op "$n"); done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "Leak check: vexo-cli $sample ${ops[*]} --json /dev/null"
"$build/vexo-cli" "$sample" "${ops[@]}" --json /dev/null --quiet
"$build/vexo-cli" "$sample" --op 17 --refresh --op 6 --png "$out/display.png" --dump "$out/dump" --quiet

# Every hostile file through the whole loader: it loads (status 0) or is
# refused (status 2), with no sanitizer report and no leak on either path.
bad=0
for f in tests/hostile_corpus/*; do
  [ -f "$f" ] || continue
  status=0
  "$build/vexo-cli" "$f" --op 0 --refresh --json /dev/null --quiet 2>"$out/stderr" || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
    echo "test-sanitized: vexo-cli $f ended with status $status" >&2
    cat "$out/stderr" >&2
    bad=1
  fi
done
[ "$bad" -eq 0 ] || exit 1
echo "Leak check passed."
