#!/usr/bin/env bash
# Starts the desktop window in the bundled samples folder when there is a
# display. Without one (a server, a container, a CI box) it does the main job
# headless instead: over samples/, vexo-cli runs the grid search (operation
# 16) and Find Grid, writes the annotated PNGs, the JSON reports, every cell
# Find Grid found and the two summaries into one folder, and prints the two
# side by side.
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
mkdir -p "$results"
echo "No display: running the grid search (operation 16) and Find Grid over $top/samples with vexo-cli."
status=0
"$build/vexo-cli" "$top/samples" --op 16 --out "$results/grid-search" \
  --summary "$results/grid-search.csv" --no-progress || status=$?
"$build/vexo-cli" "$top/samples" --find-grid --out "$results/find-grid" --cells "$results/cells" \
  --summary "$results/find-grid.csv" --no-progress || status=$?
echo
if [ -f "$results/grid-search.csv" ] && [ -f "$results/find-grid.csv" ]; then
  # One row per picture: what operation 16 found beside what Find Grid found
  # (C x R cells), without the full paths.
  {
    echo "picture,operation 16: lines,cells,outcome,Find Grid: cells,found,ms"
    paste -d '\n' <(tail -n +2 "$results/grid-search.csv") <(tail -n +2 "$results/find-grid.csv") |
      sed "s|$top/samples/||; s/\r\$//" |
      awk -F, 'NR % 2 == 1 { name = $1; lines = $9 " + " $10; cells = $11; outcome = $17; next }
               { found = ($12 == "true") ? ($10 - 1) " x " ($9 - 1) : "none";
                 print name "," lines "," cells "," outcome "," found "," $12 "," $16 }'
  } | if command -v column >/dev/null; then column -s, -t; else cat; fi
fi
cat <<TEXT

Annotated pictures (NAME.png) and reports (NAME.json) of each are in
  $results/grid-search and $results/find-grid,
the cells Find Grid found, straightened, in $results/cells/NAME/
(A1.png, B1.png, ...), and the summaries in grid-search.csv and find-grid.csv.
On a desktop (with a display), 'make run' starts the Vexo window instead;
or start it yourself: $build/vexo $top/samples
TEXT
exit "$status"
