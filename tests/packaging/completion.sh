#!/usr/bin/env bash
# The bash completion of kelvara-cli, run as bash runs it: the word list of a command line being
# typed goes in, the candidates come out. Names come from the real program on a real library.
# Usage: completion.sh KELVARA_CLI COMPLETION_FILE LIBRARY_XML
set -uo pipefail
cli=$1 script=$2 library=$3
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
failures=0

# shellcheck source=/dev/null
source "$script"
registered=$(complete -p kelvara-cli 2>&1)
[[ $registered == "complete -F _kelvara_cli kelvara-cli" ]] ||
    { echo "FAIL: complete -p kelvara-cli: $registered"; failures=$((failures + 1)); }

# expect "WHAT" "EXPECTED (one per line, sorted)" WORD... ; the last word is the one completed.
expect() {
    local what=$1 expected=$2
    shift 2
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _kelvara_cli 2>/dev/null
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
    expected=$(printf '%s\n' "$expected" | LC_ALL=C sort)
    if [[ "$got" != "$expected" ]]; then
        echo "FAIL: $what"
        echo "  expected: ${expected//$'\n'/|}"
        echo "  got:      ${got//$'\n'/|}"
        failures=$((failures + 1))
    fi
}
lib=(--library "$library" --config-dir "$config")

expect "commands" $'export' ex
expect "every command" $'albums\nexport\nlist\noptions\nplaylists\nsongs' ''
expect "global options before a command" $'--map\n--music-folder' --m
expect "export's options and the global ones" \
    $'--config-dir\n--convert-lossy\n--convert-same-type\n--copy\n--crlf' export --c
expect "global options after a command" $'--layout\n--library\n--log' export --l
expect "list's options differ from export's" $'--columns\n--config-dir\n--current' list --c
expect "a choice of values" $'xls\nxlsx' list --type x
expect "MP3 rates" $'128\n160\n192' export --mp3 1
expect "AAC rates go higher" $'320' export --aac 3
expect "option keys" $'DeleteHiddenFiles\nDontConvertLossyFormats\nDontConvertSameType' options set D
expect "column identifiers after a comma" $'title,artist,album\ntitle,artist,albumArtist' \
    list --columns title,artist,al
expect "a value is not taken for the command" $'--json' "${lib[@]}" playlists --j

# Playlist names, with no-break spaces, a colon and a dash, read from the library on the line.
playlists=$("$cli" "${lib[@]}" playlists --names)
[[ $(wc -l <<<"$playlists") -eq 4 && $playlists == *Nocturnes* ]] ||
    { echo "FAIL: playlists --names: $playlists"; failures=$((failures + 1)); }
expect "playlist names" "$(grep Nocturnes <<<"$playlists")" "${lib[@]}" export --playlist Art
expect "playlist names from a quoted start" $'Calm' "${lib[@]}" export --playlist "'Ca"
expect "playlist names after backslashes" $'Depression Time' \
    "${lib[@]}" export --playlist 'Depression\ T'
expect "every playlist" "$playlists" "${lib[@]}" songs --playlist ''
expect "the library option after the command" $'Depression Time' \
    export --to /tmp --library "$library" --config-dir "$config" --playlist De
# Album names as --album takes them; one holds an apostrophe, which must come back as it is.
album=$("$cli" "${lib[@]}" albums --names | grep -m 1 "'")
[[ -n $album ]] || { echo "FAIL: albums --names printed no name with an apostrophe"; failures=$((failures + 1)); }
expect "album names" "$album" "${lib[@]}" export --album "${album%%\'*}"
expect "no names without a library" '' --library /nonexistent/Library.xml export --playlist ''

[[ $failures -eq 0 ]] && echo "completion: all checks passed"
exit $((failures > 0))
