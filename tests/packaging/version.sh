#!/usr/bin/env bash
# Both programs name the project's version, and the desktop application does so on a terminal with
# no display at all (a user checking what is installed over ssh); neither loads FFmpeg to start.
# Usage: version.sh KELVARA_CLI KELVARA VERSION
set -euo pipefail
cli=$1 app=$2 version=$3
failures=0
check() {  # what, expected, actual
    if [[ "$3" != "$2" ]]; then
        echo "FAIL: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

out=$("$cli" --version) || { echo "FAIL: kelvara-cli --version exited $?"; failures=$((failures + 1)); }
check "kelvara-cli --version" "kelvara-cli $version" "${out:-}"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app" --version 2>&1) ||
    { echo "FAIL: kelvara --version without a display exited $?"; failures=$((failures + 1)); }
check "kelvara --version without a display" "kelvara $version" "${out:-}"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app" --help 2>&1) ||
    { echo "FAIL: kelvara --help without a display exited $?"; failures=$((failures + 1)); }
[[ "${out:-}" == *"--music-folder"* ]] || { echo "FAIL: kelvara --help lists no options"; failures=$((failures + 1)); }

# Neither program loads FFmpeg to start (it costs every start some 30 ms): the first song that
# needs it does.
for program in "$cli" "$app"; do
    loaded=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LD_DEBUG=files "$program" --version 2>&1 |
        grep -c 'file=libav' || true)
    check "$(basename "$program") --version: FFmpeg libraries loaded" 0 "$loaded"
done

[[ $failures -eq 0 ]] && echo "version: all checks passed"
exit $((failures > 0))
