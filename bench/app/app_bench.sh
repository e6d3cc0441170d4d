#!/bin/sh
# The desktop application's speed on a 100,000-track library (with one playlist of 20,000 songs
# added to the generated ones), against the command line on the same file.
# Usage: bench/app/app_bench.sh [BUILD_DIR]   (default build-release)
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build-release}
cmake --build "$build" --target app_bench kelvara-cli -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/generate_library.py "$work/Library.xml" --tracks 100000 --playlists 1000
/usr/bin/python3 - "$work/Library.xml" <<'PY'
import re, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
ids = re.findall(r"<key>Track ID</key><integer>(\d+)</integer>", text)[:20000]
items = "".join(f"\t\t\t\t<dict>\n\t\t\t\t\t<key>Track ID</key><integer>{i}</integer>\n\t\t\t\t</dict>\n" for i in ids)
entry = ("\t\t<dict>\n\t\t\t<key>Name</key><string>Twenty Thousand</string>\n"
         "\t\t\t<key>Playlist ID</key><integer>999999</integer>\n"
         "\t\t\t<key>Playlist Persistent ID</key><string>00000000000B1C20</string>\n"
         "\t\t\t<key>Playlist Items</key>\n\t\t\t<array>\n" + items + "\t\t\t</array>\n\t\t</dict>\n")
end = text.rindex("\t</array>\n</dict>\n</plist>")
open(path, "w", encoding="utf-8").write(text[:end] + entry + text[end:])
PY
"$build/bench/app_bench" "$work/Library.xml" "$build/src/kelvara-cli"
