#!/bin/sh
# An MP3 192 kbit/s export of 24 songs of 3 to 4 minutes (6 each of MP3, AAC, ALAC and WAV
# sources; the MP3 songs are copied, as the default options do) with one song at a time and with
# several at once, side by side in one run on the same machine.
# Usage: bench/parallel_export.sh [BUILD_DIR]   (a Release build directory; default build-release)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-release}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKELVARA_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target kelvara-cli -j 2 >/dev/null
CLI=$(find "$BUILD" -name kelvara-cli -type f -perm -u+x | head -n 1)

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/music" "$WORK/home/Documents"
i=0
for kind in mp3 aac alac wav; do
    for n in 1 2 3 4 5 6; do
        i=$((i + 1))
        seconds=$((180 + i * 2))
        case $kind in
            mp3) codec="-c:a libmp3lame -b:a 256k"; ext=mp3 ;;
            aac) codec="-c:a aac -b:a 256k"; ext=m4a ;;
            alac) codec="-c:a alac"; ext=m4a ;;
            wav) codec="-c:a pcm_s16le"; ext=wav ;;
        esac
        # Pink noise over a melody: as hard for the encoder as real music.
        # shellcheck disable=SC2086
        ffmpeg -v error -nostdin -y \
            -f lavfi -i "anoisesrc=color=pink:amplitude=0.3:sample_rate=44100:duration=$seconds:seed=$i" \
            -f lavfi -i "sine=frequency=$((200 + i * 20)):sample_rate=44100:duration=$seconds" \
            -filter_complex amix=inputs=2 -ac 2 $codec "$WORK/music/$kind-$n.$ext"
    done
done

/usr/bin/python3 - "$WORK" <<'EOF'
import os, sys
work = sys.argv[1]
kinds = {"mp3": "MPEG audio file", "aac": "AAC audio file", "alac": "Apple Lossless audio file",
         "wav": "WAV audio file"}
tracks, ids = [], []
for i, name in enumerate(sorted(os.listdir(os.path.join(work, "music"))), start=1):
    kind = kinds[name.split("-")[0]]
    tracks.append(f"""<key>{i}</key><dict><key>Track ID</key><integer>{i}</integer>
<key>Name</key><string>Song {i}</string><key>Artist</key><string>Bench</string>
<key>Kind</key><string>{kind}</string><key>Persistent ID</key><string>{i:016X}</string>
<key>Location</key><string>file:///Users/demo/Music/{name}</string></dict>""")
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
EOF

# Prints the seconds of one export with `--jobs $1`, into a fresh folder; the processor time it
# took goes to stderr.
export_with() {
    rm -rf "$WORK/out"
    start=$(date +%s.%N)
    HOME="$WORK/home" /usr/bin/time -f "--jobs $1: %U s user, %S s system, %P of a core" \
        "$CLI" --library "$WORK/Library.xml" --music-folder "$WORK/music" \
        --config-dir "$WORK/config" export --playlist Bench --to "$WORK/out" --mp3 192 \
        --no-m3u --jobs "$1" >/dev/null 2>"$WORK/time"
    end=$(date +%s.%N)
    tail -n 1 "$WORK/time" >&2
    echo "$start $end" | awk '{ printf "%.1f", $2 - $1 }'
}

echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
serial=$(export_with 1)
all=$(export_with 0)
two=$(export_with 2)
four=$(export_with 4)
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v s="$serial" -v a="$all" -v t="$two" -v f="$four" -v cores="$(nproc)" 'BEGIN {
    printf "--jobs 1: %6.1f s  %5.1f songs/min\n", s, 24 * 60 / s
    printf "--jobs 0: %6.1f s  %5.1f songs/min  (%.2f x --jobs 1)\n", a, 24 * 60 / a, s / a
    printf "--jobs 2: %6.1f s  %5.1f songs/min\n", t, 24 * 60 / t
    printf "--jobs 4: %6.1f s  %5.1f songs/min  (%.2f x --jobs 2)\n", f, 24 * 60 / f, t / f
    per = 24 * 60 / a / cores
    printf "per core: %.1f songs/min; by arithmetic, 4 cores ~%.0f, 8 cores ~%.0f songs/min\n", \
        per, 4 * per, 8 * per
}'
