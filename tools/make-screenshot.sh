#!/usr/bin/env bash
# Makes data/screenshots/grid-search.png, the screenshot that the AppStream
# metadata shows: the window on a virtual X server (Xvfb), a sample
# photograph loaded and the grid search run on it. The picture's size is
# written in data/metainfo.xml.in.
# Usage: tools/make-screenshot.sh [build directory, default "build"]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target vexo_take_screenshot
# The browser shows the picture's folder and the folders above it: a short
# path, not the developer's.
pictures=$(mktemp -d /tmp/vexo-screenshot.XXXXXX)
trap 'rm -rf "$pictures"' EXIT
mkdir "$pictures/Pictures"
cp samples/*.jpg "$pictures/Pictures/"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/vexo_take_screenshot" "$pictures/Pictures/grid-rotated.jpg" data/screenshots/grid-search.png
echo "data/screenshots/grid-search.png"
