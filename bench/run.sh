#!/bin/sh
# Builds the benchmarks in a Release build and runs them all; each prints its own figures.
# Usage: bench/run.sh [BUILD_DIR]   (default build-release)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVARA_TESTS=OFF >/dev/null
cmake --build "$build" --target benchmarks -j "$(nproc)" >/dev/null

echo "== Library load =="
bench/library_load.sh "$build"
echo "== Export as a copy, against cp =="
"$build/bench/export_copy"
echo "== Conversion, against ffmpeg =="
bench/conversion_bench.sh "$build"
echo "== Songs converted at once, against one at a time =="
bench/parallel_export.sh "$build"
echo "== Listings =="
bench/listing_bench.sh "$build"
echo "== Desktop application (offscreen) =="
bench/app/app_bench.sh "$build"
