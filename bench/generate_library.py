#!/usr/bin/python3
"""Writes a synthetic iTunes library XML file for the load benchmark.

Usage: generate_library.py OUTPUT [--tracks N] [--playlists M] [--seed S]

The file looks like one written by iTunes on a Mac: the usual header keys, a track dict with the
keys real libraries carry (names with accents, Greek and Japanese, escaped characters, percent-
encoded NFD locations), the master and "Music" playlists listing every track, and M user
playlists of varying size, some of them in folders.
"""
import argparse
import random
import unicodedata
import urllib.parse
from xml.sax.saxutils import escape

WORDS = ("love night city river heart fire dream blue road home light rain summer gold "
         "shadow moon electric wild ocean glass silver storm echo paper garden").split()
ACCENTED = ["Café", "Señorita", "Mädchen", "Über", "Déjà Vu", "Ça Plane", "Noël", "Fußball"]
GREEK = ["Καλημέρα", "Θάλασσα", "Αγάπη μου", "Σε περιμένω"]
JAPANESE = ["夜に駆ける", "東京", "さくら", "夢の中へ"]
GENRES = ["Rock", "Pop", "Jazz", "Classical", "Hip-Hop/Rap", "Electronic", "R&B/Soul", "Alternative"]
KINDS = [(".mp3", "MPEG audio file", 0.6), (".m4a", "AAC audio file", 0.3),
         (".m4a", "Apple Lossless audio file", 0.07), (".m4p", "Protected AAC audio file", 0.03)]


def title(rng):
    roll = rng.random()
    if roll < 0.08:
        return rng.choice(ACCENTED) + " " + rng.choice(WORDS).title()
    if roll < 0.11:
        return rng.choice(GREEK)
    if roll < 0.14:
        return rng.choice(JAPANESE)
    return " ".join(rng.choice(WORDS).title() for _ in range(rng.randint(1, 4)))


def date(rng, start=946684800, span=700000000):
    import time
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(start + rng.randrange(span)))


def url_part(text):
    # Macs write decomposed names in their file URLs.
    return urllib.parse.quote(unicodedata.normalize("NFD", text), safe="")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--tracks", type=int, default=100000)
    parser.add_argument("--playlists", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    folder = "file:///Users/demo/Music/iTunes/iTunes%20Media/"
    artists = [title(rng) + (" Band" if rng.random() < 0.3 else "") for _ in range(max(1, args.tracks // 12))]
    albums = [(rng.choice(artists), title(rng), rng.randint(1960, 2024)) for _ in range(max(1, args.tracks // 10))]
    out = []
    w = out.append
    w('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE plist PUBLIC "-//Apple Computer//DTD PLIST 1.0//EN" '
      '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n<plist version="1.0">\n<dict>\n')
    w("\t<key>Major Version</key><integer>1</integer>\n\t<key>Minor Version</key><integer>1</integer>\n")
    w("\t<key>Date</key><date>2024-05-01T10:00:00Z</date>\n\t<key>Application Version</key><string>12.13.2.3</string>\n")
    w("\t<key>Features</key><integer>5</integer>\n\t<key>Show Content Ratings</key><true/>\n")
    w(f"\t<key>Music Folder</key><string>{folder}</string>\n")
    w("\t<key>Library Persistent ID</key><string>5E3C1F0A9B8D7C6E</string>\n\t<key>Tracks</key>\n\t<dict>\n")
    ids = []
    for n in range(args.tracks):
        tid = 1000 + 2 * n
        ids.append(tid)
        artist, album, year = rng.choice(albums)
        name = title(rng)
        ext, kind = rng.choices([k[:2] for k in KINDS], weights=[k[2] for k in KINDS])[0]
        number = rng.randint(1, 16)
        e = lambda s: escape(s)
        fields = [
            ("Track ID", "integer", tid), ("Name", "string", e(name)), ("Artist", "string", e(artist)),
            ("Album Artist", "string", e(artist)),
            ("Album", "string", e(album)), ("Genre", "string", e(rng.choice(GENRES))),
            ("Kind", "string", kind), ("Size", "integer", rng.randint(2_000_000, 12_000_000_000 if n % 997 == 0 else 15_000_000)),
            ("Total Time", "integer", rng.randint(60_000, 600_000)), ("Track Number", "integer", number),
            ("Year", "integer", year), ("Date Modified", "date", date(rng)), ("Date Added", "date", date(rng)),
            ("Bit Rate", "integer", rng.choice([128, 192, 256, 320])), ("Sample Rate", "integer", 44100),
            ("Rating", "integer", rng.choice([0, 20, 40, 60, 80, 100])),
            ("Artwork Count", "integer", 1),
            ("Persistent ID", "string", "%016X" % rng.getrandbits(64)), ("Track Type", "string", "File"),
        ]
        # Keys that only some tracks carry, about as often as in real libraries.
        optional = [(0.35, ("Composer", "string", e(rng.choice(artists)))),
                    (0.1, ("Sort Name", "string", e(name.lower()))),
                    (0.15, ("Sort Artist", "string", e(artist.lower()))),
                    (0.1, ("BPM", "integer", rng.randint(60, 180))),
                    (0.4, ("Disc Number", "integer", 1)), (0.4, ("Disc Count", "integer", 1)),
                    (0.4, ("Track Count", "integer", 16)),
                    (0.6, ("Album Rating", "integer", 60)), (0.5, ("Album Rating Computed", "true", None))]
        if rng.random() < 0.7:
            fields += [("Play Count", "integer", rng.randint(1, 200)),
                       ("Play Date", "integer", 3_700_000_000 + rng.randrange(10**8)),
                       ("Play Date UTC", "date", date(rng))]
        fields += [field for chance, field in optional if rng.random() < chance]
        if rng.random() < 0.2:
            fields.append(("Comments", "string", e("Ripped from CD & remastered — " + rng.choice(ACCENTED))))
        if rng.random() < 0.05:
            fields.append(("Compilation", "true", None))
        location = f"{folder}Music/{url_part(artist)}/{url_part(album)}/{number:02d}%20{url_part(name)}{ext}"
        fields += [("Location", "string", escape(location)), ("File Folder Count", "integer", 5),
                   ("Library Folder Count", "integer", 1)]
        w(f"\t\t<key>{tid}</key>\n\t\t<dict>\n")
        for key, kind_, value in fields:
            if value is None:
                w(f"\t\t\t<key>{key}</key><{kind_}/>\n")
            else:
                w(f"\t\t\t<key>{key}</key><{kind_}>{value}</{kind_}>\n")
        w("\t\t</dict>\n")
    w("\t</dict>\n\t<key>Playlists</key>\n\t<array>\n")

    next_id = [50000]

    def playlist(name, items, extra=""):
        next_id[0] += 1
        w(f"\t\t<dict>\n\t\t\t<key>Name</key><string>{escape(name)}</string>\n{extra}")
        w(f"\t\t\t<key>Playlist ID</key><integer>{next_id[0]}</integer>\n")
        pid = "%016X" % rng.getrandbits(64)
        w(f"\t\t\t<key>Playlist Persistent ID</key><string>{pid}</string>\n\t\t\t<key>All Items</key><true/>\n")
        if items:
            w("\t\t\t<key>Playlist Items</key>\n\t\t\t<array>\n")
            for tid in items:
                w(f"\t\t\t\t<dict>\n\t\t\t\t\t<key>Track ID</key><integer>{tid}</integer>\n\t\t\t\t</dict>\n")
            w("\t\t\t</array>\n")
        w("\t\t</dict>\n")
        return pid

    playlist("Library", ids, "\t\t\t<key>Master</key><true/>\n\t\t\t<key>Visible</key><false/>\n")
    playlist("Music", ids, "\t\t\t<key>Distinguished Kind</key><integer>4</integer>\n")
    folder_id = None
    for p in range(args.playlists):
        if p % 50 == 0:
            folder_id = playlist("Folder " + title(rng), [], "\t\t\t<key>Folder</key><true/>\n")
            continue
        size = min(len(ids), int(rng.expovariate(1 / 120)) + 1)
        parent = f"\t\t\t<key>Parent Persistent ID</key><string>{folder_id}</string>\n" if p % 3 == 0 else ""
        playlist(title(rng), rng.sample(ids, size), parent)
    w("\t</array>\n</dict>\n</plist>\n")
    with open(args.output, "w", encoding="utf-8") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
