#!/usr/bin/env bash
# Renders the PNG sizes of the icon from its SVG (Debian package librsvg2-bin). Run after changing
# the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" io.github.kelvara.Kelvara.svg \
        -o "icons/io.github.kelvara.Kelvara-$size.png"
done
