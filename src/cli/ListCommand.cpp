#include <spawn.h>
#include <sys/wait.h>

#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "library/AlbumCatalogue.h"
#include "library/PlaylistBrowser.h"
#include "listing/FXCsvExporter.h"
#include "listing/ListingColumn.h"
#include "listing/ListingSongs.h"
#include "listing/RBExcel.h"
#include "platform/PreferencesStore.h"
#include "platform/Status.h"
#include "platform/TextCompare.h"

extern char** environ;

namespace kelvara::cli {
namespace {

enum class ListingType { Csv, Xls, Xlsx };

struct ListOptions {
    std::vector<std::string> playlists;
    std::vector<std::string> albums;
    bool ticked = false;
    bool all = false;
    bool current = false;
    bool albumsFlag = false;
    std::filesystem::path to;
    std::string type;
    std::vector<std::string> columns;
    std::vector<std::string> sort;
    bool open = false;
};

int fail(const std::string& message) {
    std::cerr << "kelvara-cli: " << message << "\n";
    return kExitFailure;
}

std::optional<ListingType> typeFromName(const std::string& name) {
    const std::string lower = lowercase(name);
    if (lower == "csv" || lower == "txt") return ListingType::Csv;
    if (lower == "xls") return ListingType::Xls;
    if (lower == "xlsx") return ListingType::Xlsx;
    return std::nullopt;
}

const Playlist* findPlaylist(const PlaylistBrowser& browser, const MediaLibrary& library,
                             const std::string& name) {
    for (const Playlist* playlist : browser.playlists())
        if (playlist->name() == name) return playlist;
    // Hidden playlists and persistent IDs are accepted too, for scripts that know them.
    const auto id = persistentIDFromHex(name);
    for (const Playlist* playlist : library.allPlaylists())
        if (playlist->name() == name || (id && playlist->persistentID() == *id)) return playlist;
    return nullptr;
}

// Starts the desktop's handler for the file and waits for the launcher, not for the application.
bool openWithDefaultApplication(const std::filesystem::path& file) {
    std::string program = "xdg-open";
    std::string argument = file.string();
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Where the listing goes and as what.
struct ListingTarget {
    ListingType type = ListingType::Xlsx;
    std::filesystem::path file;
};

// The songs' source must be named exactly once; empty when it is.
Status checkSources(const ListOptions& options) {
    const int sources = (!options.playlists.empty() ? 1 : 0) + (!options.albums.empty() ? 1 : 0) +
                        (options.ticked ? 1 : 0) + (options.all ? 1 : 0) +
                        (options.current ? 1 : 0);
    if (sources != 1)
        return errorStatus(
            "list needs exactly one of --playlist, --album, --ticked, --current or --all");
    if (options.albumsFlag && !(options.ticked || options.all || options.current))
        return errorStatus("--albums goes with --ticked, --current or --all");
    return okStatus();
}

// The type is --type, else the file's extension, else XLSX (the listing dialog's fallback).
// A folder gets the dialog's proposed name "Songs" and a name without an extension gets the
// type's, as the save dialog would add it. Fails when the type cannot be told.
Result<ListingTarget> listingTarget(const ListOptions& options) {
    ListingTarget target{ListingType::Xlsx, options.to};
    std::error_code unreadable;  // an unreadable parent is reported when the file is created
    const bool folder =
        target.file.filename().empty() || std::filesystem::is_directory(target.file, unreadable);
    std::string extension = folder ? std::string() : target.file.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    if (!options.type.empty()) {
        const auto type = typeFromName(options.type);
        if (!type || lowercase(options.type) == "txt")
            return errorStatus("--type must be csv, xls or xlsx");
        target.type = *type;
    } else if (!extension.empty()) {
        const auto type = typeFromName(extension);
        if (!type) {
            return errorStatus("cannot tell the listing type from \"" +
                               target.file.filename().string() +
                               "\": name it .csv, .xls or .xlsx, or give --type");
        }
        target.type = *type;
    }
    const char* typeExtension = target.type == ListingType::Csv   ? ".csv"
                                : target.type == ListingType::Xls ? ".xls"
                                                                  : ".xlsx";
    if (folder)
        target.file /= std::string("Songs") + typeExtension;
    else if (extension.empty())
        target.file += typeExtension;
    return target;
}

// The columns to write, with a warning for each unknown one (it is left out).
std::vector<std::string> listingColumns(const ListOptions& options, bool plMode) {
    std::vector<std::string> columns = options.columns;
    if (columns.empty()) columns = {"title", "artist", "time", "album", "genre", "year"};
    for (const std::string& column : columns)
        if (!ListingColumn::forIdentifier(column, plMode))
            std::cerr << "kelvara-cli: warning: unknown column \"" << column << "\" left out\n";
    return columns;
}

// The --sort keys, "-" in front for descending; fails unless all are columns.
Result<std::vector<ListingSortKey>> sortKeys(const ListOptions& options,
                                             const ListingTarget& target, bool plMode) {
    std::vector<ListingSortKey> keys;
    if (!options.sort.empty() && target.type != ListingType::Csv) {
        return errorStatus(
            "--sort applies to CSV listings only; spreadsheets keep the songs' order");
    }
    for (const std::string& key : options.sort) {
        const bool descending = !key.empty() && key.front() == '-';
        const std::string identifier = descending ? key.substr(1) : key;
        if (!ListingColumn::forIdentifier(identifier, plMode)) {
            return errorStatus("cannot sort by \"" + identifier + "\": not a column identifier");
        }
        keys.push_back({identifier, !descending});
    }
    return keys;
}

// The songs of the albums the options name, in the listing's order.
Result<std::vector<const MediaItem*>> albumSongs(const MediaLibrary& library,
                                                 PreferencesStore& preferences,
                                                 const ListOptions& options) {
    AlbumCatalogue catalogue(&library, preferences);
    catalogue.loadAlbums();
    std::vector<std::shared_ptr<KvrAlbumInfo>> chosen;
    if (options.ticked)
        chosen = catalogue.chosen(ItemChoice::Ticked);
    else if (options.all)
        chosen = catalogue.chosen(ItemChoice::All);
    else if (options.current)
        chosen = catalogue.chosen(ItemChoice::Current);
    for (const std::string& name : options.albums) {
        auto album = catalogue.findByDisplayName(name);
        if (!album) {
            return errorStatus("no album \"" + name +
                               "\" (name it \"ARTIST - TITLE\" as 'kelvara-cli albums' shows)");
        }
        chosen.push_back(album);
    }
    if (chosen.empty()) return errorStatus("Please select at least one album.");
    return *ListingSongs::fromAlbums(catalogue, chosen);
}

// The songs of the playlists the options name, in turn.
Result<std::vector<const MediaItem*>> playlistSongs(const MediaLibrary& library,
                                                    PreferencesStore& preferences,
                                                    const ListOptions& options) {
    PlaylistBrowser browser(&library, preferences);
    browser.loadPlaylist();
    std::vector<const Playlist*> chosen;
    if (options.ticked)
        chosen = browser.chosen(ItemChoice::Ticked);
    else if (options.all)
        chosen = browser.chosen(ItemChoice::All);
    else if (options.current) {
        chosen = browser.chosen(ItemChoice::Current);
        if (chosen.empty()) return errorStatus("no playlist is selected");
    }
    for (const std::string& name : options.playlists) {
        const Playlist* playlist = findPlaylist(browser, library, name);
        if (!playlist) return errorStatus("no playlist named \"" + name + "\"");
        chosen.push_back(playlist);
    }
    return ListingSongs::fromPlaylists(chosen);
}

// Writes the listing file.
Status writeListing(const ListingTarget& target, const std::vector<const MediaItem*>& songs,
                    const std::vector<std::string>& columns,
                    const std::vector<ListingSortKey>& keys, bool albumListing) {
    const bool plMode = !albumListing;
    if (target.type == ListingType::Csv) {
        FXCsvExporter exporter;
        exporter.setArrayController(songs);
        exporter.setSortDescriptors(keys);
        return exporter.createCSVWithVisibleColumns(columns, target.file, plMode);
    }
    RBExcel excel;
    excel.setTitle(albumListing ? "Albums" : "Playlists");
    excel.setArrayController(songs);
    return excel.createExcelIsXMl(target.type == ListingType::Xlsx, columns, plMode, target.file);
}

int runList(CliContext& context, const ListOptions& options) {
    if (const Status sources = checkSources(options); !sources.ok()) return fail(sources.message());
    const Result<ListingTarget> target = listingTarget(options);
    if (!target.ok()) return fail(target.message());
    const bool albumListing = !options.albums.empty() || options.albumsFlag;
    const std::vector<std::string> columns = listingColumns(options, !albumListing);
    const Result<std::vector<ListingSortKey>> keys = sortKeys(options, *target, !albumListing);
    if (!keys.ok()) return fail(keys.message());

    const MediaLibrary* library = context.openLibrary();
    if (!library) return kExitFailure;
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    const Result<std::vector<const MediaItem*>> chosen =
        albumListing ? albumSongs(*library, preferences, options)
                     : playlistSongs(*library, preferences, options);
    if (!chosen.ok()) return fail(chosen.message());
    const std::vector<const MediaItem*>& songs = *chosen;
    if (const Status written = writeListing(*target, songs, columns, *keys, albumListing);
        !written.ok()) {
        return fail(written.message());
    }

    std::cout << "Wrote " << songs.size() << (songs.size() == 1 ? " song" : " songs") << " to "
              << target->file.string() << "\n";
    if (options.open && !openWithDefaultApplication(target->file)) {
        std::cerr << "kelvara-cli: could not open " << target->file.string() << " with xdg-open\n";
        return kExitIssues;
    }
    return kExitOk;
}

}  // namespace

void addListCommand(CLI::App& app, CliContext& context, int& exitCode) {
    auto options = std::make_shared<ListOptions>();
    auto* list = app.add_subcommand("list", "Write a listing of songs as CSV, XLS or XLSX");
    list->add_option("--playlist", options->playlists,
                     "A playlist by name; repeatable, listed in turn")
        ->type_name("NAME");
    list->add_option("--album", options->albums, "An album as \"ARTIST - TITLE\"; repeatable")
        ->type_name("\"ARTIST - TITLE\"");
    list->add_flag("--ticked", options->ticked, "The ticked playlists (or albums, with --albums)");
    list->add_flag("--current", options->current,
                   "The selected playlist (or album, with --albums)");
    list->add_flag("--all", options->all, "Every shown playlist (or album, with --albums)");
    list->add_flag("--albums", options->albumsFlag,
                   "Take albums for --ticked, --current and --all");
    list->add_option(
            "--to", options->to,
            "The listing file to write; without an extension it gets the type's, and a folder "
            "gets Songs.csv, Songs.xls or Songs.xlsx")
        ->required()
        ->type_name("FILE");
    list->add_option("--type", options->type,
                     "csv, xls or xlsx (else from the file's extension, else xlsx)")
        ->type_name("TYPE");
    list->add_option(
            "--columns", options->columns,
            "Column identifiers, comma-separated (default: title,artist,time,album,genre,year)")
        ->delimiter(',')
        ->type_name("ID,ID,...");
    list->add_option("--sort", options->sort, "CSV only: sort keys, \"-\" in front for descending")
        ->delimiter(',')
        ->type_name("KEY,KEY,...");
    list->add_flag("--open", options->open, "Open the saved file with its default application");
    list->footer(
        "Column identifiers: title artist time album genre year kind bitrate path track disk "
        "playCount bpm albumArtist sortArtist sortAlbum sortTitle sortAlbumArtist composer "
        "sortComposer releaseDate addedDate modifiedDate lastPlayedDate comments description "
        "rating; albumArtist is the album artist in playlist listings and the artist in album "
        "listings.");
    list->callback([&context, &exitCode, options] { exitCode = runList(context, *options); });
}

}  // namespace kelvara::cli
