# bash completion for kelvara-cli: commands, options, and the names of the library's playlists
# and albums, read from the library that the command line being typed would open.

_kelvara_cli_dequote() {
    # The word as the program will receive it: typed quotes and backslashes taken away.
    local word=$1
    case $word in
        \'*) word=${word#\'}; word=${word%\'} ;;
        \"*) word=${word#\"}; word=${word%\"} ;;
        *) word=$(printf '%s' "$word" | sed 's/\\\(.\)/\1/g') ;;
    esac
    printf '%s' "$word"
}

# Prints the names of `playlists` or `albums`, one a line, with the library options of the line.
_kelvara_cli_names() {
    local what=$1 program=${COMP_WORDS[0]} i word
    local -a args=()
    [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --library | --music-folder | --map | --config-dir)
                if ((i + 1 < COMP_CWORD)); then
                    word=$(_kelvara_cli_dequote "${COMP_WORDS[i + 1]}")
                    [[ $word == "~/"* ]] && word=$HOME/${word#"~/"}
                    args+=("${COMP_WORDS[i]}" "$word")
                fi
                ;;
        esac
    done
    "$program" "${args[@]}" "$what" --names 2>/dev/null </dev/null
}

_kelvara_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local global='--library --music-folder --map --config-dir --help --help-all --version'
    local commands='playlists albums songs list export options'
    local command='' subcommand='' i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --library | --music-folder | --map | --config-dir) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${COMP_WORDS[i]}
                elif [[ -z $subcommand ]]; then
                    subcommand=${COMP_WORDS[i]}
                fi
                ;;
        esac
    done

    local IFS=$'\n'
    case $prev in
        --library | --log)
            compopt -o filenames
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --to)
            compopt -o filenames
            if [[ $command == list ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
            else
                COMPREPLY=($(compgen -d -- "$cur"))
            fi
            return
            ;;
        --music-folder | --config-dir)
            compopt -o filenames
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --playlist | --album)
            local what=playlists
            [[ $prev == --album ]] && what=albums
            # Names hold spaces and quotes: bash quotes them as it does file names. They are
            # matched here rather than by compgen -W, which would expand $(...) inside a name.
            local prefix name
            prefix=$(_kelvara_cli_dequote "$cur")
            COMPREPLY=()
            while IFS= read -r name; do
                [[ $name == "$prefix"* ]] && COMPREPLY+=("$name")
            done < <(_kelvara_cli_names "$what")
            compopt -o filenames
            return
            ;;
        --map | --playlist-id | --format | --jobs | --sort)
            return
            ;;
        --type) COMPREPLY=($(compgen -W $'csv\nxls\nxlsx' -- "$cur")); return ;;
        --encoding) COMPREPLY=($(compgen -W $'utf8\nlatin1\nascii' -- "$cur")); return ;;
        --mp3) COMPREPLY=($(compgen -W $'0\n128\n160\n192\n256' -- "$cur")); return ;;
        --aac) COMPREPLY=($(compgen -W $'0\n128\n160\n192\n256\n320' -- "$cur")); return ;;
        --pattern) COMPREPLY=($(compgen -W $'0\n1\n2\n3\n4\n5' -- "$cur")); return ;;
        --layout) COMPREPLY=($(compgen -W $'0\n1\n2\n3\n4' -- "$cur")); return ;;
        --order) COMPREPLY=($(compgen -W $'0\n1\n2\n3\n4\n5\n6\n7' -- "$cur")); return ;;
        --track-digits) COMPREPLY=($(compgen -W $'0\n1\n2\n3' -- "$cur")); return ;;
        --columns)
            # Complete the identifier after the last comma.
            local done=${cur%"${cur##*,}"} id
            local ids='title artist time album genre year kind bitrate path track disk playCount bpm
                albumArtist sortArtist sortAlbum sortTitle sortAlbumArtist composer sortComposer
                releaseDate addedDate modifiedDate lastPlayedDate comments description rating'
            COMPREPLY=()
            for id in $(compgen -W "${ids//[[:space:]]/$'\n'}" -- "${cur##*,}"); do
                COMPREPLY+=("$done$id")
            done
            compopt -o nospace
            return
            ;;
    esac

    local options=''
    case $command in
        '') options=$commands ;;
        playlists | albums) options='--json' ;;
        songs) options='--playlist --album --json' ;;
        list) options='--playlist --album --ticked --current --all --albums --to --type --columns
            --sort --open' ;;
        export) options='--playlist --playlist-id --album --ticked --all --albums --to --log
            --verbose --m3u --no-m3u --pattern --format --track-digits --mp3 --aac --copy --jobs
            --artwork --artist-folder --layout --encoding --crlf --windows-paths --m3u-in-root
            --overwrite --skip-existing --order --descending --keep-hidden-files --convert-lossy
            --no-convert-lossy --convert-same-type --update --mirror --dry-run --json' ;;
        options)
            if [[ -z $subcommand ]]; then
                options='set'
            elif [[ $subcommand == set && $prev == set ]]; then
                options='OrginizeFilesOption SaveM3uWithFiles SkipIfExists WindowsPaths
                    DontConvertSameType DontConvertLossyFormats LineEnding Algorithm TracksOrder
                    OrderAscending PlaylistEncoding DeleteHiddenFiles ParallelSongs MirrorDestination'
            fi
            ;;
    esac
    if [[ $cur == -* ]]; then
        options="$options $global"
    fi
    COMPREPLY=($(compgen -W "${options//[[:space:]]/$'\n'}" -- "$cur"))
}

complete -F _kelvara_cli kelvara-cli
