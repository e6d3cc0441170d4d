# fish completion for kelvara-cli: commands, options, and the names of the library's playlists and
# albums, read from the library that the command line being typed would open.

set -l commands playlists albums songs list export options

# The names that `playlists --names` or `albums --names` prints, with the line's library options.
function __kelvara_cli_names -a what
    set -l words (commandline -opc)
    set -l args
    for i in (seq 2 (count $words))
        switch $words[$i]
            case --library --music-folder --map --config-dir
                if test $i -lt (count $words)
                    set -a args $words[$i] $words[(math $i + 1)]
                end
        end
    end
    $words[1] $args $what --names 2>/dev/null
end

complete -c kelvara-cli -f
complete -c kelvara-cli -l library -r -F -d "The library's XML file"
complete -c kelvara-cli -l music-folder -r -a '(__fish_complete_directories)' -d 'Local copy of the music folder'
complete -c kelvara-cli -l map -r -d 'FROM=TO: read locations starting with FROM under TO'
complete -c kelvara-cli -l config-dir -r -a '(__fish_complete_directories)' -d 'Folder of preferences.json'
complete -c kelvara-cli -s h -l help -d 'Print help and exit'
complete -c kelvara-cli -l help-all -d 'Print the help of every command'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version'

complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a playlists -d 'List the playlists'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a albums -d 'List the album catalogue'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a songs -d 'List the songs of a playlist or album'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a list -d 'Write a listing of songs'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a export -d 'Export playlists or albums'
complete -c kelvara-cli -n "not __fish_seen_subcommand_from $commands" -a options -d 'Show or set the export options'

complete -c kelvara-cli -n '__fish_seen_subcommand_from playlists albums songs' -l json -d 'Print JSON'
complete -c kelvara-cli -n '__fish_seen_subcommand_from songs list export' -l playlist -x -a '(__kelvara_cli_names playlists)' -d 'Playlist'
complete -c kelvara-cli -n '__fish_seen_subcommand_from songs list export' -l album -x -a '(__kelvara_cli_names albums)' -d 'Album'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list export' -l ticked -d 'The ticked playlists or albums'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list export' -l all -d 'All shown playlists or albums'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list export' -l albums -d 'Albums instead of playlists'

complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l current -d 'The selected playlist or album'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l to -r -F -d 'The listing file'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l type -x -a 'csv xls xlsx' -d 'File type'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l columns -x -d 'Column identifiers, comma-separated'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l sort -x -d 'CSV sort keys'
complete -c kelvara-cli -n '__fish_seen_subcommand_from list' -l open -d 'Open the saved file'

complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l playlist-id -x -d 'A playlist by persistent ID'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l to -x -a '(__fish_complete_directories)' -d 'Destination folder'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l log -r -F -d 'Also save the log here'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l verbose -d 'Diagnostic lines on stderr'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l m3u -d 'Write m3u files'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l no-m3u -d 'Write no m3u files'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l pattern -x -a '0\t"source name" 1\t"number title" 2\t"artist album title" 3\t"number artist album title" 4\ttitle 5\tcustom' -d 'File names'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l format -x -d 'Custom file-name pattern'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l track-digits -x -a '0 1 2 3' -d 'Track number width'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l mp3 -x -a '0 128 160 192 256' -d 'Convert to MP3 at RATE kbit/s'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l aac -x -a '0 128 160 192 256 320' -d 'Convert to AAC at RATE kbit/s'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l copy -d 'Copy the files as they are'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l jobs -x -d 'Songs converted at once, 0 for every core'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l artwork -d 'Save album artwork files'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l artist-folder -d 'Album folders inside artist folders'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l layout -x -a '0\t"playlist or album" 1\tMusic/Artist/Album 2\tMusic 3\troot 4\tArtist/Album' -d 'Folders'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l encoding -x -a 'utf8 latin1 ascii' -d 'Names and m3u text'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l crlf -d 'm3u lines end with CR LF'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l windows-paths -d 'm3u paths with backslashes'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l m3u-in-root -d 'm3u files in the destination'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l overwrite -d 'Replace existing files'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l skip-existing -d 'Leave existing files alone'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l update -d 'Write a song again only when it changed'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l mirror -d 'Remove what is no longer exported'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l dry-run -d 'Write nothing; print the plan'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l json -d 'With --dry-run: the plan as JSON'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l order -x -a '0\tplaylist 1\tartist 2\ttitle 3\talbum 4\tyear 5\t"date added" 6\t"play count" 7\tshuffle' -d 'Song order'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l descending -d 'Sort descending'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l keep-hidden-files -d 'Keep .DS_Store and the like'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l convert-lossy -d 'Re-encode MP3 and AAC songs too'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l no-convert-lossy -d 'Never re-encode MP3 and AAC songs'
complete -c kelvara-cli -n '__fish_seen_subcommand_from export' -l convert-same-type -d 'Re-encode songs already in the target format'

complete -c kelvara-cli -n '__fish_seen_subcommand_from options; and not __fish_seen_subcommand_from set' -a set -d 'Store one option'
complete -c kelvara-cli -n '__fish_seen_subcommand_from set' -a 'OrginizeFilesOption SaveM3uWithFiles SkipIfExists WindowsPaths DontConvertSameType DontConvertLossyFormats LineEnding Algorithm TracksOrder OrderAscending PlaylistEncoding DeleteHiddenFiles ParallelSongs MirrorDestination'
