#!/bin/sh
# Makes the demo library: short real audio files under Music/ (made with the ffmpeg command-line
# tool) and Library.xml, an iTunes library file as a Mac would write it, whose locations lie under
# file:///Users/demo/Music/iTunes/iTunes%20Media/ so that `--music-folder examples/demo/Music`
# maps them here. The outputs are kept in the repository; run this only to remake them.
#
# Needs: ffmpeg, ffprobe, python3.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
music="$here/Music"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

rm -rf "$music"
mkdir -p "$music"

# Same input, same bytes: no encoder version or creation time in the files.
ff() {
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@"
}
exact="-fflags +bitexact -flags:a +bitexact -flags:v +bitexact"

# Two small covers: plain colour with a label, and the test pattern.
ff -f lavfi -i "color=c=0x2b5d8a:s=300x300,drawbox=x=40:y=40:w=220:h=220:color=0xf2c14e:t=fill" \
    -frames:v 1 $exact "$work/cover-first-light.jpg"
ff -f lavfi -i "testsrc=size=300x300:rate=1" -frames:v 1 $exact "$work/cover-world.png"

# tone FILE_WITHOUT_EXTENSION FREQUENCY SECONDS -> a stereo WAV to encode from
tone() {
    ff -f lavfi -i "sine=frequency=$2:duration=$3:sample_rate=44100" \
        -f lavfi -i "sine=frequency=$(($2 * 3 / 2)):duration=$3:sample_rate=44100" \
        -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo,volume=0.4" \
        -c:a pcm_s16le $exact "$1"
}

# song SOURCE_WAV DESTINATION COVER(or -) TITLE ARTIST ALBUM_ARTIST ALBUM TRACK DISC YEAR GENRE [CODEC]
# CODEC chooses between AAC (the default) and Apple Lossless ("alac") for .m4a files.
song() {
    src=$1 dest=$2 cover=$3 codec=${12:-aac}
    mkdir -p "$(dirname "$dest")"
    set -- -metadata "title=$4" -metadata "artist=$5" -metadata "album_artist=$6" \
        -metadata "album=$7" -metadata "track=$8" -metadata "disc=$9" -metadata "date=${10}" \
        -metadata "genre=${11}"
    case "$dest" in
    *.mp3)
        if [ "$cover" = - ]; then
            ff -i "$src" -map 0:a -c:a libmp3lame -b:a 128k -id3v2_version 3 "$@" $exact "$dest"
        else
            ff -i "$src" -i "$cover" -map 0:a -map 1:v -c:a libmp3lame -b:a 128k -c:v copy \
                -id3v2_version 3 -metadata:s:v "title=Album cover" -metadata:s:v "comment=Cover (front)" \
                "$@" $exact "$dest"
        fi ;;
    *.m4a)
        if [ "$cover" = - ]; then
            ff -i "$src" -map 0:a -c:a $codec -b:a 128k "$@" $exact "$dest"
        else
            ff -i "$src" -i "$cover" -map 0:a -map 1:v -c:a $codec -b:a 128k -c:v copy \
                -disposition:v:0 attached_pic "$@" $exact "$dest"
        fi ;;
    *.wav) ff -i "$src" -map 0:a -c:a pcm_s16le "$@" $exact "$dest" ;;
    *.aiff) ff -i "$src" -map 0:a -c:a pcm_s16be -write_id3v2 1 "$@" $exact "$dest" ;;
    esac
}

media="$music/Music"
tone "$work/a.wav" 330 4
tone "$work/b.wav" 392 4
tone "$work/c.wav" 440 3
tone "$work/d.wav" 494 3
tone "$work/e.wav" 262 3

song "$work/a.wav" "$media/Aurora Fields/First Light/01 Morning Light.mp3" "$work/cover-first-light.jpg" \
    "Morning Light" "Aurora Fields" "Aurora Fields" "First Light" 1/3 1/1 2019 Ambient
song "$work/b.wav" "$media/Aurora Fields/First Light/02 Café du Matin.m4a" "$work/cover-first-light.jpg" \
    "Café du Matin" "Aurora Fields" "Aurora Fields" "First Light" 2/3 1/1 2019 Ambient
song "$work/c.wav" "$media/The Quiet Hours/Night Sessions/1-01 Blue Hour.m4a" - \
    "Blue Hour" "The Quiet Hours" "The Quiet Hours" "Night Sessions" 1/1 1/2 2021 Jazz alac
song "$work/d.wav" "$media/The Quiet Hours/Night Sessions/2-01 Νυχτερινό Τραγούδι.wav" - \
    "Νυχτερινό Τραγούδι" "The Quiet Hours" "The Quiet Hours" "Night Sessions" 1/1 2/2 2021 Jazz
song "$work/e.wav" "$media/Compilations/Sounds of the World/01 さくら.aiff" - \
    "さくら" "Hanami Trio" "Various Artists" "Sounds of the World" 1/3 1/1 2020 World
song "$work/a.wav" "$media/Compilations/Sounds of the World/02 Καλοκαίρι.mp3" "$work/cover-world.png" \
    "Καλοκαίρι" "Ελένη Παπαδοπούλου" "Various Artists" "Sounds of the World" 2/3 1/1 2020 World
song "$work/b.wav" "$media/Compilations/Sounds of the World/03 Señal.m4a" "$work/cover-world.png" \
    "Señal" "Los Ecos" "Various Artists" "Sounds of the World" 3/3 1/1 2020 World

# A short video for the library's video entry.
mkdir -p "$music/Movies/Concert Clip"
ff -f lavfi -i "testsrc=size=160x120:rate=10:duration=2" -f lavfi -i "sine=frequency=523:duration=2" \
    -c:v mpeg4 -q:v 10 -c:a aac -b:a 64k -metadata "title=Concert Clip" $exact \
    "$music/Movies/Concert Clip/Concert Clip.m4v"

# The library file, from what is on disk.
/usr/bin/python3 - "$music" "$here/Library.xml" <<'PYTHON'
import json, os, subprocess, sys, unicodedata, urllib.parse
from xml.sax.saxutils import escape

music, output = sys.argv[1], sys.argv[2]
FOLDER = "file:///Users/demo/Music/iTunes/iTunes%20Media/"

def url(relative):
    # A Mac writes its file names decomposed (NFD) in the library's URLs.
    return FOLDER + urllib.parse.quote(unicodedata.normalize("NFD", relative))

def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration,bit_rate",
                          "-of", "json", path], capture_output=True, text=True, check=True).stdout
    fmt = json.loads(out)["format"]
    return int(float(fmt["duration"]) * 1000), int(fmt.get("bit_rate", 0)) // 1000

# (id, persistent id, relative path or None, fields)
tracks = []
def track(tid, pid, relative, **fields):
    tracks.append((tid, pid, relative, fields))

common = dict(Year=2019, Genre="Ambient")
track(201, "6A2B0C1D2E3F4051", "Music/Aurora Fields/First Light/01 Morning Light.mp3",
      Name="Morning Light", Artist="Aurora Fields", AlbumArtist="Aurora Fields", Album="First Light",
      Kind="MPEG audio file", TrackNumber=1, TrackCount=3, DiscNumber=1, DiscCount=1, Rating=80,
      PlayCount=12, ArtworkCount=1, **common)
track(203, "6A2B0C1D2E3F4052", "Music/Aurora Fields/First Light/02 Café du Matin.m4a",
      Name="Café du Matin", Artist="Aurora Fields", AlbumArtist="Aurora Fields", Album="First Light",
      Kind="AAC audio file", TrackNumber=2, TrackCount=3, DiscNumber=1, DiscCount=1, Rating=60,
      PlayCount=3, ArtworkCount=1, Comments="Café au lait & croissants", **common)
track(205, "6A2B0C1D2E3F4053", "Music/Aurora Fields/First Light/03 Evening Glow.mp3",
      Name="Evening Glow", Artist="Aurora Fields", AlbumArtist="Aurora Fields", Album="First Light",
      Kind="MPEG audio file", TrackNumber=3, TrackCount=3, DiscNumber=1, DiscCount=1,
      TotalTime=241000, Size=3856384, BitRate=128, **common)  # its file is missing
night = dict(Artist="The Quiet Hours", AlbumArtist="The Quiet Hours", Album="Night Sessions",
             SortArtist="Quiet Hours", SortAlbumArtist="Quiet Hours", Year=2021, Genre="Jazz", DiscCount=2)
track(207, "6A2B0C1D2E3F4054", "Music/The Quiet Hours/Night Sessions/1-01 Blue Hour.m4a",
      Name="Blue Hour", Kind="Apple Lossless audio file", TrackNumber=1, TrackCount=1, DiscNumber=1,
      Composer="M. Laurent", BPM=92, **night)
track(209, "6A2B0C1D2E3F4055", "Music/The Quiet Hours/Night Sessions/2-01 Νυχτερινό Τραγούδι.wav",
      Name="Νυχτερινό Τραγούδι", Kind="WAV audio file", TrackNumber=1, TrackCount=1, DiscNumber=2,
      **night)
world = dict(AlbumArtist="Various Artists", Album="Sounds of the World", Compilation=True, Year=2020,
             Genre="World", TrackCount=3, DiscNumber=1, DiscCount=1)
track(211, "6A2B0C1D2E3F4056", "Music/Compilations/Sounds of the World/01 さくら.aiff",
      Name="さくら", Artist="Hanami Trio", Kind="AIFF audio file", TrackNumber=1, SortName="Sakura", **world)
track(213, "6A2B0C1D2E3F4057", "Music/Compilations/Sounds of the World/02 Καλοκαίρι.mp3",
      Name="Καλοκαίρι", Artist="Ελένη Παπαδοπούλου", Kind="MPEG audio file", TrackNumber=2,
      ArtworkCount=1, **world)
track(215, "6A2B0C1D2E3F4058", "Music/Compilations/Sounds of the World/03 Señal.m4a",
      Name="Señal", Artist="Los Ecos", Kind="AAC audio file", TrackNumber=3, ArtworkCount=1, **world)
track(217, "6A2B0C1D2E3F4059", "Music/Aurora Fields/Store Single/01 Protected Dream.m4p",
      Name="Protected Dream", Artist="Aurora Fields", AlbumArtist="Aurora Fields", Album="Store Single",
      Kind="Protected AAC audio file", Protected=True, TrackNumber=1, Year=2008, Genre="Pop",
      TotalTime=198000, Size=3301376, BitRate=128)
track(219, "6A2B0C1D2E3F405A", None,
      Name="Cloud Nine", Artist="Skyline", AlbumArtist="Skyline", Album="Up High",
      Kind="Apple Music AAC audio file", TrackType="Remote", AppleMusic=True, TrackNumber=4,
      Year=2023, Genre="Pop", TotalTime=187000, Size=7012345, BitRate=256, ArtworkCount=1)
track(221, "6A2B0C1D2E3F405B", "Movies/Concert Clip/Concert Clip.m4v",
      Name="Concert Clip", Artist="Aurora Fields", Kind="MPEG-4 video file", HasVideo=True, Movie=True,
      Year=2022, Genre="Music")

KEYS = {"AlbumArtist": "Album Artist", "TrackNumber": "Track Number", "TrackCount": "Track Count",
        "DiscNumber": "Disc Number", "DiscCount": "Disc Count", "PlayCount": "Play Count",
        "ArtworkCount": "Artwork Count", "TotalTime": "Total Time", "BitRate": "Bit Rate",
        "SortArtist": "Sort Artist", "SortAlbumArtist": "Sort Album Artist", "SortName": "Sort Name",
        "TrackType": "Track Type", "AppleMusic": "Apple Music", "HasVideo": "Has Video"}

lines = ['<?xml version="1.0" encoding="UTF-8"?>',
         '<!DOCTYPE plist PUBLIC "-//Apple Computer//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">',
         '<plist version="1.0">', '<dict>',
         '\t<key>Major Version</key><integer>1</integer>',
         '\t<key>Minor Version</key><integer>1</integer>',
         '\t<key>Date</key><date>2024-03-02T09:15:00Z</date>',
         '\t<key>Application Version</key><string>12.13.2.3</string>',
         '\t<key>Features</key><integer>5</integer>',
         '\t<key>Show Content Ratings</key><true/>',
         f'\t<key>Music Folder</key><string>{FOLDER}</string>',
         '\t<key>Library Persistent ID</key><string>0DE40DE40DE40001</string>',
         '\t<key>Tracks</key>', '\t<dict>']

def value(v):
    if v is True:
        return "<true/>"
    if isinstance(v, int):
        return f"<integer>{v}</integer>"
    return f"<string>{escape(v)}</string>"

for tid, pid, relative, fields in tracks:
    path = os.path.join(music, relative) if relative else None
    if path and os.path.exists(path):
        fields.setdefault("Size", os.path.getsize(path))
        duration, bitrate = probe(path)
        fields.setdefault("TotalTime", duration)
        fields.setdefault("BitRate", bitrate)
    lines += [f'\t\t<key>{tid}</key>', '\t\t<dict>', f'\t\t\t<key>Track ID</key><integer>{tid}</integer>']
    order = ["Name", "Artist", "AlbumArtist", "Composer", "Album", "Genre", "Kind", "Size", "TotalTime",
             "DiscNumber", "DiscCount", "TrackNumber", "TrackCount", "Year", "BPM"]
    for key in order:
        if key in fields:
            lines.append(f'\t\t\t<key>{KEYS.get(key, key)}</key>{value(fields[key])}')
    lines.append('\t\t\t<key>Date Modified</key><date>2024-01-10T18:30:00Z</date>')
    lines.append('\t\t\t<key>Date Added</key><date>2024-01-10T18:31:00Z</date>')
    for key in ["BitRate", "PlayCount"]:
        if key in fields:
            lines.append(f'\t\t\t<key>{KEYS[key]}</key>{value(fields[key])}')
    if fields.get("PlayCount"):
        lines.append('\t\t\t<key>Play Date</key><integer>3791883600</integer>')
        lines.append('\t\t\t<key>Play Date UTC</key><date>2024-02-27T07:00:00Z</date>')
    for key in ["Rating", "ArtworkCount", "SortName", "SortArtist", "SortAlbumArtist", "Comments",
                "Compilation", "Protected", "AppleMusic", "HasVideo", "Movie"]:
        if key in fields:
            lines.append(f'\t\t\t<key>{KEYS.get(key, key)}</key>{value(fields[key])}')
    lines.append(f'\t\t\t<key>Persistent ID</key><string>{pid}</string>')
    lines.append(f'\t\t\t<key>Track Type</key><string>{fields.get("TrackType", "File")}</string>')
    if relative:
        lines.append(f'\t\t\t<key>Location</key><string>{escape(url(relative))}</string>')
        lines.append('\t\t\t<key>File Folder Count</key><integer>5</integer>')
        lines.append('\t\t\t<key>Library Folder Count</key><integer>1</integer>')
    lines.append('\t\t</dict>')
lines += ['\t</dict>', '\t<key>Playlists</key>', '\t<array>']

playlist_id = [300]
def playlist(name, pid, items, extra=()):
    playlist_id[0] += 1
    lines.extend(['\t\t<dict>', f'\t\t\t<key>Name</key><string>{escape(name)}</string>', *extra,
                  f'\t\t\t<key>Playlist ID</key><integer>{playlist_id[0]}</integer>',
                  f'\t\t\t<key>Playlist Persistent ID</key><string>{pid}</string>',
                  '\t\t\t<key>All Items</key><true/>'])
    if items:
        lines.append('\t\t\t<key>Playlist Items</key>')
        lines.append('\t\t\t<array>')
        for tid in items:
            lines.extend(['\t\t\t\t<dict>', f'\t\t\t\t\t<key>Track ID</key><integer>{tid}</integer>',
                          '\t\t\t\t</dict>'])
        lines.append('\t\t\t</array>')
    lines.append('\t\t</dict>')

everything = [t[0] for t in tracks]
audio = [t for t in everything if t != 221]
playlist("Library", "1A00000000000001", everything,
         ['\t\t\t<key>Master</key><true/>', '\t\t\t<key>Visible</key><false/>'])
playlist("Music", "1A00000000000002", audio, ['\t\t\t<key>Distinguished Kind</key><integer>4</integer>'])
playlist("Movies", "1A00000000000003", [221], ['\t\t\t<key>Distinguished Kind</key><integer>2</integer>'])
playlist("Road Trip", "1A00000000000010", [213, 201, 215, 211, 201])
playlist("Moods", "1A00000000000020", [207, 209, 203, 215], ['\t\t\t<key>Folder</key><true/>'])
playlist("Calm", "1A00000000000021", [207, 209, 203],
         ['\t\t\t<key>Parent Persistent ID</key><string>1A00000000000020</string>'])
playlist("Upbeat", "1A00000000000022", [215],
         ['\t\t\t<key>Parent Persistent ID</key><string>1A00000000000020</string>'])
playlist("Trouble Makers", "1A00000000000030", [217, 219, 205, 201])
lines += ['\t</array>', '</dict>', '</plist>', '']
with open(output, "w", encoding="utf-8") as f:
    f.write("\n".join(lines))
PYTHON

echo "Made $here/Library.xml and $(find "$music" -type f | wc -l) files in $music ($(du -sh "$music" | cut -f1))."
