#!/bin/sh
# Conversion speed against the ffmpeg command line, and peak memory for a short and a long song.
# Usage: bench/conversion_bench.sh [BUILD_DIR]   (a Release build directory; default build-conv-rel)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-conv-rel}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKELVARA_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target conversion_bench -j 2 >/dev/null
BENCH=$(find "$BUILD" -name conversion_bench -type f -perm -u+x | head -n 1)

SOURCES=$(mktemp -d)
trap 'rm -rf "$SOURCES"' EXIT
# Four minutes of pink noise over a melody: as hard for the encoders as real music.
SIGNAL="anoisesrc=color=pink:amplitude=0.3:sample_rate=44100:duration=240"
TONE="sine=frequency=440:sample_rate=44100:duration=240"
gen() { ffmpeg -v error -nostdin -y -f lavfi -i "$SIGNAL" -f lavfi -i "$TONE" \
        -filter_complex amix=inputs=2 -ac 2 "$@"; }
gen -c:a libmp3lame -b:a 256k "$SOURCES/song-mp3.mp3"
gen -c:a aac -b:a 256k "$SOURCES/song-aac.m4a"
gen -c:a alac "$SOURCES/song-alac.m4a"
gen -c:a pcm_s16le "$SOURCES/song-wav.wav"

echo "== wall time, best of 3 (MP3 192k q5, AAC 256k) =="
"$BENCH" compare "$SOURCES/song-mp3.mp3" "$SOURCES/song-aac.m4a" "$SOURCES/song-alac.m4a" "$SOURCES/song-wav.wav"

echo "== peak memory =="
ffmpeg -v error -nostdin -y -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=180" -ac 2 \
    -c:a libmp3lame -b:a 192k "$SOURCES/3min.mp3"
ffmpeg -v error -nostdin -y -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=3600" -ac 2 \
    -c:a libmp3lame -b:a 192k "$SOURCES/60min.mp3"
for kind in mp3 aac; do
    "$BENCH" memory-$kind "$SOURCES/3min.mp3"
    "$BENCH" memory-$kind "$SOURCES/60min.mp3"
done
echo "ffmpeg's own AAC encode of the 60-minute file, for comparison:"
/usr/bin/time -f "ffmpeg aac peak RSS %M KB" ffmpeg -v error -nostdin -y -i "$SOURCES/60min.mp3" -c:a aac -b:a 256k "$SOURCES/ffmpeg.m4a"
