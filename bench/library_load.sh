#!/bin/sh
# Loads a synthetic library of 100,000 tracks and 1,000 playlists with Kelvara's reader and with
# Python's plistlib, one after the other on the same file, and prints wall time and peak memory.
#
# Usage: bench/library_load.sh [BUILD_DIR] [TRACKS] [PLAYLISTS]
# BUILD_DIR defaults to build-bench, configured as a Release build.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build-bench}
tracks=${2:-100000}
playlists=${3:-1000}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVARA_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target library_load -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
library="$work/Library.xml"
/usr/bin/python3 "$here/generate_library.py" "$library" --tracks "$tracks" --playlists "$playlists"
size=$(stat -c %s "$library")
echo "library: $tracks tracks, $playlists playlists, $((size / 1048576)) MiB"
# Read once so that both runs start from the page cache.
cat "$library" >/dev/null

# Prints "<wall s> <user s> <system s> <peak KiB>" for one command, from GNU time.
measure() {
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out" 2>&1 || {
        cat "$work/out" >&2
        exit 1
    }
    cat "$work/time"
}

set -- $(measure "$build/bench/library_load" "$library")
ours_wall=$1 ours_cpu=$(echo "$2 $3" | awk '{ print $1 + $2 }') ours_peak=$4
ours_load=$(sed -n 's/^load (parse + model): \([0-9.]*\) s$/\1/p' "$work/out")
set -- $(measure /usr/bin/python3 -c 'import plistlib, sys; plistlib.load(open(sys.argv[1], "rb"))' "$library")
py_wall=$1 py_cpu=$(echo "$2 $3" | awk '{ print $1 + $2 }') py_peak=$4

# The machine may be shared: CPU time (user + system) is shown beside the wall time.
awk -v ow="$ours_wall" -v oc="$ours_cpu" -v ol="$ours_load" -v op="$ours_peak" \
    -v pw="$py_wall" -v pc="$py_cpu" -v pp="$py_peak" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "%-10s %10s %10s %14s %12s\n", "", "wall (s)", "cpu (s)", "load only (s)", "peak (MiB)"
    printf "%-10s %10.2f %10.2f %14.3f %12.0f\n", "kelvara", ow, oc, ol, op / 1024
    printf "%-10s %10.2f %10.2f %14s %12.0f\n", "plistlib", pw, pc, "-", pp / 1024
    speedup = (ow > 0) ? pw / ow : 0
    printf "plistlib / kelvara: %.1fx wall, %.1fx cpu (load average %s)\n", speedup, (oc > 0) ? pc / oc : 0, load
    ok = (ol < 1.5 && op < 1048576 && speedup >= 8)
    printf "targets (< 1.5 s, < 1 GiB, >= 8x): %s\n", ok ? "met" : "NOT met"
    exit ok ? 0 : 1
}'
