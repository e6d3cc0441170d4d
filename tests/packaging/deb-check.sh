#!/usr/bin/env bash
# Checks a built .deb: it depends on the FFmpeg it loads, lintian reports no error; then, as root,
# apt-get installs it (pulling in its Depends), the installed kelvara-cli answers --version, and a
# purge leaves none of its files.
# Usage: deb-check.sh kelvara_VERSION_ARCH.deb
set -euo pipefail
deb=$(realpath "$1")
package=$(dpkg-deb --field "$deb" Package)
version=$(dpkg-deb --field "$deb" Version)

echo "== $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, installed size $(dpkg-deb --field "$deb" Installed-Size) KiB"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
# FFmpeg is loaded, not linked: only the package's own Depends bring it to a user's machine.
for library in libavformat libavcodec libswresample libavutil; do
    [[ $depends =~ (^|, )$library[0-9]+ ]] || { echo "FAIL: Depends lacks $library"; exit 1; }
done
echo "== lintian"
lintian --fail-on error --info "$deb"

if [[ $(id -u) -ne 0 ]]; then
    echo "Not root: the install and purge check is left out."
    exit 0
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    echo "$package is installed already; the install and purge check would remove it: left out."
    exit 0
fi
echo "== apt-get install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends "$deb"
installed=$(dpkg-query -L "$package")
files=$(while read -r path; do if [[ -f $path ]]; then echo "$path"; fi; done <<<"$installed")
folders=$(while read -r path; do if [[ -d $path ]]; then echo "$path"; fi; done <<<"$installed")
out=$(kelvara-cli --version)
[[ $out == "kelvara-cli $version" ]] || { echo "FAIL: installed kelvara-cli --version: $out"; exit 1; }
echo "kelvara-cli --version: $out"
echo "== apt-get purge"
apt-get purge -y "$package"
left=$(while read -r path; do if [[ -e $path ]]; then echo "$path"; fi; done <<<"$files")
# A folder may stay only while another package owns it (/usr/share/man/man1 and the like).
while read -r folder; do
    if [[ -e $folder ]] && ! dpkg-query -S "$folder" >/dev/null 2>&1; then left+=$'\n'"$folder"; fi
done <<<"$folders"
left=$(sed '/^$/d' <<<"$left")
[[ -z $left ]] || { echo "FAIL: left after purge:"; echo "$left"; exit 1; }
echo "deb-check: all checks passed ($(wc -w <<<"$files") files installed and removed)"
