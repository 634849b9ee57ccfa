#!/usr/bin/env bash
# Regenerates the README's screenshots from the real panel, headless.
#   tools/screenshots.sh [DIRECTORY]    (default: docs/)
# Builds in build-screenshots/ (BUILD_DIR to name another), or in the
# configured build tree named by KORU_BUILD_DIR.
set -euo pipefail
source "$(dirname "$0")/../scripts/packages.sh"
out=$(mkdir -p "${1:-$koru_top/docs}" && cd "${1:-$koru_top/docs}" && pwd)
koru_build_tree "${BUILD_DIR:-$koru_top/build-screenshots}" -DKORU_BUILD_TESTS=OFF -DKORU_BUILD_BENCH=OFF >/dev/null
cmake --build "$koru_build_dir" -j2 --target koru-panelshot >/dev/null
QT_QPA_PLATFORM=offscreen "$koru_build_dir/tools/koru-panelshot" \
    "$out/panel-compact.png" "$out/panel-full.png"
echo "wrote $out/panel-compact.png and $out/panel-full.png"
