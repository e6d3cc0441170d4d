#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "engine/ConversionPool.h"
#include "engine/DestinationNames.h"
#include "engine/ExportManifest.h"
#include "engine/ExportOptionValues.h"
#include "engine/ExportPlan.h"
#include "engine/ExportUi.h"
#include "engine/KvrUserOptions.h"
#include "engine/M3uPlaylist.h"
#include "engine/MetadataToken.h"
#include "engine/MirrorSweep.h"
#include "engine/OrderedReport.h"
#include "engine/SerialWorker.h"
#include "engine/SongConverter.h"
#include "engine/UpdateDecision.h"
#include "library/KvrAlbumInfo.h"
#include "library/MediaItem.h"
#include "library/Playlist.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

class MediaLibrary;

// How a run ended, for whoever waits on it.
enum class RunEnding {
    NotStarted,     // nothing to export, or not started yet
    CouldNotStart,  // refused before anything was written; the reason went to ExportUi::alert
    Running,
    Finished,          // every item done; errorCount() tells whether there were issues
    StoppedByUser,     // the stop request, or abort()
    StoppedByFailure,  // a folder could not be made, or the converter could not start
};

// One export run over playlists or albums into a destination folder, with the log, progress and
// end of run reported through ExportUi. The run's own worker thread takes the songs in export
// order and decides everything about each (status, name, skip or replace, playlist entry) and
// copies; with more than one song at once (the "ParallelSongs" option), conversions are handed to
// a pool of that many workers and overlap, while everything each song reports is held until the
// songs before it have reported, so that the result and the log are those of one song at a time.
// Make one per run: fill the run options, then call exportPlaylists or exportAlbums.
class KvExportManager {
  public:
    // `converter` may be null: a run that would convert or write album artwork then refuses to
    // start. The persistent options are a copy of the shared ones, taken now.
    explicit KvExportManager(ExportUi& ui, SongConverter* converter = nullptr);
    // Ends a run still going at once (no partial file stays) and joins its worker.
    ~KvExportManager();
    KvExportManager(const KvExportManager&) = delete;
    KvExportManager& operator=(const KvExportManager&) = delete;

    // The persistent options this run uses, and the store holding the unchecked-songs lists.
    const KvrUserOptions& userOptions() const { return userOptions_; }
    void setUserOptions(const KvrUserOptions& options) { userOptions_ = options; }
    void setPreferences(const PreferencesStore& preferences) { preferences_ = &preferences; }
    // The library the playlists, albums and songs of the run belong to: kept alive as long as
    // this manager, so that a reload meanwhile cannot pull it away from under the run.
    void setLibrary(std::shared_ptr<const MediaLibrary> library) { library_ = std::move(library); }

    // Run options.
    bool exportPlaylistFile() const { return exportPlaylistFile_; }
    void setExportPlaylistFile(bool v) { exportPlaylistFile_ = v; }
    bool exportAlbumImage() const { return exportAlbumImage_; }
    void setExportAlbumImage(bool v) { exportAlbumImage_ = v; }
    NamePattern fileNameFormatType() const { return fileNameFormatType_; }
    void setFileNameFormatType(NamePattern v) { fileNameFormatType_ = v; }
    bool createArtistFolder() const { return createArtistFolder_; }
    void setCreateArtistFolder(bool v) { createArtistFolder_ = v; }
    std::int64_t bitRate() const { return bitRate_; }
    void setBitRate(std::int64_t v) { bitRate_ = v; }
    std::int64_t aacBitRate() const { return aacBitRate_; }
    void setAacBitRate(std::int64_t v) { aacBitRate_ = v; }
    bool converToMp3() const { return converToMp3_; }
    void setConverToMp3(bool v) { converToMp3_ = v; }
    bool converToAAC() const { return converToAAC_; }
    void setConverToAAC(bool v) { converToAAC_ = v; }
    std::int64_t trackNumberFormat() const { return trackNumberFormat_; }
    void setTrackNumberFormat(std::int64_t v) { trackNumberFormat_ = v; }
    const FormatList& customFormatArray() const { return customFormatArray_; }
    void setCustomFormatArray(FormatList v) { customFormatArray_ = std::move(v); }

    // A dry run reads the library and the destination and writes nothing at all (no folder, no
    // playlist file, no working file, no lock, no record); plan() then says what a real run with
    // the same options would do.
    bool dryRun() const { return dryRun_; }
    void setDryRun(bool v) { dryRun_ = v; }
    const ExportPlan& plan() const { return plan_; }
    // Asked on the run's worker before the mirror removes more than MirrorSweep::confirmAbove
    // files; without one, they are removed.
    void setConfirmRemoval(MirrorSweep::Confirm confirm) { confirmRemoval_ = std::move(confirm); }

    // Start a run and return at once; the run goes on on the worker. An empty list starts nothing.
    void exportPlaylists(std::vector<const Playlist*> playlists, std::filesystem::path url);
    void exportAlbums(std::vector<std::shared_ptr<KvrAlbumInfo>> albums, std::filesystem::path url);

    // Blocks until the run has ended (returns at once when none was started).
    RunEnding waitUntilFinished();
    RunEnding ending() const;
    // Ends the run at once: the songs in flight stop and leave no partial file, nothing follows.
    void abort();

    // Issues logged so far (the final summary line, when it is one, included).
    std::int64_t errorCount() const { return errorCount_.load(); }

    // The naming rule for every folder and file name, in this run's character set.
    std::string sanitizeFileNameString(std::string_view text) const;
    // A playlist's songs in the order of the "TracksOrder" option.
    std::vector<const MediaItem*> getSongsFromPlaylist(const Playlist& playlist) const;

    // How often a song handed on to the next step, and how often a song did so more than once
    // (must stay 0); the run's own check that every song hands on exactly once.
    std::int64_t handOnCount() const { return handOnCount_.load(); }
    std::int64_t handOnViolations() const { return handOnViolations_.load(); }

  private:
    // What a song becomes: copied, or converted to MP3 or AAC, and its file's extension.
    struct Target {
        bool mp3 = false;
        bool aac = false;
        std::string ext;
    };

    // What the record needs to know of a song's file, gathered before it is written.
    struct SongRecord {
        std::string path;  // relative to the destination
        std::string source;
        std::optional<FileStamp> sourceStamp;
        OutputShape shape;
        std::optional<ManifestEntry> recorded;  // this run's or the earlier run's entry
    };

    bool refuseWithoutConverter();
    UpdateDecision::Verdict decideFor(const std::filesystem::path& source,
                                      const std::filesystem::path& destination,
                                      const OutputShape& shape, SongRecord& record) const;
    void recordSong(const SongRecord& record, bool written, const std::filesystem::path& file);
    void recordFile(ManifestEntry::Kind kind, const std::filesystem::path& file);
    std::string relativePath(const std::filesystem::path& file) const;
    void remember(ManifestEntry entry);
    void remember(ManifestEntry::Kind kind, std::string path);
    void planSong(const MediaItem& song, const std::filesystem::path& source,
                  const SongRecord& record, const UpdateDecision::Verdict& verdict,
                  const std::string& conversion, std::int64_t bytes);
    void planRefusal(const MediaItem& song, const std::string& reason);
    void loadManifest();
    // Whether the run asks to update or mirror, and so relies on the record.
    bool keepsInStep() const;
    // Removes what the run no longer produces (when asked), then saves the record.
    void endManifest(bool stopped);
    void startRun();
    DestinationNames::Options namingOptions() const;
    M3uPlaylist::Options playlistFileOptions() const;
    bool beginConverter();
    void exportNext();
    void nextItemOrDone();
    void exportSong(const MediaItem& song);
    bool passOver(const MediaItem& song);
    Target targetFor(const MediaItem& song, const std::filesystem::path& source);
    void copySong(const MediaItem& song, const std::filesystem::path& source,
                  const std::filesystem::path& destination, const std::string& sourceName);
    void convertSong(const MediaItem& song, bool toMp3, const std::filesystem::path& source,
                     const std::filesystem::path& destination, const std::string& sourceName);
    void createPathForTrack(const MediaItem& song);
    std::error_code makeSongFolder(const std::vector<std::string>& levels);
    void exportAlbumArtwork(const MediaItem& song);
    std::optional<std::string> kindForDecision(const MediaItem& song,
                                               const std::filesystem::path& file);
    void savePlaylistString();
    void loadItem();
    bool refuseSource(const std::string& title, const std::filesystem::path& source,
                      const std::filesystem::path& destination);
    void doneExport();
    void willReturn();
    void stopByUser();
    void stopByFailure(const std::string& description);
    void finish(RunEnding ending);
    void handOn();
    void post(void (KvExportManager::*step)());
    void runStep(void (KvExportManager::*step)());
    void recoverFrom(const std::string& what);
    // How many songs may be converted at once: the option, with 0 meaning one per core.
    int songsAtOnce() const;
    // Waits for the songs in flight and lets everything they reported be said; what is said after
    // follows it.
    void drain();
    // Hands a conversion to the pool; the song's report goes with it.
    void dispatch(ConversionJob job, bool toMp3, SongRecord record);
    void runConversion(const ConversionJob& job, bool toMp3, const SongRecord& record);
    ConversionJob jobFor(const MediaItem& song, const std::filesystem::path& source,
                         const std::filesystem::path& destination, int rate);

    void logMessage(const std::string& line);
    void logErrorMessage(const std::string& line);
    // The same for the song of `ticket`, from whichever thread works on it.
    void logTo(OrderedReport::Ticket ticket, const std::string& line, bool issue);
    void consoleTo(OrderedReport::Ticket ticket, const std::string& line);
    void showProgressValue(long value);
    void logOptions();
    const char* layoutName() const;
    void clearHiddenFiles();
    void showNotification();

    bool converting() const { return converToMp3_ || converToAAC_; }
    void cleanLeftoversOnce(const std::filesystem::path& folder);

    ExportUi& ui_;
    SongConverter* converter_;
    KvrUserOptions userOptions_;
    const PreferencesStore* preferences_;
    std::shared_ptr<const MediaLibrary> library_;  // declared before worker_: let go after the join

    // Run options.
    bool exportPlaylistFile_ = false;
    bool exportAlbumImage_ = false;
    NamePattern fileNameFormatType_ = NamePattern::SourceName;
    bool createArtistFolder_ = false;
    std::int64_t bitRate_ = 0;
    std::int64_t aacBitRate_ = 0;
    bool converToMp3_ = false;
    bool converToAAC_ = false;
    std::int64_t trackNumberFormat_ = 0;
    FormatList customFormatArray_;

    // Run state; touched only by the worker once the run has started.
    ExportType exportType_ = ExportType::Playlists;
    std::vector<const Playlist*> playlists_;
    std::vector<std::shared_ptr<KvrAlbumInfo>> albums_;
    std::int64_t playlistIndex_ = 0;
    std::int64_t songIndex_ = -1;
    std::vector<const MediaItem*> songsArray_;
    std::set<std::uint64_t> uncheckedSongs_;
    // The names of the run's folders and files, and of the current item's folder and playlist file.
    std::optional<DestinationNames> names_;
    DestinationNames::Item item_;
    std::string itemTitle_;  // the current playlist's name or album's title, as the log shows it
    std::optional<M3uPlaylist> playlistFile_;
    std::filesystem::path exportUrl_;
    std::optional<std::filesystem::path> currentUrl_;
    // Set when a folder on the way to currentUrl_ is a symbolic link: nothing goes through it.
    std::optional<std::filesystem::path> folderLink_;
    // The folder levels the last song's check found to be plain folders: songs of one playlist or
    // album share them, and need not look again.
    std::optional<std::vector<std::string>> checkedLevels_;
    std::string trackLocalFolderPath_;
    const MediaItem* currentSong_ = nullptr;
    std::int64_t currentSongBitRate_ = 0;
    bool converterRunning_ = false;
    bool powerHeld_ = false;
    bool songInFlight_ = false;
    std::set<std::filesystem::path> cleanedFolders_;
    // The current song's place in the report (0 between songs), and the destinations of the
    // conversions handed to the pool since it was last idle.
    OrderedReport::Ticket ticket_ = 0;
    std::set<std::filesystem::path> dispatched_;

    // The record found in the destination, and the one this run makes; songs that failed.
    std::unique_ptr<ExportManifest> earlier_;
    std::unique_ptr<ExportManifest> current_;
    std::atomic<int> failedSongs_{0};
    bool dryRun_ = false;
    bool recording_ = false;  // whether this run's record is saved (or planned)
    ExportPlan plan_;
    MirrorSweep::Confirm confirmRemoval_;

    std::atomic<std::int64_t> errorCount_{0};
    std::atomic<std::int64_t> handOnCount_{0};
    std::atomic<std::int64_t> handOnViolations_{0};
    std::atomic<bool> abort_{false};

    mutable std::mutex endingMutex_;
    std::condition_variable endingChanged_;
    RunEnding ending_ = RunEnding::NotStarted;

    OrderedReport report_;
    // The conversion workers of a run with more than one song at once; joined before the members
    // their tasks use go, and after the run's worker, which hands them their tasks.
    std::optional<ConversionPool> pool_;

    // Last member: destroyed (joined) first, while everything its tasks use still exists.
    SerialWorker worker_;
};

}  // namespace kelvara
