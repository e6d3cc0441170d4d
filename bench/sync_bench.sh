#!/bin/sh
# Keeping a destination in step: a second copy export over 2,000 unchanged songs, against the first
# run and against `rsync -a --dry-run` of the same tree. The second run uses --update when the
# command line has it, else --skip-existing (which stats each file the same way).
# Usage: bench/sync_bench.sh [BUILD_DIR] [SONGS=2000] [KILOBYTES=200]
#   (a Release build directory; default build-release)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-release}
SONGS=${2:-2000}
KILOBYTES=${3:-200}
command -v rsync >/dev/null || { echo "sync_bench: rsync is not installed" >&2; exit 1; }
if [ ! -x "$BUILD/src/kelvara-cli" ]; then
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKELVARA_TESTS=OFF >/dev/null
    cmake --build "$BUILD" --target kelvara-cli -j 2 >/dev/null
fi
CLI=$(find "$BUILD" -name kelvara-cli -type f -perm -u+x | head -n 1)

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home"

# Random bytes named .mp3 are enough for a copy; 20 artists of 100 songs make a tree to walk.
/usr/bin/python3 - "$WORK" "$SONGS" "$KILOBYTES" <<'PY'
import os, sys
from urllib.parse import quote
work, songs, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024
tracks, ids = [], []
for i in range(1, songs + 1):
    folder = f"Artist {i % 20:02d}"
    name = f"Song {i:05d}.mp3"
    os.makedirs(os.path.join(work, "music", folder), exist_ok=True)
    with open(os.path.join(work, "music", folder, name), "wb") as f:
        f.write(os.urandom(size))
    location = "file:///Users/demo/Music/" + quote(folder) + "/" + quote(name)
    tracks.append(f"""<key>{i}</key><dict><key>Track ID</key><integer>{i}</integer>
<key>Name</key><string>Song {i}</string><key>Artist</key><string>{folder}</string>
<key>Album</key><string>Album {i % 50}</string><key>Kind</key><string>MPEG audio file</string>
<key>Persistent ID</key><string>{i:016X}</string><key>Location</key><string>{location}</string></dict>""")
    ids.append(f"<dict><key>Track ID</key><integer>{i}</integer></dict>")
with open(os.path.join(work, "Library.xml"), "w") as f:
    f.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple Computer//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>Major Version</key><integer>1</integer>
<key>Music Folder</key><string>file:///Users/demo/Music/</string>
<key>Tracks</key><dict>{''.join(tracks)}</dict>
<key>Playlists</key><array><dict><key>Name</key><string>Bench</string>
<key>Playlist ID</key><integer>900</integer><key>Playlist Persistent ID</key><string>0000000000000900</string>
<key>Playlist Items</key><array>{''.join(ids)}</array></dict></array></dict></plist>
""")
PY

if HOME="$WORK/home" "$CLI" export --help | grep -q -- '--update'; then
    MODE=--update
else
    MODE=--skip-existing
fi

# Prints the seconds a command takes.
timed() {
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}
export_run() {
    HOME="$WORK/home" "$CLI" --library "$WORK/Library.xml" --music-folder "$WORK/music" \
        --config-dir "$WORK/config" export --all --to "$WORK/out" "$@"
}
# The best of three, so that one hiccup of a shared machine does not decide.
best_of_three() {
    a=$(timed "$@")
    b=$(timed "$@")
    c=$(timed "$@")
    printf '%s\n%s\n%s\n' "$a" "$b" "$c" | sort -n | head -n 1
}

# The first run records what it wrote, so that the second one has a record to go by.
first=$(timed export_run "$MODE")
second=$(best_of_three export_run "$MODE")
rsync -a "$WORK/music/" "$WORK/mirror/"
rsync_dry=$(best_of_three rsync -a --dry-run "$WORK/music/" "$WORK/mirror/")
exported=$(find "$WORK/out" -type f -name '*.mp3' | wc -l)

echo "songs: $SONGS of $KILOBYTES KB ($exported exported); second run with $MODE"
awk -v f="$first" -v s="$second" -v r="$rsync_dry" 'BEGIN {
    printf "first run:              %7.3f s\n", f
    printf "second run:             %7.3f s  (%.1f%% of the first)\n", s, 100 * s / f
    printf "rsync -a --dry-run:     %7.3f s\n", r
    printf "second run / rsync:     %7.2f x  (target: 2 x at most)\n", s / r
}'
