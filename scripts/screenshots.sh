#!/bin/sh
# Pictures of the desktop application on the demo library, for the README: the playlist page, the
# album page and the welcome page from `kelvara`, and the log window after a demo export (with the
# progress sheet, the loading sheet, the About dialog, the preview panel and the export, advanced
# options, file-name format and listing dialogs) from a helper that
# drives the same windows. Runs under Xvfb, so no desktop is needed.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screenshots
demo=examples/demo
cmake --build "$build" --target kelvara window_shots -j "${JOBS:-2}" >/dev/null
mkdir -p "$out"
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
screen="-screen 0 1400x900x24"
xvfb-run -a -s "$screen" "$build/src/app/kelvara" --library "$demo/Library.xml" \
    --music-folder "$demo/Music" --config-dir "$config" --screenshots "$out"
xvfb-run -a -s "$screen" "$build/bench/window_shots" "$demo/Library.xml" "$demo/Music" "$out"
for picture in playlists albums welcome log-window export-dialog advanced-options format-editor \
    listing-dialog; do
    [ -s "$out/$picture.png" ] || { echo "screenshots: $out/$picture.png was not written" >&2; exit 1; }
done
echo "Screenshots in $out"
