// The library XML reader on any document: it must refuse with a message or give a library whose
// objects are all linked and whose texts are well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "library/MediaLibraryReader.h"

using namespace kelvara;

namespace {

void checkText(const OptionalText& text, const char* what) {
    if (text && !fuzz::isValidUtf8(*text)) fuzz::fail(std::string(what) + " is not UTF-8");
}

void checkLibrary(const MediaLibrary& library) {
    checkText(library.musicFolder(), "the music folder");
    for (const MediaItem* item : library.allMediaItems()) {
        if (!item) fuzz::fail("a null item");
        if (!item->album()) fuzz::fail("an item without an album");
        checkText(item->title(), "a title");
        checkText(item->genre(), "a genre");
        checkText(item->composer(), "a composer");
        checkText(item->sortTitle(), "a sort title");
        checkText(item->comments(), "a comment");
        checkText(item->kind(), "a kind");
        checkText(item->album()->title(), "an album title");
        checkText(item->album()->albumArtist(), "an album artist");
        if (item->artist()) checkText(item->artist()->name(), "an artist");
        (void)item->mappedPath();
    }
    for (const Playlist* playlist : library.allPlaylists()) {
        if (!playlist) fuzz::fail("a null playlist");
        checkText(playlist->name(), "a playlist name");
        for (const MediaItem* item : playlist->items())
            if (!item) fuzz::fail("a null playlist entry");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MediaLibraryReader reader = [] {
        fuzz::silenceStreams();
        LibraryOpenOptions options;
        options.musicFolder = "/srv/music";
        options.mappings.push_back({"C:/Users/demo/Music", "/srv/pc"});
        options.mappings.push_back({"file://localhost/Volumes/Disk/", "/srv/disk"});
        return MediaLibraryReader(options);
    }();
    const auto library =
        reader.readText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.xml");
    if (!library.ok()) {
        if (library.message().empty()) fuzz::fail("a refusal without a message");
        return 0;
    }
    if (!*library) fuzz::fail("a null library without a refusal");
    checkLibrary(**library);
    return 0;
}
