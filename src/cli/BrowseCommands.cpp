#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "library/AlbumCatalogue.h"
#include "library/KvrSongInfo.h"
#include "library/PlaylistBrowser.h"
#include "library/SongStatus.h"
#include "platform/PreferencesStore.h"

namespace kelvara::cli {
namespace {

std::string isoDate(const std::optional<Date>& date) {
    if (!date) return {};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(*date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

template <typename T>
nlohmann::json optionalJson(const std::optional<T>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

// A song as the song lists show it, keyed by the column identifiers.
nlohmann::json songJson(const MediaItem& item, bool checked) {
    const KvrSongInfo info = KvrSongInfo::fromMediaItem(item);
    const auto location = info.locationString();
    return {
        {"title", optionalJson(info.title())},
        {"artist", optionalJson(info.artist())},
        {"time", optionalJson(info.timeWithFormat())},
        {"album", optionalJson(info.album())},
        {"genre", optionalJson(info.genre())},
        {"year", optionalJson(info.year())},
        {"kind", optionalJson(item.kind())},
        {"bitrate", item.bitrate() ? nlohmann::json(item.bitrate()) : nlohmann::json(nullptr)},
        {"path", location ? nlohmann::json(location->string()) : nlohmann::json(nullptr)},
        {"track", optionalJson(info.trackNumber())},
        {"disk", optionalJson(info.diskNumber())},
        {"playCount", optionalJson(info.playCount())},
        {"bpm", optionalJson(info.beatsPerMinute())},
        {"albumArtist", optionalJson(info.albumArtist())},
        {"sortArtist", optionalJson(info.sortArtist())},
        {"sortAlbum", optionalJson(info.sortAlbum())},
        {"sortTitle", optionalJson(info.sortTitle())},
        {"sortAlbumArtist", optionalJson(info.sortAlbumArtist())},
        {"composer", optionalJson(info.composer())},
        {"sortComposer", optionalJson(info.sortComposer())},
        {"releaseDate", info.releaseDate() ? nlohmann::json(isoDate(info.releaseDate())) : nullptr},
        {"addedDate", info.addedDate() ? nlohmann::json(isoDate(info.addedDate())) : nullptr},
        {"modifiedDate",
         info.modifiedDate() ? nlohmann::json(isoDate(info.modifiedDate())) : nullptr},
        {"lastPlayedDate",
         info.lastPlayedDate() ? nlohmann::json(isoDate(info.lastPlayedDate())) : nullptr},
        {"comments", optionalJson(info.comments())},
        {"description", optionalJson(info.songDescription())},
        {"rating", optionalJson(info.rating())},
        {"persistentID", persistentIDToHex(item.persistentID())},
        {"checked", checked},
        {"status", std::string(displayStatusName(displayStatus(item)))},
    };
}

// Library text is valid UTF-8 from the reader on, but paths are file names, which may be any
// bytes: never let one of them end the program.
void printJson(const nlohmann::json& list) {
    std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

const char* tick(bool checked) { return checked ? "[x]" : "[ ]"; }

// One name a line, exactly as --playlist and --album take it: what the shell completions read.
// A name with a line break in it could not be told apart, so it is left out.
void printName(const std::string& name) {
    if (name.find_first_of("\r\n") == std::string::npos) std::printf("%s\n", name.c_str());
}

void printPlaylists(const MediaLibrary& library, bool json, bool names) {
    PlaylistBrowser browser(&library, PreferencesStore::standardUserDefaults());
    browser.loadPlaylist();
    if (names) {
        for (const Playlist* playlist : browser.playlists()) printName(playlist->name());
        return;
    }
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const Playlist* playlist : browser.playlists()) {
            list.push_back({{"name", playlist->name()},
                            {"persistentID", persistentIDToHex(playlist->persistentID())},
                            {"distinguishedKind", playlist->distinguishedKind()},
                            {"items", playlist->items().size()},
                            {"folder", playlist->isFolder()},
                            {"checked", browser.isChecked(*playlist)}});
        }
        printJson(list);
        return;
    }
    for (const Playlist* playlist : browser.playlists()) {
        std::printf("%s %6zu  %s\n", tick(browser.isChecked(*playlist)), playlist->items().size(),
                    playlist->name().c_str());
    }
}

void printAlbums(const MediaLibrary& library, bool json, bool names) {
    AlbumCatalogue catalogue(&library, PreferencesStore::standardUserDefaults());
    catalogue.loadAlbums();
    if (names) {
        for (const auto& album : catalogue.albums())
            printName(album->artist().value_or("") + " - " + album->title());
        return;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const auto& album : catalogue.albums()) {
        const std::size_t songs = catalogue.getSongsFromAlbumInfo(*album).size();
        if (json) {
            list.push_back({{"title", album->title()},
                            {"artist", optionalJson(album->artist())},
                            {"songs", songs},
                            {"rating", optionalJson(album->rating())},
                            {"checked", album->checked()}});
            continue;
        }
        const std::string rating = album->rating() ? std::to_string(*album->rating()) : "-";
        std::printf("%s %4zu  %-4s %s - %s\n", tick(album->checked()), songs, rating.c_str(),
                    album->artist().value_or("").c_str(), album->title().c_str());
    }
    if (json) printJson(list);
}

int printSongs(const MediaLibrary& library, const std::string& playlistName,
               const std::string& albumName, bool json) {
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    std::vector<const MediaItem*> items;
    std::vector<std::uint64_t> unchecked;
    if (!playlistName.empty()) {
        const Playlist* found = nullptr;
        for (const Playlist* playlist : library.allPlaylists())
            if (playlist->name() == playlistName) {
                found = playlist;
                break;
            }
        if (!found) {
            std::cerr << "kelvara-cli: no playlist named \"" << playlistName << "\"\n";
            return kExitFailure;
        }
        // Videos are not songs: the song list leaves them out.
        for (const MediaItem* item : found->items())
            if (!item->isVideo()) items.push_back(item);
        unchecked = PlaylistBrowser::uncheckedSongs(preferences, found->persistentID());
    } else {
        AlbumCatalogue catalogue(&library, preferences);
        catalogue.loadAlbums();
        auto album = catalogue.findByDisplayName(albumName);
        if (!album) {
            std::cerr << "kelvara-cli: no album named \"" << albumName
                      << "\" (name it as \"ARTIST - TITLE\", as 'kelvara-cli albums' shows)\n";
            return kExitFailure;
        }
        items = AlbumCatalogue::songListOrder(catalogue.getSongsFromAlbumInfo(*album));
    }

    nlohmann::json list = nlohmann::json::array();
    for (const MediaItem* item : items) {
        const bool checked =
            std::find(unchecked.begin(), unchecked.end(), item->persistentID()) == unchecked.end();
        if (json) {
            list.push_back(songJson(*item, checked));
            continue;
        }
        const KvrSongInfo info = KvrSongInfo::fromMediaItem(*item);
        const DisplayStatus status = displayStatus(*item);
        std::printf("%s %-7s %8s  %s - %s (%s)\n", tick(checked),
                    status == DisplayStatus::Exportable
                        ? ""
                        : std::string(displayStatusName(status)).c_str(),
                    info.timeWithFormat().value_or("").c_str(), info.artist().value_or("").c_str(),
                    info.title().value_or("").c_str(), info.album().value_or("").c_str());
    }
    if (json) printJson(list);
    return kExitOk;
}

}  // namespace

void addBrowseCommands(CLI::App& app, CliContext& context, int& exitCode) {
    auto* playlists = app.add_subcommand("playlists", "List the playlists the playlist page shows");
    auto playlistsJson = std::make_shared<bool>(false);
    playlists->add_flag("--json", *playlistsJson, "Print JSON");
    // For the shell completions only, so not in the help.
    auto playlistNames = std::make_shared<bool>(false);
    playlists->add_flag("--names", *playlistNames, "Print the names alone")->group("");
    playlists->callback([&context, &exitCode, playlistsJson, playlistNames] {
        const MediaLibrary* library = context.openLibrary();
        if (!library) {
            exitCode = kExitFailure;
            return;
        }
        printPlaylists(*library, *playlistsJson, *playlistNames);
    });

    auto* albums = app.add_subcommand("albums", "List the album catalogue, sorted by title");
    auto albumsJson = std::make_shared<bool>(false);
    albums->add_flag("--json", *albumsJson, "Print JSON");
    auto albumNames = std::make_shared<bool>(false);
    albums->add_flag("--names", *albumNames, "Print the names alone")->group("");
    albums->callback([&context, &exitCode, albumsJson, albumNames] {
        const MediaLibrary* library = context.openLibrary();
        if (!library) {
            exitCode = kExitFailure;
            return;
        }
        printAlbums(*library, *albumsJson, *albumNames);
    });

    auto* songs =
        app.add_subcommand("songs", "List the songs of a playlist or an album with their status");
    auto playlistName = std::make_shared<std::string>();
    auto albumName = std::make_shared<std::string>();
    auto* byPlaylist = songs->add_option("--playlist", *playlistName, "Playlist name (exact)");
    auto* byAlbum = songs->add_option("--album", *albumName, "Album as \"ARTIST - TITLE\"");
    byPlaylist->excludes(byAlbum);
    auto songsJson = std::make_shared<bool>(false);
    songs->add_flag("--json", *songsJson, "Print JSON");
    songs->callback([&context, &exitCode, playlistName, albumName, byPlaylist, byAlbum, songsJson] {
        if (byPlaylist->count() == 0 && byAlbum->count() == 0) {
            std::cerr << "kelvara-cli: songs needs --playlist NAME or --album \"ARTIST - TITLE\"\n";
            exitCode = kExitFailure;
            return;
        }
        const MediaLibrary* library = context.openLibrary();
        if (!library) {
            exitCode = kExitFailure;
            return;
        }
        exitCode = printSongs(*library, *playlistName, *albumName, *songsJson);
    });
}

}  // namespace kelvara::cli
