#!/usr/bin/env bash
# Starts the desktop window in the bundled samples folder; without a display
# it runs vexo-cli on a sample instead and prints its summary.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
if [ -x "$build/vexo" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  cd "$top/samples" && exec "$top/$build/vexo"
fi
if [ -x "$build/vexo" ] && command -v xvfb-run >/dev/null; then
  echo "No display: starting Vexo under a virtual X server (xvfb-run)."
  cd "$top/samples" && exec xvfb-run -a "$top/$build/vexo"
fi
exec "$build/vexo-cli" "$top/samples/grid-9x9.jpg" --op 16
