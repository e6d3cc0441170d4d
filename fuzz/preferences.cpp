// The preferences file as the user (or a crash half-way through an older writer) may leave it:
// loading it and reading every key the program reads must not crash, and what is saved must
// read back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SmallLibrary.h"
#include "engine/KvrUserOptions.h"
#include "engine/MetadataToken.h"
#include "library/AlbumCatalogue.h"
#include "library/PlaylistBrowser.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

// Every key some part of the program reads, with each kind of reading.
constexpr const char* kKeys[] = {"SaveM3uWithFiles",
                                 "DontConvertLossyFormats",
                                 "OrginizeFilesOption",
                                 "SkipIfExists",
                                 "WindowsPaths",
                                 "DontConvertSameType",
                                 "LineEnding",
                                 "Algorithm",
                                 "TracksOrder",
                                 "OrderAscending",
                                 "DeleteHiddenFiles",
                                 "PlaylistEncoding",
                                 "whatToExport",
                                 "fileNameSelectionIndex",
                                 "ConvertToMp3",
                                 "ConvertToAac",
                                 "MpeBitRate",
                                 "AacBitRate",
                                 "exportArtWork",
                                 "NumberFormat",
                                 "CustomFormat",
                                 "LibraryPath",
                                 "SelectedAlbums",
                                 "SelectedAlbumTitle",
                                 "SelectedAlbumArtist",
                                 "SelectedPlaylists",
                                 "SelectedPlaylistID",
                                 "161",
                                 "162",
                                 "0"};

void readEverything(PreferencesStore& store, const MediaLibrary& library) {
    (void)KvrUserOptions::loadFrom(store);
    for (const char* key : kKeys) {
        (void)store.contains(key);
        (void)store.boolForKey(key);
        (void)store.integerForKey(key);
        (void)store.stringForKey(key);
        (void)store.stringArrayForKey(key);
        (void)store.numberArrayForKey(key);
        (void)store.boolMapForKey(key);
    }
    if (auto stored = store.objectForKey("CustomFormat")) (void)FormatList::fromJson(*stored);

    PlaylistBrowser browser(&library, store);
    browser.loadPlaylist();
    for (const Playlist* playlist : browser.playlists()) {
        (void)browser.isChecked(*playlist);
        (void)PlaylistBrowser::uncheckedSongs(store, playlist->persistentID());
    }
    (void)browser.selectedPlaylist();
    AlbumCatalogue catalogue(&library, store);
    catalogue.loadAlbums();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto library = [] {
        fuzz::silenceStreams();
        return fuzz::readSmallLibrary();
    }();
    const std::filesystem::path directory = fuzz::scratchDirectory() / "config";
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
    std::filesystem::create_directories(directory, ec);
    if (ec) fuzz::fail("cannot create " + directory.string());
    const std::filesystem::path file = directory / PreferencesStore::fileName;
    fuzz::writeFile(file, std::string_view(reinterpret_cast<const char*>(data), size));

    PreferencesStore store(file);
    readEverything(store, *library);

    // What was kept is saved and must load again as it was.
    if (const Status saved = store.save(); !saved.ok())
        fuzz::fail("cannot save: " + saved.message());
    PreferencesStore reloaded(file);
    for (const char* key : kKeys)
        if (store.objectForKey(key) != reloaded.objectForKey(key))
            fuzz::fail(std::string("\"") + key + "\" reads differently after saving");
    return 0;
}
