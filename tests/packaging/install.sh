#!/usr/bin/env bash
# Installs a build into a temporary folder (DESTDIR) the way a package build does, and checks what
# lands there: the file list, that the desktop entry, metadata and man pages pass their own
# validators, that the icons are the size their folder says, and that the man page and the bash
# completion know every option that `--help` shows.
# Usage: install.sh BUILD_DIR VERSION
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! DESTDIR="$root" cmake --install "$build" --prefix /usr >"$root.log" 2>&1; then
    cat "$root.log"; rm -f "$root.log"; fail "cmake --install"; exit 1
fi
rm -f "$root.log"
usr=$root/usr

got=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort "$here/installed-files.txt")
if [[ "$got" != "$expected" ]]; then
    fail "installed files differ from installed-files.txt (< expected, > installed):"
    diff <(echo "$expected") <(echo "$got")
fi
find "$usr" -type d -empty | grep -q . && fail "empty folders: $(find "$usr" -type d -empty)"

for program in kelvara kelvara-cli; do
    [[ -x $usr/bin/$program ]] || fail "$program is not executable"
done
out=$("$usr/bin/kelvara-cli" --version 2>&1) && [[ $out == "kelvara-cli $version" ]] ||
    fail "installed kelvara-cli --version: $out"

id=io.github.kelvara.Kelvara
desktop=$usr/share/applications/$id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $out ]] || fail "desktop-file-validate: $out"
exec_line=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -x $usr/bin/$exec_line ]] || fail "the desktop entry starts '$exec_line', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no scalable icon named $icon"

metainfo=$usr/share/metainfo/$id.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
# Facts the metadata states about the package must hold for what is installed.
out=$(/usr/bin/python3 - "$metainfo" "$usr" "$version" "$id" <<'PY'
import os, struct, sys, xml.etree.ElementTree as ET
metainfo, usr, version, app_id = sys.argv[1:]
root = ET.parse(metainfo).getroot()
problems = []
if root.findtext("id") != app_id:
    problems.append("id is %s" % root.findtext("id"))
launchable = root.findtext("launchable")
if not os.path.isfile(os.path.join(usr, "share/applications", launchable or "")):
    problems.append("launchable %s is not installed" % launchable)
for binary in root.iter("binary"):
    if not os.access(os.path.join(usr, "bin", binary.text), os.X_OK):
        problems.append("provided binary %s is not installed" % binary.text)
releases = [r.get("version") for r in root.iter("release")]
if not releases or releases[0] != version:
    problems.append("the newest release is %s, the project's version %s" % (releases[:1], version))
# Every PNG icon is the size of its folder.
icons = os.path.join(usr, "share/icons/hicolor")
for folder in sorted(os.listdir(icons)):
    if folder == "scalable":
        continue
    for name in os.listdir(os.path.join(icons, folder, "apps")):
        with open(os.path.join(icons, folder, "apps", name), "rb") as png:
            head = png.read(24)
        if head[:8] != b"\x89PNG\r\n\x1a\n":
            problems.append("%s/%s is not a PNG file" % (folder, name))
            continue
        width, height = struct.unpack(">II", head[16:24])
        if folder != "%dx%d" % (width, height):
            problems.append("%s/%s is %dx%d" % (folder, name, width, height))
print("\n".join(problems))
PY
)
[[ -z $out ]] || fail "metadata and icons: $out"

for page in kelvara-cli kelvara; do
    file=$usr/share/man/man1/$page.1.gz
    out=$(zcat "$file" | LC_ALL=C.UTF-8 groff -ww -man -Tutf8 -z 2>&1) && [[ -z $out ]] ||
        fail "groff -ww on $page.1: $out"
done

# The long options of each command's help, compared with what the man page and the bash
# completion know. Options only the help knows are what users will miss.
cli=$usr/bin/kelvara-cli
manual=$(zcat "$usr/share/man/man1/kelvara-cli.1.gz" | sed 's/\\-/-/g')
completion=$(cat "$usr/share/bash-completion/completions/kelvara-cli")
for command in "" playlists albums songs list export options "options set"; do
    # shellcheck disable=SC2086
    options=$("$cli" $command --help | grep -o -- '--[a-z][a-z0-9-]*' | LC_ALL=C sort -u)
    for option in $options; do
        grep -q -- "$option\b" <<<"$manual" || fail "kelvara-cli.1 lacks $command $option"
        grep -q -- "$option\b" <<<"$completion" || fail "the bash completion lacks $command $option"
    done
done
app_manual=$(zcat "$usr/share/man/man1/kelvara.1.gz" | sed 's/\\-/-/g')
for option in $(env -u DISPLAY "$usr/bin/kelvara" --help | grep -o -- '--[a-z][a-z0-9-]*' | LC_ALL=C sort -u); do
    grep -q -- "$option\b" <<<"$app_manual" || fail "kelvara.1 lacks $option"
done

[[ $failures -eq 0 ]] && echo "install: all checks passed"
exit $((failures > 0))
