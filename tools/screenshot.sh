#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window as a first start leaves it,
# with the background picture and the first configuration slot that come
# with Velmira, one port listed; prints the captions' contrast over the
# picture.
#   tools/screenshot.sh [BUILD_DIR] [PROGRAM_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target velmira-screenshot velmira_background >/dev/null
out="$PWD/docs/screenshot.png"
mkdir -p docs
dir="${2:-}"
if [ -z "$dir" ]; then
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  cp "$build/shipped/MiImagen.jpg" "$build/shipped/configuracion.ini" "$dir/"
fi
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$build/velmira-screenshot" "$out" "$dir"
echo "wrote $out"
