#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (build dir
# build-fuzz: core and targets with AddressSanitizer, UndefinedBehaviorSanitizer
# and coverage feedback; no window, no benchmarks) and runs each target for
# FUZZ_SECONDS seconds (default 60), as many at once as there are processors
# (JOBS), so that each target has a processor of its own.
# Fails when a target reports a crash, a leak, a hang or undefined behaviour;
# the input that did it is left in build-fuzz/artifacts/TARGET/.
#
# Seeds: the sample pictures, the hostile test corpus, and pictures and
# workbench inputs made here. Each target keeps the corpus it grows in
# build-fuzz/corpus/TARGET, so a later run starts where this one ended.
#
#   FUZZ_SECONDS=3600 tools/fuzz.sh           longer runs
#   FUZZ_TARGETS=fuzz_core tools/fuzz.sh      one target only (fuzz_loader, fuzz_core, fuzz_hough, fuzz_find_grid)
#   build-fuzz/fuzz_core build-fuzz/artifacts/fuzz_core/crash-...   replay a finding
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-$(nproc)}
targets=${FUZZ_TARGETS:-"fuzz_loader fuzz_core fuzz_hough fuzz_find_grid"}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVEXO_FUZZ=ON -DVEXO_BUILD_UI=OFF -DVEXO_BUILD_BENCH=OFF
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/fuzz_loader" "$seeds/fuzz_core" "$seeds/fuzz_hough" "$seeds/fuzz_find_grid"

# --- JPEG seeds: small gray and colour pictures in the encodings cjpeg offers.
pgm() {  # pgm WIDTH HEIGHT PATTERN > file.pgm
  perl -e '
    my ($w, $h, $p) = @ARGV;
    print "P5\n$w $h\n255\n";
    for my $y (0 .. $h - 1) { for my $x (0 .. $w - 1) {
      my $v = $p eq "grid" ? (($x % 16 == 3 || $y % 16 == 5) ? 90 : 200)
            : $p eq "ramp" ? ($x * 255 / ($w > 1 ? $w - 1 : 1))
            : (($x * 31 + $y * 17) ^ ($x * $y)) & 255;
      print chr(int $v);
    } }' "$@"
}
ppm() {  # ppm WIDTH HEIGHT > file.ppm
  perl -e '
    my ($w, $h) = @ARGV;
    print "P6\n$w $h\n255\n";
    for my $y (0 .. $h - 1) { for my $x (0 .. $w - 1) {
      print chr(($x * 8) & 255), chr(($y * 8) & 255), chr((($x + $y) * 4) & 255);
    } }' "$@"
}
if command -v cjpeg >/dev/null; then
  tmp=$(mktemp -d)
  pgm 1 1 ramp >"$tmp/one.pgm"
  pgm 33 17 ramp >"$tmp/ramp.pgm"
  pgm 64 64 grid >"$tmp/grid.pgm"
  pgm 45 23 noise >"$tmp/noise.pgm"
  ppm 24 24 >"$tmp/colour.ppm"
  n=0
  for src in "$tmp"/*.pgm "$tmp"/*.ppm; do
    for opts in "-quality 90" "-quality 5 -progressive" "-optimize -restart 1" "-arithmetic" "-quality 50 -sample 2x2"; do
      # shellcheck disable=SC2086
      cjpeg $opts "$src" >"$seeds/fuzz_loader/seed-$n.jpg" 2>/dev/null || rm -f "$seeds/fuzz_loader/seed-$n.jpg"
      n=$((n + 1))
    done
  done
  # A tall narrow picture cut short: 64 bands of 256 rows that decode fast,
  # so that the decoder's ring of 8 bands fills up (in the fuzzing build its
  # second thread fills the bands of pictures from 32768 pixels on).
  pgm 8 16384 ramp >"$tmp/tall.pgm"
  cjpeg -quality 90 "$tmp/tall.pgm" | head -c 700 >"$seeds/fuzz_loader/tall-cut-short.jpg" || true
  # Truncated and bit-flipped copies start the fuzzer near the decoder's error paths.
  if [ -f "$seeds/fuzz_loader/seed-10.jpg" ]; then
    head -c 200 "$seeds/fuzz_loader/seed-10.jpg" >"$seeds/fuzz_loader/truncated.jpg"
    perl -0777 -pe 'substr($_, 300, 1) = chr(ord(substr($_, 300, 1)) ^ 0x55) if length > 300' \
      "$seeds/fuzz_loader/seed-10.jpg" >"$seeds/fuzz_loader/flipped.jpg"
  fi
  rm -rf "$tmp"
fi
for dir in samples tests/hostile_corpus; do
  [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f -size -512k -exec cp {} "$seeds/fuzz_loader/" \;
done

# --- Workbench seeds: every operation on a soft 64 x 64 grid, with the
# default parameter, a typed one, and a second operation after R.
core_seed() {  # core_seed FILE OPERATION FLAGS SECOND TEXT
  perl -e '
    my ($op, $flags, $second, $text) = @ARGV;
    print chr(63), chr(63), chr($op), chr($flags), chr($second), chr(length $text), $text;
    for my $y (0 .. 63) { for my $x (0 .. 63) {
      print chr(($x % 13 == 4 || $y % 11 == 6) ? 150 : 200);
    } }' "$2" "$3" "$4" "$5" >"$1"
}
for op in $(seq 0 17); do
  core_seed "$seeds/fuzz_core/op$op" "$op" 0 0 ""
  core_seed "$seeds/fuzz_core/op$op-typed" "$op" 1 0 "\$1F"
  core_seed "$seeds/fuzz_core/op$op-then" "$op" $((4 + 8)) $(((op + 1) % 18)) ""
  core_seed "$seeds/fuzz_core/op$op-busy" "$op" 128 $(((3 << 5) + op)) ""
done
printf '\x00\x00\x03\x01\x00\x01-' >"$seeds/fuzz_core/tiny-negative"
# Segmentation with the largest step and the track bar far to the right.
perl -e 'print "\x3f\x3f\x03\x01\x00", chr(0x20 + 10), "2147483647", map { chr($_ * 37 & 255) } 0 .. 4095' \
  >"$seeds/fuzz_core/op3-trackbar"

# --- Hough seeds: full rows (columns) of edges on a 160 x 130 picture, one
# line alone and two lines close enough to share a peak window, on one and
# two threads.
hough_seed() {  # hough_seed FILE MODE THRESHOLD LINE...
  perl -e '
    my ($mode, $threshold, @lines) = @ARGV;
    my $vertical = $mode & 1;
    my ($w, $h) = $vertical ? (130, 160) : (160, 130);
    print pack("vvCl<", $w - 1, $h - 1, $mode, $threshold);
    for my $line (@lines) {
      for (my $at = 0; $at < ($vertical ? $h : $w); $at += 16) {
        print $vertical ? pack("vv", 0x8000 | $line, $at) : pack("vv", 0x8000 | $at, $line);
      }
    }' "$2" "$3" "${@:4}" >"$1"
}
hough_seed "$seeds/fuzz_hough/row" 0 100 50
hough_seed "$seeds/fuzz_hough/rows-close" 2 100 50 55
hough_seed "$seeds/fuzz_hough/column" 1 100 50
hough_seed "$seeds/fuzz_hough/columns-apart" 3 100 50 80
hough_seed "$seeds/fuzz_hough/row-threshold-0" 0 0 50

# --- Find Grid seeds: drawn grids of several spacings, angles and line
# widths, dark on light and light on dark, alone and with noise on top.
n=0
for picture in "180 150 10 0 1" "200 160 20 12 2" "120 120 4 40 19" "199 90 33 128 3" "60 60 0 0 0"; do
  # shellcheck disable=SC2086
  set -- $picture
  printf "\\x$(printf %02x "$1")\\x$(printf %02x "$2")\\x$(printf %02x $((128 + $3)))\\x$(printf %02x "$4")\\x$(printf %02x "$5")" \
    >"$seeds/fuzz_find_grid/grid-$n"
  perl -e 'print map { chr(($_ * 97) % 61 + 98) } 0 .. 999' >>"$seeds/fuzz_find_grid/grid-$n"
  head -c 5 "$seeds/fuzz_find_grid/grid-$n" >"$seeds/fuzz_find_grid/clean-$n"
  n=$((n + 1))
done

# --- Run.
declare -A status
declare -A running=()  # pid -> target
# Waits for one running target to end and notes its status.
wait_one() {
  local pid code=0
  wait -n -p pid "${!running[@]}" || code=$?
  status[${running[$pid]}]=$code
  unset "running[$pid]"
}
for t in $targets; do
  while [ "${#running[@]}" -ge "$jobs" ]; do wait_one; done
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  seeddirs=("$seeds/$t")
  [ -d "tests/fuzz/corpus/$t" ] && seeddirs+=("tests/fuzz/corpus/$t")
  # The longest inputs that the targets read whole.
  maxlen=()
  [ "$t" = fuzz_core ] && maxlen=(-max_len=4133)
  [ "$t" = fuzz_hough ] && maxlen=(-max_len=265)
  [ "$t" = fuzz_find_grid ] && maxlen=(-max_len=4096)
  echo "fuzz: $t for ${seconds}s"
  "$build/$t" "${maxlen[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "${seeddirs[@]}" >"$build/$t.log" 2>&1 &
  running[$!]=$t
done
while [ "${#running[@]}" -gt 0 ]; do wait_one; done
fail=0
for t in $targets; do
  if [ "${status[$t]}" -ne 0 ]; then
    fail=1
    echo "fuzz: $t FAILED (exit ${status[$t]}); the end of $build/$t.log:" >&2
    tail -n 60 "$build/$t.log" >&2
  fi
  # The last status line: executions, coverage (cov) and features (ft).
  summary=$(grep -E '^#[0-9]+' "$build/$t.log" | tail -n 1 || true)
  runs=$(grep -E '^stat::number_of_executed_units' "$build/$t.log" | awk '{print $2}' || true)
  echo "fuzz: $t: ${runs:-?} executions; last status: $summary"
done
exit "$fail"
