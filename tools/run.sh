#!/usr/bin/env bash
# Starts the desktop window in the bundled samples folder when there is a
# display. Without one (a server, a container, a CI box) it does the main job
# headless instead: Find Grid over samples/ with vexo-cli, the annotated PNGs,
# the JSON reports, every found cell and the summary in one folder, the
# summary printed.
# Usage: tools/run.sh [build directory, default "build", relative to the project]
# Without a display the results go to VEXO_RESULTS (default: vexo-results in
# the build directory).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$top/$build ;; esac
if [ -x "$build/vexo" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$build/vexo" "$top/samples"
fi

results=${VEXO_RESULTS:-$build/vexo-results}
echo "No display: running Find Grid over $top/samples with vexo-cli."
status=0
"$build/vexo-cli" "$top/samples" --find-grid --out "$results" --cells "$results/cells" \
  --summary "$results/summary.csv" || status=$?
echo
if [ -f "$results/summary.csv" ]; then
  # The table without the full paths, in aligned columns where column(1) is there.
  sed "s|$top/samples/||; s/\r\$//" "$results/summary.csv" |
    if command -v column >/dev/null; then column -s, -t; else cat; fi
fi
cat <<TEXT

Annotated pictures (NAME.png), reports (NAME.json), the cells of each grid
straightened (cells/NAME/A1.png, ...) and summary.csv are in
  $results
On a desktop (with a display), 'make run' starts the Vexo window instead;
or start it yourself: $build/vexo $top/samples
TEXT
exit "$status"
