#!/bin/sh
# Listing benchmark: CSV, XLSX and XLS of 100,000 songs x 10 columns, each in its own process so
# that each peak memory figure is its own, then the same XLSX written by Python for comparison.
# Usage: bench/listing_bench.sh BUILD_DIR (a Release build; the target is listing_bench).
set -eu
build=${1:-build-list-rel}
bin="$build/bench/listing_bench"
[ -x "$bin" ] || cmake --build "$build" --target listing_bench
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for type in csv xlsx xls; do
    "$bin" "$type" "$out/Songs.$type"
done
/usr/bin/python3 "$(dirname "$0")/listing_bench.py" "$out/python.xlsx"
