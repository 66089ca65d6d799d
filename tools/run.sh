#!/usr/bin/env bash
# Starts the desktop window in the bundled samples folder. Without a display
# it starts the window under a virtual X server (xvfb-run); with no window
# built at all it runs vexo-cli on a sample and prints its summary.
# Usage: tools/run.sh [build directory, default "build", relative to the project]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$top/$build ;; esac
if [ -x "$build/vexo" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  cd "$top/samples" && exec "$build/vexo"
fi
if [ -x "$build/vexo" ] && command -v xvfb-run >/dev/null; then
  echo "No display: starting Vexo under a virtual X server (xvfb-run)."
  cd "$top/samples" && exec xvfb-run -a "$build/vexo"
fi
exec "$build/vexo-cli" "$top/samples/grid-9x9.jpg" --op 16
