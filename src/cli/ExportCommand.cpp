#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "cli/ConsoleExportUi.h"
#include "cli/InterruptHandler.h"
#include "conversion/MediaConverter.h"
#include "engine/KvExportManager.h"
#include "library/AlbumCatalogue.h"
#include "library/PlaylistBrowser.h"
#include "platform/AtomicFile.h"
#include "platform/PreferencesStore.h"

namespace kelvara::cli {
namespace {

// The converter of MP3/AAC runs and album artwork files. Returning nullptr makes such runs
// refuse to start with a clear message, while copying still works.
std::unique_ptr<SongConverter> makeConverter() { return std::make_unique<MediaConverter>(); }

struct ExportArguments {
    std::vector<std::string> playlists, playlistIDs, albums;
    bool ticked = false, all = false, albumRun = false;
    std::filesystem::path to;
    std::optional<std::filesystem::path> logFile;
    bool verbose = false;
    // Run options; absent means "as the export dialog stored them".
    bool m3u = false, noM3u = false, copy = false, artwork = false, artistFolder = false;
    std::optional<int> pattern, trackDigits, mp3, aac;
    std::optional<std::string> format;
    // Persistent options for this run only.
    std::optional<int> layout, order, jobs;
    std::optional<std::string> encoding;
    bool crlf = false, windowsPaths = false, m3uInRoot = false, overwrite = false,
         skipExisting = false;
    bool descending = false, keepHiddenFiles = false, convertLossy = false, noConvertLossy = false;
    bool convertSameType = false;
    // Keeping a destination in step.
    bool update = false, mirror = false, dryRun = false, json = false;
};

// A dry run's output is its plan, printed at the end; the log lines of the run stay unsaid.
class PlanOnlyUi : public ConsoleExportUi {
  public:
    using ConsoleExportUi::ConsoleExportUi;
    void logLine(const std::string&) override {}
    void issueLine(const std::string&) override {}
};

int bitRateFromStore(const PreferencesStore& store, const char* key, bool aac) {
    const std::int64_t stored = store.integerForKey(key).value_or(0);
    const bool offered =
        stored == 128 || stored == 160 || stored == 192 || stored == 256 || (aac && stored == 320);
    return offered ? static_cast<int>(stored) : 0;
}

// Fills the run options from what the export dialog stored, then from the flags.
Status applyRunOptions(KvExportManager& manager, const ExportArguments& args,
                       const PreferencesStore& store) {
    manager.setExportPlaylistFile(store.integerForKey("whatToExport").value_or(0) == 0);
    if (args.m3u) manager.setExportPlaylistFile(true);
    if (args.noM3u) manager.setExportPlaylistFile(false);

    manager.setFileNameFormatType(
        storedOption<NamePattern>(store.integerForKey("fileNameSelectionIndex").value_or(1)));
    if (args.pattern) manager.setFileNameFormatType(storedOption<NamePattern>(*args.pattern));

    manager.setConverToMp3(store.boolForKey("ConvertToMp3").value_or(false));
    manager.setConverToAAC(!manager.converToMp3() &&
                           store.boolForKey("ConvertToAac").value_or(false));
    manager.setBitRate(bitRateFromStore(store, "MpeBitRate", false));
    manager.setAacBitRate(bitRateFromStore(store, "AacBitRate", true));
    if (args.mp3) {
        manager.setConverToMp3(true);
        manager.setConverToAAC(false);
        manager.setBitRate(*args.mp3);
    }
    if (args.aac) {
        manager.setConverToAAC(true);
        manager.setConverToMp3(false);
        manager.setAacBitRate(*args.aac);
    }
    if (args.copy) {
        manager.setConverToMp3(false);
        manager.setConverToAAC(false);
    }
    if (args.albumRun) {
        manager.setExportAlbumImage(args.artwork ||
                                    store.boolForKey("exportArtWork").value_or(false));
        manager.setCreateArtistFolder(args.artistFolder);
    }

    manager.setTrackNumberFormat(store.integerForKey("NumberFormat").value_or(3));
    if (args.trackDigits) manager.setTrackNumberFormat(*args.trackDigits);
    FormatList format = FormatList::defaultFormat();
    if (auto stored = store.objectForKey("CustomFormat"))
        if (auto decoded = FormatList::fromJson(*stored)) format = *decoded;
    if (args.format) {
        auto parsed = FormatList::parse(*args.format);
        if (!parsed.ok()) return parsed.status();
        if (!parsed->hasTitle()) return errorStatus("--format must contain the <Title> token");
        format = *parsed;
        if (!args.pattern) manager.setFileNameFormatType(NamePattern::Custom);
    }
    manager.setCustomFormatArray(format);
    return okStatus();
}

KvrUserOptions userOptionsFor(const ExportArguments& args) {
    KvrUserOptions options = KvrUserOptions::shareOptions();
    if (args.layout) options.setFilesSaveToFolder(storedOption<FolderLayout>(*args.layout));
    if (args.encoding)
        options.setPlaylistEncoding(*args.encoding == "latin1"  ? PlaylistEncoding::Latin1
                                    : *args.encoding == "ascii" ? PlaylistEncoding::Ascii
                                                                : PlaylistEncoding::Utf8);
    if (args.crlf) options.setLineEnding(LineEnding::CrLf);
    if (args.windowsPaths) options.setWindowsPaths(true);
    if (args.m3uInRoot) options.setSaveM3uWithFiles(false);
    if (args.overwrite) options.setSkipIfExists(false);
    if (args.skipExisting) options.setSkipIfExists(true);
    if (args.update) options.setExistingFiles(KvrUserOptions::ExistingFiles::UpdateWhenChanged);
    if (args.mirror) options.setMirrorDestination(true);
    if (args.order) options.setTracksOrder(storedOption<TrackOrder>(*args.order));
    if (args.descending) options.setOrderAscending(false);
    if (args.keepHiddenFiles) options.setDeleteHiddenFiles(false);
    if (args.convertLossy) options.setDontConvertLossyFormats(false);
    if (args.noConvertLossy) options.setDontConvertLossyFormats(true);
    if (args.convertSameType) options.setDontConvertSameType(false);
    if (args.jobs) options.setParallelSongs(*args.jobs);
    return options;
}

template <typename T>
Result<const T*> findByName(const std::vector<const T*>& list, const std::string& name) {
    const T* found = nullptr;
    for (const T* item : list) {
        if (item->name() != name) continue;
        if (found)
            return errorStatus("several playlists are named \"" + name +
                               "\"; choose one with --playlist-id");
        found = item;
    }
    if (!found)
        return errorStatus("no playlist named \"" + name + "\" (see 'kelvara-cli playlists')");
    return found;
}

// The albums the arguments name, with their songs loaded. False after saying why not.
bool chooseAlbums(const MediaLibrary* library, PreferencesStore& store, const ExportArguments& args,
                  std::vector<std::shared_ptr<KvrAlbumInfo>>& albums) {
    AlbumCatalogue catalogue(library, store);
    catalogue.loadAlbums();
    if (args.ticked || args.all)
        albums = catalogue.chosen(args.ticked ? ItemChoice::Ticked : ItemChoice::All);
    for (const std::string& name : args.albums) {
        const std::shared_ptr<KvrAlbumInfo> found = catalogue.findByDisplayName(name);
        if (!found) {
            std::cerr << "kelvara-cli: no album named \"" << name
                      << "\" (name it as \"ARTIST - TITLE\"; see 'kelvara-cli albums')\n";
            return false;
        }
        albums.push_back(found);
    }
    for (const auto& album : albums) catalogue.getSongsFromAlbumInfo(*album);
    return true;
}

// The playlists the arguments name, by name or persistent ID. False after saying why not.
bool choosePlaylists(const MediaLibrary* library, PreferencesStore& store,
                     const ExportArguments& args, std::vector<const Playlist*>& playlists) {
    PlaylistBrowser browser(library, store);
    browser.loadPlaylist();
    if (args.ticked || args.all)
        playlists = browser.chosen(args.ticked ? ItemChoice::Ticked : ItemChoice::All);
    for (const std::string& name : args.playlists) {
        Result<const Playlist*> found = findByName(browser.playlists(), name);
        if (!found.ok()) found = findByName(library->allPlaylists(), name);
        if (!found.ok()) {
            std::cerr << "kelvara-cli: " << found.message() << "\n";
            return false;
        }
        playlists.push_back(*found);
    }
    for (const std::string& hex : args.playlistIDs) {
        const auto id = persistentIDFromHex(hex);
        const Playlist* found = nullptr;
        for (const Playlist* playlist : library->allPlaylists())
            if (id && playlist->persistentID() == *id) found = playlist;
        if (!found) {
            std::cerr << "kelvara-cli: no playlist with the persistent ID " << hex << "\n";
            return false;
        }
        playlists.push_back(found);
    }
    return true;
}

// The folder as a plain path ("out/" and "./out" both log as ".../out"), as the log names it.
std::filesystem::path destinationFolder(const std::filesystem::path& to) {
    std::error_code ec;
    std::filesystem::path destination = std::filesystem::absolute(to, ec).lexically_normal();
    if (ec) destination = to.lexically_normal();
    if (!destination.has_filename() && destination.has_relative_path())
        destination = destination.parent_path();
    return destination;
}

int exitCodeFor(RunEnding ending, std::int64_t issues) {
    switch (ending) {
        case RunEnding::Finished:
            return issues > 0 ? kExitIssues : kExitOk;
        case RunEnding::StoppedByUser:
            return kExitStopped;
        default:
            return kExitFailure;
    }
}

int runExport(CliContext& context, const ExportArguments& args) {
    const MediaLibrary* library = context.openLibrary();
    if (!library) return kExitFailure;
    PreferencesStore& store = PreferencesStore::standardUserDefaults();

    const bool albumRun = args.albumRun || !args.albums.empty();
    if (albumRun && (!args.playlists.empty() || !args.playlistIDs.empty())) {
        std::cerr << "kelvara-cli: a run exports playlists or albums, not both\n";
        return kExitFailure;
    }
    std::vector<const Playlist*> playlists;
    std::vector<std::shared_ptr<KvrAlbumInfo>> albums;
    if (albumRun ? !chooseAlbums(library, store, args, albums)
                 : !choosePlaylists(library, store, args, playlists))
        return kExitFailure;
    if (playlists.empty() && albums.empty()) {
        std::cerr << "kelvara-cli: nothing to export: no " << (albumRun ? "album" : "playlist")
                  << (args.ticked ? " is ticked" : " was chosen") << "\n";
        return kExitFailure;
    }

    InterruptHandler interrupts;  // before any thread starts
    std::unique_ptr<ConsoleExportUi> shown = args.dryRun
                                                 ? std::make_unique<PlanOnlyUi>(args.verbose)
                                                 : std::make_unique<ConsoleExportUi>(args.verbose);
    ConsoleExportUi& ui = *shown;
    auto converter = makeConverter();
    KvExportManager manager(ui, converter.get());
    manager.setDryRun(args.dryRun);
    manager.setUserOptions(userOptionsFor(args));
    manager.setLibrary(context.library());
    ExportArguments effective = args;
    effective.albumRun = albumRun;
    if (const Status applied = applyRunOptions(manager, effective, store); !applied.ok()) {
        std::cerr << "kelvara-cli: " << applied.message() << "\n";
        return kExitFailure;
    }
    interrupts.watch(ui, manager);

    const std::filesystem::path destination = destinationFolder(args.to);
    if (albumRun)
        manager.exportAlbums(albums, destination);
    else
        manager.exportPlaylists(playlists, destination);
    const RunEnding ending = manager.waitUntilFinished();
    interrupts.forget();

    std::string log = ui.log();
    if (args.dryRun) {
        log.clear();
        for (const std::string& line : manager.plan().lines()) log += line + "\n";
        std::fputs(args.json ? manager.plan().toJson().c_str() : log.c_str(), stdout);
        std::fflush(stdout);
    }
    if (args.logFile) {
        if (const Status saved = writeFileAtomically(*args.logFile, log); !saved.ok())
            std::cerr << "kelvara-cli: cannot save the log: " << saved.message() << "\n";
    }
    return exitCodeFor(ending, manager.errorCount());
}

}  // namespace

void addExportCommand(CLI::App& app, CliContext& context, int& exitCode) {
    auto args = std::make_shared<ExportArguments>();
    CLI::App* export_ = app.add_subcommand(
        "export", "Export playlists or albums into a folder, with m3u files and a log on stdout");
    export_->add_option("--playlist", args->playlists, "A playlist by its exact name; repeatable");
    export_->add_option("--playlist-id", args->playlistIDs,
                        "A playlist by its persistent ID (hex); repeatable");
    export_->add_option("--album", args->albums, "An album as \"ARTIST - TITLE\"; repeatable");
    auto* ticked = export_->add_flag("--ticked", args->ticked, "The ticked playlists (or albums)");
    auto* all = export_->add_flag("--all", args->all, "All shown playlists (or all albums)");
    ticked->excludes(all);
    export_->add_flag("--albums", args->albumRun,
                      "With --ticked or --all: albums instead of playlists");
    export_->add_option("--to", args->to, "Destination folder")->required();
    export_->add_option("--log", args->logFile, "Also save the log to this file");
    export_->add_flag("--verbose", args->verbose, "Print diagnostic lines on stderr");

    auto* m3u = export_->add_flag("--m3u", args->m3u, "Write an m3u file per playlist or album");
    export_->add_flag("--no-m3u", args->noM3u, "Write no m3u files")->excludes(m3u);
    export_
        ->add_option("--pattern", args->pattern,
                     "File names: 0 source name, 1 number title, 2 artist album title, "
                     "3 number artist album title, 4 title, 5 custom")
        ->check(CLI::Range(0, 5));
    export_->add_option("--format", args->format,
                        "Custom file-name pattern, e.g. \"<Track NO>. <Title>\"");
    export_
        ->add_option("--track-digits", args->trackDigits,
                     "Custom pattern track number width: 0 to 3")
        ->check(CLI::Range(0, 3));
    auto* mp3 =
        export_
            ->add_option("--mp3", args->mp3, "Convert to MP3 at RATE kbit/s (0 keeps the source's)")
            ->check(CLI::IsMember({0, 128, 160, 192, 256}));
    auto* aac =
        export_
            ->add_option("--aac", args->aac, "Convert to AAC at RATE kbit/s (0 keeps the source's)")
            ->check(CLI::IsMember({0, 128, 160, 192, 256, 320}));
    aac->excludes(mp3);
    export_->add_flag("--copy", args->copy, "Copy the files as they are")
        ->excludes(mp3)
        ->excludes(aac);
    export_->add_flag("--artwork", args->artwork,
                      "Album runs: save each album's artwork as a PNG file");
    export_->add_flag("--artist-folder", args->artistFolder,
                      "Album runs: album folders inside artist folders");

    export_
        ->add_option(
            "--layout", args->layout,
            "Folders: 0 playlist/album, 1 Music/Artist/Album, 2 Music, 3 root, 4 Artist/Album")
        ->check(CLI::Range(0, 4));
    export_->add_option("--encoding", args->encoding, "Names and m3u text: utf8, latin1 or ascii")
        ->check(CLI::IsMember({"utf8", "latin1", "ascii"}));
    export_->add_flag("--crlf", args->crlf, "m3u lines end with CR LF");
    export_->add_flag("--windows-paths", args->windowsPaths, "m3u paths with backslashes");
    export_->add_flag("--m3u-in-root", args->m3uInRoot, "m3u files in the destination folder");
    auto* overwrite = export_->add_flag("--overwrite", args->overwrite, "Replace existing files");
    auto* skipExisting =
        export_->add_flag("--skip-existing", args->skipExisting, "Leave existing files alone")
            ->excludes(overwrite);
    export_
        ->add_flag("--update", args->update,
                   "Write a song again only when its source, the options or the file changed")
        ->excludes(overwrite)
        ->excludes(skipExisting);
    export_->add_flag("--mirror", args->mirror,
                      "Afterwards remove the files an earlier export wrote that this one no longer "
                      "produces");
    auto* dryRun = export_->add_flag("--dry-run", args->dryRun,
                                     "Write nothing; print what the export would do");
    export_->add_flag("--json", args->json, "With --dry-run: print the plan as JSON")
        ->needs(dryRun);
    export_
        ->add_option("--order", args->order,
                     "Song order: 0 playlist, 1 artist, 2 title, 3 album, 4 year, 5 date added, "
                     "6 play count, 7 shuffle")
        ->check(CLI::Range(0, 7));
    export_->add_flag("--descending", args->descending, "Sort descending");
    export_->add_flag("--keep-hidden-files", args->keepHiddenFiles,
                      "Do not remove .DS_Store and the like");
    auto* lossy =
        export_->add_flag("--convert-lossy", args->convertLossy, "Re-encode MP3 and AAC songs too");
    export_
        ->add_flag("--no-convert-lossy", args->noConvertLossy,
                   "Copy MP3 and AAC songs, never re-encode")
        ->excludes(lossy);
    export_->add_flag("--convert-same-type", args->convertSameType,
                      "Re-encode songs already in the target format");
    export_
        ->add_option("--jobs", args->jobs,
                     "Songs converted at once: 0 one per core, 1 one at a time (default: the "
                     "ParallelSongs option)")
        ->check(CLI::Range(0, KvrUserOptions::kMaxParallelSongs));

    export_->callback([&context, &exitCode, args] {
        if (args->playlists.empty() && args->playlistIDs.empty() && args->albums.empty() &&
            !args->ticked && !args->all) {
            std::cerr << "kelvara-cli: choose what to export: --playlist, --playlist-id, --album, "
                         "--ticked or "
                         "--all\n";
            exitCode = kExitFailure;
            return;
        }
        if (args->to.empty()) {
            // An empty path would quietly mean the current folder.
            std::cerr << "kelvara-cli: --to names no folder; give the destination folder\n";
            exitCode = kExitFailure;
            return;
        }
        exitCode = runExport(context, *args);
    });
}

}  // namespace kelvara::cli
