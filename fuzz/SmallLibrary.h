#pragma once

#include <memory>
#include <string>

#include "library/MediaLibraryReader.h"

namespace kelvara::fuzz {

// A library small enough to read at every run: a Mac music folder, a Windows path, names with
// " - " inside and in both Unicode forms, so that album names and mappings have something to meet.
inline std::string smallLibraryXml() {
    auto track = [](int id, const char* name, const char* artist, const char* album,
                    const char* location) {
        return std::string("<key>") + std::to_string(id) +
               "</key><dict><key>Track ID</key><integer>" + std::to_string(id) +
               "</integer><key>Name</key><string>" + name + "</string><key>Artist</key><string>" +
               artist + "</string><key>Album</key><string>" + album +
               "</string><key>Kind</key><string>MPEG audio file</string>"
               "<key>Persistent ID</key><string>00000000000000" +
               std::to_string(id) + "</string><key>Location</key><string>" + location +
               "</string></dict>";
    };
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
        "<key>Music Folder</key><string>file:///Users/demo/Music/iTunes/iTunes%20Media/</string>"
        "<key>Tracks</key><dict>";
    xml += track(11, "One", "Aurora Fields", "First Light",
                 "file:///Users/demo/Music/iTunes/iTunes%20Media/Music/A/One.mp3");
    xml += track(12, "Two", "Caf\xC3\xA9 - Band", "Le Caf\xC3\xA9",
                 "file://localhost/C:/Users/demo/Music/Caf%C3%A9/Two.mp3");
    xml += track(13, "Three", "Cafe\xCC\x81 - Band", "Le Cafe\xCC\x81",
                 "file:///Volumes/Disk/Music/Cafe%CC%81/Three%2B.mp3");
    xml += track(14, "Four", "", "Untitled", "http://example.com/stream");
    xml +=
        "</dict><key>Playlists</key><array>"
        "<dict><key>Name</key><string>Mix</string><key>Playlist Persistent ID</key>"
        "<string>00000000000000A1</string><key>Playlist Items</key><array>"
        "<dict><key>Track ID</key><integer>11</integer></dict>"
        "<dict><key>Track ID</key><integer>13</integer></dict></array></dict>"
        "<dict><key>Name</key><string>Road</string><key>Playlist Persistent ID</key>"
        "<string>00000000000000A2</string><key>Playlist Items</key><array>"
        "<dict><key>Track ID</key><integer>12</integer></dict></array></dict>"
        "</array></dict></plist>";
    return xml;
}

inline std::unique_ptr<MediaLibrary> readSmallLibrary(const LibraryOpenOptions& options = {}) {
    auto library = MediaLibraryReader(options).readText(smallLibraryXml(), "small.xml");
    if (!library.ok()) fail("the small library does not load: " + library.message());
    return std::move(*library);
}

}  // namespace kelvara::fuzz
