#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window as it starts beside the program
# with no picture and no saved configuration, one port listed.
#   tools/screenshot.sh [BUILD_DIR] [PROGRAM_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target velmira-screenshot >/dev/null
out="$PWD/docs/screenshot.png"
mkdir -p docs
args=("$out")
[ $# -ge 2 ] && args+=("$2")
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$build/velmira-screenshot" "${args[@]}"
echo "wrote $out"
