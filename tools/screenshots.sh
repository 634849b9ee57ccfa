#!/usr/bin/env bash
# Regenerates the README's screenshots from the real panel, headless.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-screenshots}
cmake -S "$top" -B "$build" -DKORU_BUILD_TESTS=OFF -DKORU_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target koru-panelshot >/dev/null
mkdir -p "$top/docs"
QT_QPA_PLATFORM=offscreen "$build/tools/koru-panelshot" \
    "$top/docs/panel-compact.png" "$top/docs/panel-full.png"
echo "wrote docs/panel-compact.png and docs/panel-full.png"
