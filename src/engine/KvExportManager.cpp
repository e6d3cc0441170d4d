#include "engine/KvExportManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "engine/FileNameRules.h"
#include "engine/HiddenFileSweep.h"
#include "engine/SongOrder.h"
#include "library/ValidUtf8.h"
#include "platform/AtomicFile.h"
#include "platform/FileCopy.h"
#include "platform/TextCompare.h"

namespace kelvara {
namespace fs = std::filesystem;
namespace {

const std::string kStarLine(65, '*');
const std::string kHyphenLine(77, '-');
const std::string kEqualsLine(56, '=');

std::string text(const OptionalText& value) { return value.value_or(""); }

bool present(const OptionalText& value) { return value && !value->empty(); }

bool somethingAt(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// Whether two paths name the same file, through links of either kind.
bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat first {};
    struct stat second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

UpdateDecision::Policy policyFor(KvrUserOptions::ExistingFiles existing) {
    switch (existing) {
        case KvrUserOptions::ExistingFiles::Replace:
            return UpdateDecision::Policy::Overwrite;
        case KvrUserOptions::ExistingFiles::UpdateWhenChanged:
            return UpdateDecision::Policy::Update;
        case KvrUserOptions::ExistingFiles::Skip:
            break;
    }
    return UpdateDecision::Policy::Skip;
}

}  // namespace

KvExportManager::KvExportManager(ExportUi& ui, SongConverter* converter)
    : ui_(ui),
      converter_(converter),
      userOptions_(KvrUserOptions::shareOptions()),
      preferences_(&PreferencesStore::standardUserDefaults()) {}

KvExportManager::~KvExportManager() {
    // The aborted run ends at its next step (the song in flight stops within one copy chunk),
    // which also releases the power lock and the converter.
    abort();
    if (ending() == RunEnding::Running) waitUntilFinished();
}

// ---------------------------------------------------------------------------------------------
// Starting and ending

bool KvExportManager::refuseWithoutConverter() {
    if (converter_) return false;
    std::string what;
    if (converToMp3_)
        what = "converting to MP3";
    else if (converToAAC_)
        what = "converting to AAC";
    else if (exportType_ == ExportType::Albums && exportAlbumImage_)
        what = "saving album artwork";
    else
        return false;
    ui_.alert("Cannot start export: " + what + " is not available in this version.");
    finish(RunEnding::CouldNotStart);
    return true;
}

void KvExportManager::exportPlaylists(std::vector<const Playlist*> playlists, fs::path url) {
    errorCount_ = 0;
    exportType_ = ExportType::Playlists;
    if (playlists.empty()) return;
    if (refuseWithoutConverter()) return;
    playlists_ = std::move(playlists);
    exportUrl_ = std::move(url);
    finish(RunEnding::Running);
    post(&KvExportManager::startRun);
}

void KvExportManager::exportAlbums(std::vector<std::shared_ptr<KvrAlbumInfo>> albums,
                                   fs::path url) {
    errorCount_ = 0;
    exportType_ = ExportType::Albums;
    if (albums.empty()) return;
    if (refuseWithoutConverter()) return;
    albums_ = std::move(albums);
    exportUrl_ = std::move(url);
    finish(RunEnding::Running);
    post(&KvExportManager::startRun);
}

void KvExportManager::startRun() {
    ui_.showProgress();
    ui_.setProgressValue(0);
    logMessage("Starting export:");
    logOptions();
    if (!dryRun_) cleanLeftoversOnce(exportUrl_);
    checkedLevels_.reset();
    loadManifest();

    names_.emplace(namingOptions());
    playlistFile_.emplace(playlistFileOptions());

    playlistIndex_ = 0;
    songIndex_ = -1;
    loadItem();
    logMessage(
        (exportType_ == ExportType::Playlists ? "Exporting playlist: " : "Exporting album: ") +
        itemTitle_);
    logMessage(kHyphenLine);
    ui_.setProgressMaximum(static_cast<long>(songsArray_.size()));
    ui_.setProgressMessage(
        (exportType_ == ExportType::Playlists ? "Exporting playlist: " : "Exporting album: ") +
        itemTitle_);

    if (dryRun_) {
        exportNext();
        return;
    }
    ui_.beginPowerInhibit("Exporting tracks");
    powerHeld_ = true;
    if (converting() && converter_->convertsSongsAtOnce() && songsAtOnce() > 1)
        pool_.emplace(songsAtOnce());
    if (beginConverter()) exportNext();
}

DestinationNames::Options KvExportManager::namingOptions() const {
    DestinationNames::Options options;
    options.encoding = userOptions_.playlistEncoding();
    options.layout = userOptions_.filesSaveToFolder();
    options.albumRun = exportType_ == ExportType::Albums;
    options.artistFolder = createArtistFolder_;
    options.pattern = fileNameFormatType_;
    options.trackNumberFormat = trackNumberFormat_;
    options.customFormat = customFormatArray_;
    return options;
}

M3uPlaylist::Options KvExportManager::playlistFileOptions() const {
    M3uPlaylist::Options options;
    options.layout = userOptions_.filesSaveToFolder();
    options.albumRun = exportType_ == ExportType::Albums;
    options.saveWithFiles = userOptions_.saveM3uWithFiles();
    options.windowsPaths = userOptions_.windowsPaths();
    options.lineEnding = userOptions_.lineEnding();
    options.encoding = userOptions_.playlistEncoding();
    return options;
}

// False when the run has ended instead.
bool KvExportManager::beginConverter() {
    if (!converting()) return true;
    // Waiting for another run's lock may last as long as that run: the stop request, which is
    // otherwise read before each song, ends the wait as the abort does, seen within 0.1 s.
    std::atomic<bool> giveUp{false};
    Status begun;
    {
        std::mutex mutex;
        std::condition_variable_any tick;
        const std::jthread watcher([&](std::stop_token beganOrGaveUp) {
            std::unique_lock lock(mutex);
            for (;;) {
                tick.wait_for(lock, beganOrGaveUp, std::chrono::milliseconds(100),
                              [] { return false; });
                if (beganOrGaveUp.stop_requested()) return;
                if (abort_ || ui_.cancelRequested()) {
                    giveUp = true;
                    return;
                }
            }
        });
        begun =
            converter_->beginRun([this](const std::string& line) { logMessage(line); }, &giveUp);
    }
    if (!begun.ok()) {
        // A stop while waiting for another run's lock is the user's, not a failure.
        if (giveUp || abort_)
            stopByUser();
        else
            stopByFailure(begun.message());
        return false;
    }
    converterRunning_ = true;
    return true;
}

// The current item's songs, name and unchecked-songs list.
void KvExportManager::loadItem() {
    playlistFile_->clear();
    uncheckedSongs_.clear();
    if (exportType_ == ExportType::Playlists) {
        const Playlist& playlist = *playlists_[static_cast<std::size_t>(playlistIndex_)];
        songsArray_ = getSongsFromPlaylist(playlist);
        item_ = names_->playlistItem(playlist.name());
        itemTitle_ = playlist.name();
        for (std::uint64_t id :
             preferences_->numberArrayForKey(std::to_string(playlist.persistentID())))
            uncheckedSongs_.insert(id);
    } else {
        KvrAlbumInfo& album = *albums_[static_cast<std::size_t>(playlistIndex_)];
        songsArray_ = album.getSongs();
        item_ = names_->albumItem(album.artist(), album.title());
        itemTitle_ = album.title();
        if (album.album())
            for (std::uint64_t id :
                 preferences_->numberArrayForKey(std::to_string(album.album()->persistentID())))
                uncheckedSongs_.insert(id);
    }
    item_ = names_->claim(std::move(item_));
}

void KvExportManager::exportNext() {
    // With every worker busy the next song waits here, before the stop request is read: a stop
    // made meanwhile ends the run before that song, not after it.
    if (pool_) pool_->waitForFreeWorker();
    if (abort_) {
        stopByUser();
        return;
    }
    ui_.setSmallInfo("");
    ui_.setSpinner(false);
    ++songIndex_;
    if (songIndex_ >= static_cast<std::int64_t>(songsArray_.size())) {
        nextItemOrDone();
        return;
    }
    ticket_ = report_.open();
    const MediaItem& song = *songsArray_[static_cast<std::size_t>(songIndex_)];
    currentSong_ = &song;
    createPathForTrack(song);
    if (!currentUrl_) return;  // the folder failure has ended the run

    // The bar counts the songs finished: it moves when the songs before this one have reported.
    showProgressValue(static_cast<long>(songIndex_));
    if (exportType_ == ExportType::Albums) {
        const auto maximum = static_cast<long>(songsArray_.size());
        const std::string message = "Exporting album: " + itemTitle_;
        report_.say(ticket_, [this, maximum] { ui_.setProgressMaximum(maximum); });
        report_.say(ticket_, [this, message] { ui_.setProgressMessage(message); });
        if (exportAlbumImage_ && !folderLink_) exportAlbumArtwork(song);
    }
    songInFlight_ = true;
    exportSong(song);
}

void KvExportManager::nextItemOrDone() {
    // The playlist file is written once its songs are, as one song at a time would; an abort
    // while they finished ends the run as it would have before the next song.
    drain();
    if (abort_) {
        stopByUser();
        return;
    }
    savePlaylistString();
    playlistFile_->clear();
    songIndex_ = -1;
    const auto count = static_cast<std::int64_t>(
        exportType_ == ExportType::Playlists ? playlists_.size() : albums_.size());
    if (playlistIndex_ >= count - 1) {
        doneExport();
        return;
    }
    ++playlistIndex_;
    loadItem();
    const std::string heading =
        (exportType_ == ExportType::Playlists ? "Exporting playlist: " : "Exporting album: ") +
        itemTitle_;
    auto showItem = [&] {
        ui_.setProgressMaximum(static_cast<long>(songsArray_.size()));
        ui_.setProgressMessage(heading);
    };
    // An album run shows the new album on the sheet before logging it; a playlist run logs first.
    if (exportType_ == ExportType::Albums) showItem();
    logMessage(kHyphenLine);
    logMessage(heading);
    logMessage(kHyphenLine);
    if (exportType_ == ExportType::Playlists) showItem();
    post(&KvExportManager::exportNext);
}

void KvExportManager::doneExport() {
    drain();
    if (dryRun_) {
        endManifest(false);
        ui_.closeProgress();
        finish(RunEnding::Finished);
        return;
    }
    // Before the hidden-file sweep: the clutter files it removes would keep folders from being
    // left empty.
    endManifest(false);
    clearHiddenFiles();
    logMessage(kEqualsLine);
    const std::int64_t issues = errorCount_;
    if (issues == 1)
        logErrorMessage("Export Finished with 1 issue");
    else if (issues > 1)
        logErrorMessage("Export Finished with " + std::to_string(issues) + " issues");
    else
        logMessage("Export Finished");
    logMessage(kEqualsLine);
    ui_.closeProgress();
    showNotification();
    ui_.openDestination(exportUrl_);
    willReturn();
    finish(RunEnding::Finished);
}

void KvExportManager::willReturn() {
    if (powerHeld_) ui_.endPowerInhibit();
    powerHeld_ = false;
    if (converterRunning_) converter_->endRun();
    converterRunning_ = false;
}

void KvExportManager::stopByUser() {
    // The songs in flight finish (or, after abort(), stop) and report before the run's last line.
    drain();
    endManifest(true);
    logMessage("User stopped export");
    ui_.setSpinner(false);
    ui_.setSmallInfo("");
    ui_.closeProgress();
    willReturn();
    finish(RunEnding::StoppedByUser);
}

void KvExportManager::stopByFailure(const std::string& description) {
    drain();
    endManifest(true);
    logMessage(kHyphenLine);
    logMessage("Export stopped with error:" + description);
    ui_.closeProgress();
    willReturn();
    ui_.alert("Error:" + description);
    finish(RunEnding::StoppedByFailure);
}

void KvExportManager::finish(RunEnding ending) {
    {
        std::lock_guard lock(endingMutex_);
        ending_ = ending;
    }
    endingChanged_.notify_all();
}

RunEnding KvExportManager::waitUntilFinished() {
    std::unique_lock lock(endingMutex_);
    endingChanged_.wait(lock, [this] { return ending_ != RunEnding::Running; });
    return ending_;
}

RunEnding KvExportManager::ending() const {
    std::lock_guard lock(endingMutex_);
    return ending_;
}

void KvExportManager::abort() { abort_ = true; }

void KvExportManager::handOn() {
    // Every song ends by handing on exactly once; a second hand-on would start two songs at once.
    if (!songInFlight_) {
        ++handOnViolations_;
        return;
    }
    songInFlight_ = false;
    ++handOnCount_;
    // A song handed to the pool completes its report there.
    if (ticket_ != 0) report_.complete(ticket_);
    ticket_ = 0;
    post(&KvExportManager::exportNext);
}

void KvExportManager::post(void (KvExportManager::*step)()) {
    worker_.post([this, step] { runStep(step); });
}

void KvExportManager::runStep(void (KvExportManager::*step)()) {
    // A step queued behind the end of the run (by a failure that ended it) does nothing.
    if (ending() != RunEnding::Running) return;
    try {
        (this->*step)();
    } catch (const std::exception& error) {
        recoverFrom(error.what());
    } catch (...) {
        recoverFrom("unknown error");
    }
}

void KvExportManager::recoverFrom(const std::string& what) {
    // Nothing may escape the worker (it would end the process) and the run must not be left
    // waiting for a hand-on that never comes: a song that fails this way is an issue and the run
    // goes on with the next one; a failure outside a song ends the run.
    try {
        if (songInFlight_) {
            logErrorMessage("Error: " + what);
            handOn();
        } else if (ending() == RunEnding::Running) {
            stopByFailure(what);
        }
    } catch (...) {
        finish(RunEnding::StoppedByFailure);  // whoever waits for the run is not left waiting
    }
}

int KvExportManager::songsAtOnce() const {
    if (userOptions_.parallelSongs() > 0) return userOptions_.parallelSongs();
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(
        std::clamp<unsigned>(cores, 1, static_cast<unsigned>(KvrUserOptions::kMaxParallelSongs)));
}

void KvExportManager::drain() {
    if (pool_) pool_->waitIdle();
    dispatched_.clear();
    if (ticket_ != 0) report_.complete(ticket_);
    ticket_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Songs

std::vector<const MediaItem*> KvExportManager::getSongsFromPlaylist(
    const Playlist& playlist) const {
    return SongOrder(userOptions_.tracksOrder(), userOptions_.orderAscending())
        .apply(playlist.items());
}

void KvExportManager::exportSong(const MediaItem& song) {
    if (passOver(song)) return;
    const fs::path source = *song.location();
    const std::string sourceName = source.filename().string();
    const Target target = targetFor(song, source);
    const std::int64_t number = (exportType_ == ExportType::Playlists &&
                                 userOptions_.filesSaveToFolder() == FolderLayout::PlaylistFolder)
                                    ? songIndex_ + 1
                                    : static_cast<std::int64_t>(song.trackNumber());
    const std::string fileName = names_->songFileName(song, sourceName, target.ext, number);
    const fs::path destination = *currentUrl_ / fileName;
    playlistFile_->addSong(song, trackLocalFolderPath_, fileName);
    // A song whose file an earlier song in flight is writing sees that song's outcome, as it
    // would one song at a time: whether the file exists decides its skip or replace.
    if (dispatched_.count(destination)) {
        drain();
        if (abort_) {
            songInFlight_ = false;
            stopByUser();
            return;
        }
        ticket_ = report_.open();
    }
    consoleTo(ticket_, ">>>>> location from " + source.string() + " to " + destination.string());
    if (refuseSource(text(song.title()), source, destination)) return;

    if (target.mp3 || target.aac)
        convertSong(song, target.mp3, source, destination, sourceName);
    else
        copySong(song, source, destination, sourceName);
}

// A song that is not exported by its status: true when it has handed on (or the run has
// stopped). Such a song is not listed in the playlist file.
bool KvExportManager::passOver(const MediaItem& song) {
    if (song.isVideo()) {
        handOn();
        return true;
    }
    if (ui_.cancelRequested()) {
        songInFlight_ = false;
        stopByUser();
        return true;
    }
    const std::string title = text(song.title());
    if (uncheckedSongs_.count(song.persistentID())) {
        logMessage("Will not export song \"" + title + "\": Unchecked by the user.");
        handOn();
        return true;
    }
    std::string issue;
    if (song.isDRMProtected())
        issue = "Cannot export song \"" + title + "\": File is DRM protected.";
    else if (song.isCloud())
        issue = "Cannot export song \"" + title + "\": File is in iCloud.";
    else if (!song.location())
        issue = "Cannot export song \"" + title + "\": File does not exist";
    else if (folderLink_)
        issue = "Error: Cannot export song \"" + title + "\": " + folderLink_->string() +
                " is a symbolic link";
    else
        return false;
    logErrorMessage(issue);
    ++failedSongs_;
    planRefusal(song, issue);
    handOn();
    return true;
}

// The source's own extension when copied; a song already of the target's type, or lossy when
// lossy songs are kept as they are, is copied too.
KvExportManager::Target KvExportManager::targetFor(const MediaItem& song, const fs::path& source) {
    const std::string sourceName = source.filename().string();
    Target target{converToMp3_, converToAAC_, "mp3"};
    if (!sourceName.empty()) {
        const auto dot = sourceName.rfind('.');
        target.ext = dot == std::string::npos ? "" : sourceName.substr(dot + 1);
    }
    if (!target.mp3 && !target.aac) return target;

    const std::optional<std::string> kind = kindForDecision(song, source);
    const bool kindIsMp3 = kind && *kind == "MPEG audio file";
    const bool kindIsAac = !kind || containsIgnoringCase(*kind, "aac");
    const bool extIsMp3 = lowercase(target.ext) == "mp3";
    if (userOptions_.dontConvertSameType()) {
        target.mp3 = target.mp3 && !kindIsMp3 && !extIsMp3;
        target.aac = target.aac && !kindIsAac;
    }
    if (userOptions_.dontConvertLossyFormats() && (kindIsAac || kindIsMp3 || extIsMp3))
        target.mp3 = target.aac = false;
    if (target.mp3)
        target.ext = "mp3";
    else if (target.aac)
        target.ext = "m4a";
    return target;
}

// A source that is not a regular file, or that is the destination itself, is never read or
// written: the song is an issue. Checked before both the copy and the conversions.
bool KvExportManager::refuseSource(const std::string& title, const fs::path& source,
                                   const fs::path& destination) {
    if (const auto reason = notARegularFile(source)) {
        logErrorMessage(*reason);
    } else if (sameFile(source, destination)) {
        logErrorMessage("Error: Cannot export song \"" + title +
                        "\": the destination is the source file itself: " + destination.string());
    } else {
        return false;
    }
    ++failedSongs_;
    if (currentSong_) planRefusal(*currentSong_, "the source is not a file that can be read");
    handOn();
    return true;
}

std::optional<std::string> KvExportManager::kindForDecision(const MediaItem& song,
                                                            const fs::path& file) {
    if (song.canonicalKind()) return song.canonicalKind();
    // A FIFO would block the probe; such a song is refused before any conversion anyway.
    if (!converter_ || notARegularFile(file)) return std::nullopt;
    return converter_->probeKind(file);
}

void KvExportManager::convertSong(const MediaItem& song, bool toMp3, const fs::path& source,
                                  const fs::path& destination, const std::string& sourceName) {
    const std::int64_t chosen = toMp3 ? bitRate_ : aacBitRate_;
    if (chosen == 0) {
        currentSongBitRate_ = 160;
        const std::int64_t cap = toMp3 ? 256 : 320;
        if (song.bitrate() != 0) currentSongBitRate_ = std::min<std::int64_t>(song.bitrate(), cap);
    }
    const std::int64_t rate = chosen >= 1 ? chosen : currentSongBitRate_;
    OutputShape shape;
    shape.conversion = toMp3 ? "mp3" : "aac";
    shape.bitRate = rate;
    shape.quality = toMp3 ? userOptions_.lameQuality() : 0;
    SongRecord record;
    const UpdateDecision::Verdict verdict = decideFor(source, destination, shape, record);
    if (dryRun_) {
        // A constant bit rate makes the size: kbit/s times seconds, over eight.
        planSong(song, source, record, verdict, toMp3 ? "MP3" : "AAC",
                 rate * 125 * static_cast<std::int64_t>(song.totalTime()) / 1000);
        handOn();
        return;
    }
    logMessage(std::string(toMp3 ? "Converting to MP3(" : "Converting to AAC(") +
               std::to_string(static_cast<int>(rate)) + ") song: " + sourceName);
    ui_.setSpinner(true);
    ui_.setSmallInfo("Converting song: " + (present(song.title()) ? *song.title() : sourceName));

    ConversionJob job = jobFor(song, source, destination, static_cast<int>(rate));
    // An update decides per file; the other policies leave it to the converter, as always.
    if (userOptions_.existingFiles() == KvrUserOptions::ExistingFiles::UpdateWhenChanged)
        job.skipIfExists = !verdict.write;
    if (pool_) {
        dispatch(std::move(job), toMp3, std::move(record));
    } else {
        runConversion(job, toMp3, record);
    }
    handOn();
}

ConversionJob KvExportManager::jobFor(const MediaItem& song, const fs::path& source,
                                      const fs::path& destination, int rate) {
    ConversionJob job;
    job.song = &song;
    job.source = source;
    job.destination = destination;
    job.bitRate = rate;
    job.algorithm = userOptions_.algorithm();
    job.skipIfExists = userOptions_.skipIfExists();
    job.cancel = &abort_;
    // The song's lines keep their place in the log, whichever thread converts it.
    const OrderedReport::Ticket ticket = ticket_;
    job.logMessage = [this, ticket](const std::string& line) { logTo(ticket, line, false); };
    job.logErrorMessage = [this, ticket](const std::string& line) { logTo(ticket, line, true); };
    job.console = [this, ticket](const std::string& line) { consoleTo(ticket, line); };
    return job;
}

void KvExportManager::runConversion(const ConversionJob& job, bool toMp3,
                                    const SongRecord& record) {
    try {
        const ConversionOutcome outcome =
            toMp3 ? converter_->convertItemAtUrl(job) : converter_->convertToAACItemAtUrl(job);
        if (outcome == ConversionOutcome::Failed && !abort_) ++failedSongs_;
        if (outcome != ConversionOutcome::Failed)
            recordSong(record, outcome == ConversionOutcome::Written, job.destination);
    } catch (const std::exception& error) {
        // Nothing may cross the song's boundary; the run goes on with the next song.
        job.logErrorMessage(std::string("Error: ") + error.what());
        ++failedSongs_;
    }
}

void KvExportManager::dispatch(ConversionJob job, bool toMp3, SongRecord record) {
    dispatched_.insert(job.destination);
    const OrderedReport::Ticket ticket = ticket_;
    ticket_ = 0;  // the song's report is the pool's to complete now
    pool_->submit([this, job = std::move(job), toMp3, ticket,
                   record = std::move(record)](int worker) mutable {
        job.worker = worker;
        try {
            // A song still waiting for its worker when the run was aborted is not begun.
            if (!abort_) runConversion(job, toMp3, record);
        } catch (...) {
            // Even a failed report must not end the process or leave the later songs held.
        }
        report_.complete(ticket);
    });
}

void KvExportManager::copySong(const MediaItem& song, const fs::path& source,
                               const fs::path& destination, const std::string& sourceName) {
    SongRecord record;
    const UpdateDecision::Verdict verdict = decideFor(source, destination, OutputShape{}, record);
    if (dryRun_) {
        planSong(song, source, record, verdict, "",
                 record.sourceStamp ? record.sourceStamp->size : 0);
        handOn();
        return;
    }
    logMessage("Exporting song: " + sourceName);
    ui_.setSpinner(true);
    ui_.setSmallInfo("Exporting song: " + (present(song.title()) ? *song.title() : sourceName));

    std::error_code ec;
    const auto status = fs::symlink_status(destination, ec);
    if (status.type() != fs::file_type::not_found && !ec) {
        consoleTo(ticket_, "File exists!!");
        if (!verdict.write) {
            logMessage("File exists at:" + destination.string());
            recordSong(record, false, destination);
            handOn();
            return;
        }
        logMessage("File exists. Will delete file at:" + destination.string());
        // A file is replaced by the rename that completes the copy, so the old one stays whole
        // until the new one is; anything else has to go first.
        if (status.type() != fs::file_type::regular && status.type() != fs::file_type::symlink) {
            fs::remove(destination, ec);
            if (ec) {
                logErrorMessage("Delete error: Cannot remove " + destination.string() + ": " +
                                ec.message());
                handOn();
                return;
            }
        }
    }
    if (const Status copied = copyFileAtomically(source, destination, &abort_); copied.ok()) {
        recordSong(record, true, destination);
    } else if (!abort_) {
        logErrorMessage(copied.message());
        ++failedSongs_;
    }
    handOn();
}

// ---------------------------------------------------------------------------------------------
// The export record: update, mirror and dry run

void KvExportManager::loadManifest() {
    earlier_ = ExportManifest::load(exportUrl_);
    current_ = std::make_unique<ExportManifest>();
    recording_ = keepsInStep() || dryRun_ || earlier_->origin() == ExportManifest::Origin::Loaded;
    // Only a run that relies on the record says so; any other run goes on as always.
    if (keepsInStep() && !earlier_->loadStatus().ok())
        logMessage("The export record cannot be used: " + earlier_->loadStatus().message());
}

void KvExportManager::remember(ManifestEntry entry) {
    if (!current_) return;
    // A name the record cannot hold (a control character) leaves the file unrecorded: such a file
    // is written again by an update and never removed by a mirror.
    const Status added = current_->add(std::move(entry));
    (void)added;
}

void KvExportManager::remember(ManifestEntry::Kind kind, std::string path) {
    ManifestEntry entry;
    entry.kind = kind;
    entry.path = std::move(path);
    remember(std::move(entry));
}

bool KvExportManager::keepsInStep() const {
    return userOptions_.existingFiles() == KvrUserOptions::ExistingFiles::UpdateWhenChanged ||
           userOptions_.mirrorDestination();
}

std::string KvExportManager::relativePath(const fs::path& file) const {
    return file.lexically_relative(exportUrl_).generic_string();
}

UpdateDecision::Verdict KvExportManager::decideFor(const fs::path& source,
                                                   const fs::path& destination,
                                                   const OutputShape& shape,
                                                   SongRecord& record) const {
    record.path = relativePath(destination);
    record.source = source.string();
    makeValidUtf8(record.source);
    // Only a run that keeps a record needs the source's stamp: any other run costs no more.
    if (recording_) record.sourceStamp = UpdateDecision::statSource(source);
    record.shape = shape;
    // A file this run already wrote (the same song twice) counts before the earlier record.
    if (current_) record.recorded = current_->find(record.path);
    if (!record.recorded && earlier_) record.recorded = earlier_->find(record.path);
    const ManifestEntry* recorded = record.recorded ? &*record.recorded : nullptr;
    return UpdateDecision::decide(policyFor(userOptions_.existingFiles()), recorded,
                                  source.string(), record.sourceStamp.value_or(FileStamp{}), shape,
                                  UpdateDecision::lstatDestination(destination));
}

void KvExportManager::recordSong(const SongRecord& record, bool written, const fs::path& file) {
    if (!current_) return;
    if (!written) {
        // Left as it was: still ours when a record says so, and not ours otherwise.
        if (record.recorded) remember(*record.recorded);
        return;
    }
    const UpdateDecision::Destination output = UpdateDecision::lstatDestination(file);
    if (!output.regularFile || !record.sourceStamp) return;
    ManifestEntry entry;
    entry.kind = ManifestEntry::Kind::Song;
    entry.path = record.path;
    entry.source = record.source;
    entry.sourceStamp = *record.sourceStamp;
    entry.shape = record.shape;
    entry.output = output.stamp;
    remember(std::move(entry));
}

void KvExportManager::recordFile(ManifestEntry::Kind kind, const fs::path& file) {
    const UpdateDecision::Destination output = UpdateDecision::lstatDestination(file);
    if (!current_ || !output.regularFile) return;
    ManifestEntry entry;
    entry.kind = kind;
    entry.path = relativePath(file);
    entry.output = output.stamp;
    remember(std::move(entry));
}

void KvExportManager::planSong(const MediaItem& song, const fs::path& source,
                               const SongRecord& record, const UpdateDecision::Verdict& verdict,
                               const std::string& conversion, std::int64_t bytes) {
    ExportPlan::Song planned;
    planned.title = text(song.title());
    planned.source = source.string();
    makeValidUtf8(planned.source);
    planned.destination = record.path;
    planned.action = verdict.planWord();
    planned.conversion = conversion;
    planned.detail = verdict.detail();
    planned.bytes = bytes;
    plan_.songs.push_back(std::move(planned));
    // This run's file from here on: a later song with the same name meets it, and the mirror's
    // plan does not count it among the files to remove.
    if (!current_) return;
    ManifestEntry entry;
    entry.path = record.path;
    entry.source = record.source;
    entry.sourceStamp = record.sourceStamp.value_or(FileStamp{});
    entry.shape = record.shape;
    entry.output =
        UpdateDecision::lstatDestination(*currentUrl_ / fs::path(record.path).filename()).stamp;
    if (!verdict.write && record.recorded) entry = *record.recorded;
    remember(std::move(entry));
}

void KvExportManager::planRefusal(const MediaItem& song, const std::string& reason) {
    if (!dryRun_) return;
    ExportPlan::Song planned;
    planned.title = text(song.title());
    if (song.location()) planned.source = song.location()->string();
    makeValidUtf8(planned.source);
    planned.action = "cannot export";
    planned.detail = reason;
    plan_.songs.push_back(std::move(planned));
}

void KvExportManager::endManifest(bool stopped) {
    if (!current_ || !earlier_) return;
    MirrorSweep::Outcome mirrored;
    if (userOptions_.mirrorDestination()) {
        MirrorSweep::Request request;
        request.root = exportUrl_;
        request.earlier = earlier_.get();
        request.current = current_.get();
        request.stopped = stopped;
        request.failedSongs = failedSongs_.load();
        request.plan = dryRun_;
        const auto log = [this](const std::string& line, bool issue) {
            if (dryRun_) {
                if (line.rfind("Not removing", 0) == 0) plan_.removalNote = line;
                return;
            }
            if (issue)
                logErrorMessage(line);
            else
                logMessage(line);
        };
        mirrored =
            MirrorSweep::run(request, log, dryRun_ ? MirrorSweep::Confirm{} : confirmRemoval_);
        if (dryRun_)
            plan_.removals = mirrored.removed;
        else if (!mirrored.refused)
            logMessage("Removed " + std::to_string(mirrored.removedFiles) +
                       (mirrored.removedFiles == 1 ? " file" : " files") +
                       " no longer exported, and " + std::to_string(mirrored.removedFolders) +
                       (mirrored.removedFolders == 1 ? " folder" : " folders") + " left empty");
    }
    if (dryRun_) return;
    // A record from a later version holds what this one cannot read: it stays as it is.
    if (earlier_->origin() == ExportManifest::Origin::Newer) return;
    // The record is kept by the runs that ask to stay in step, and by every run into a destination
    // that has one; any other run leaves the destination exactly as it always did.
    const bool kept = earlier_->origin() == ExportManifest::Origin::Loaded;
    if (!kept && !keepsInStep()) return;
    if (!kept && current_->size() == 0) return;
    std::error_code ec;
    if (!fs::is_directory(exportUrl_, ec)) return;
    current_->carryOver(*earlier_, mirrored.forgotten);
    // Nothing changed: no rewrite, and no sync of a slow stick, for a run that wrote nothing.
    if (kept && current_->sameEntriesAs(*earlier_)) return;
    if (const Status saved = current_->save(exportUrl_); !saved.ok())
        logMessage("Cannot save the export record: " + saved.message());
}

// ---------------------------------------------------------------------------------------------
// Folders

void KvExportManager::createPathForTrack(const MediaItem& song) {
    const std::vector<std::string> levels = names_->songFolder(song, item_);
    trackLocalFolderPath_.clear();
    fs::path folder = exportUrl_;
    for (const std::string& level : levels) {
        if (!trackLocalFolderPath_.empty()) trackLocalFolderPath_ += "/";
        trackLocalFolderPath_ += level;
        folder /= level;
    }
    currentUrl_.reset();
    folderLink_.reset();
    if (const std::error_code ec = makeSongFolder(levels)) {
        const std::string description =
            "Cannot create folder " + folder.string() + ": " + ec.message();
        consoleTo(ticket_,
                  "Error: Create folder failed " + folder.string() + " (" + ec.message() + ")");
        stopByFailure(description);
        return;
    }
    currentUrl_ = folder;
    if (!folderLink_ && !dryRun_) cleanLeftoversOnce(folder);
}

// Creates the destination and the song's folder levels below it that are missing. The destination
// itself may be a link (users point at mounts that way). Below it a link in place of a folder
// would take songs and playlist files somewhere else: none is followed, folderLink_ names it.
std::error_code KvExportManager::makeSongFolder(const std::vector<std::string>& levels) {
    if (checkedLevels_ == levels) return {};
    checkedLevels_.reset();
    std::error_code ec;
    if (!somethingAt(exportUrl_) && !dryRun_) fs::create_directories(exportUrl_, ec);
    fs::path walked = exportUrl_;
    for (const std::string& level : levels) {
        if (ec) break;
        walked /= level;
        struct stat info {};
        if (lstat(walked.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) continue;  // a folder, or a file that the song export meets
            folderLink_ = walked;
            break;
        }
        if (errno == ENOENT && dryRun_) break;  // nothing below a missing folder to look at
        if (errno == ENOENT)
            fs::create_directory(walked, ec);
        else
            ec.assign(errno, std::system_category());
    }
    if (!ec && !folderLink_ && !dryRun_) checkedLevels_ = levels;
    return ec;
}

void KvExportManager::cleanLeftoversOnce(const fs::path& folder) {
    // Temporary files of a killed run are removed the first time this run meets their folder.
    if (cleanedFolders_.insert(folder).second) AtomicFile::removeLeftovers(folder);
}

void KvExportManager::exportAlbumArtwork(const MediaItem& song) {
    const KvrAlbumInfo& album = *albums_[static_cast<std::size_t>(playlistIndex_)];
    const std::string name = sanitizeFileNameString(text(album.artist()) + " - " + album.title());
    const fs::path file = *currentUrl_ / FileNameRules::fitName(name, ".png");
    if (dryRun_) {
        // Listed as this run's, so that the plan does not count it among the files to remove.
        remember(ManifestEntry::Kind::Artwork, relativePath(file));
        return;
    }
    if (somethingAt(file)) {
        // Left untouched; still ours if an earlier run wrote it.
        if (auto recorded = earlier_ ? earlier_->find(relativePath(file)) : std::nullopt)
            remember(*recorded);
        return;
    }
    try {
        if (converter_->writeAlbumArtwork(song, file))
            recordFile(ManifestEntry::Kind::Artwork, file);
    } catch (const std::exception&) {
        // Artwork failures are ignored: the album simply gets no image file.
    }
}

std::string KvExportManager::sanitizeFileNameString(std::string_view value) const {
    return FileNameRules::sanitizeFileNameString(value, userOptions_.playlistEncoding());
}

// ---------------------------------------------------------------------------------------------
// Playlist files

void KvExportManager::savePlaylistString() {
    if (!currentUrl_ || !exportPlaylistFile_) return;
    const bool inSongFolder = playlistFile_->place(trackLocalFolderPath_).inSongFolder;
    const fs::path folder = inSongFolder ? *currentUrl_ : exportUrl_;
    const fs::path file = folder / names_->playlistFileName(item_);
    if (folderLink_ && folder == *currentUrl_) {
        logErrorMessage("Error: Cannot save playlist file to " + file.string() + ": " +
                        folderLink_->string() + " is a symbolic link");
        return;
    }
    if (dryRun_) {
        plan_.playlists.push_back(relativePath(file));
        remember(ManifestEntry::Kind::Playlist, relativePath(file));
        return;
    }
    logMessage("Saving playlist file to " + file.string() + ":");
    // A playlist file that already says the same is left as it is: a stick kept in step is not
    // rewritten for a run that changed nothing. One that could not be written is lost work: an
    // issue, like a failed copy.
    const std::string contents = playlistFile_->contents();
    if (!fileHolds(file, contents)) {
        if (const Status written = writeFileAtomically(file, contents); !written.ok()) {
            logErrorMessage("Error: " + written.message());
            return;
        }
    }
    recordFile(ManifestEntry::Kind::Playlist, file);
}

// ---------------------------------------------------------------------------------------------
// Log, clean-up, notification

// Titles and paths may hold line breaks and escape sequences; a log line stays one line and
// never drives the terminal.
void KvExportManager::logMessage(const std::string& line) { logTo(ticket_, line, false); }

void KvExportManager::logErrorMessage(const std::string& line) { logTo(ticket_, line, true); }

void KvExportManager::logTo(OrderedReport::Ticket ticket, const std::string& line, bool issue) {
    if (issue) ++errorCount_;
    std::string shown = FileNameRules::withoutControlCharacters(line, " ");
    report_.say(ticket, [this, issue, shown = std::move(shown)] {
        if (issue)
            ui_.issueLine(shown);
        else
            ui_.logLine(shown);
    });
}

void KvExportManager::consoleTo(OrderedReport::Ticket ticket, const std::string& line) {
    report_.say(ticket, [this, line] { ui_.consoleLine(line); });
}

void KvExportManager::showProgressValue(long value) {
    report_.say(ticket_, [this, value] { ui_.setProgressValue(value); });
}

void KvExportManager::logOptions() {
    logMessage(kStarLine);
    logMessage("Export options:");
    auto rate = [](std::int64_t value) {
        return "Bitrate: " +
               (value >= 1 ? std::to_string(value) : std::string("Keep original bitrate"));
    };
    if (converToMp3_) {
        logMessage("Convert files to MP3");
        logMessage(rate(bitRate_));
    } else if (converToAAC_) {
        logMessage("Convert files to AAC");
        logMessage(rate(aacBitRate_));
    } else {
        logMessage("No conversion");
    }
    logMessage("Export location: " + exportUrl_.string());
    logMessage(std::string("Music files structure: ") + layoutName());
    switch (userOptions_.playlistEncoding()) {
        case PlaylistEncoding::Utf8:
            logMessage("Encoding: UTF8");
            break;
        case PlaylistEncoding::Latin1:
            logMessage("Encoding: Latin-1");
            break;
        case PlaylistEncoding::Ascii:
            logMessage("Encoding: ASCII");
            break;
    }
    if (exportPlaylistFile_) {
        logMessage("Export music files and playlist file (m3u)");
        if (userOptions_.saveM3uWithFiles())
            logMessage("Save playlist file (m3u) in the same folder with tracks");
    } else {
        logMessage("Export only music files (no m3u)");
    }
    if (exportType_ == ExportType::Albums && exportAlbumImage_)
        logMessage("Export album artwork to png file");
    logMessage(kStarLine);
}

// The folder layout in the words the dialogs use.
const char* KvExportManager::layoutName() const {
    switch (userOptions_.filesSaveToFolder()) {
        case FolderLayout::PlaylistFolder:
            break;
        case FolderLayout::MusicArtistAlbum:
            return "Music/Artist/Album folder";
        case FolderLayout::MusicFolder:
            return "Music files folder";
        case FolderLayout::Root:
            return "Root folder";
        case FolderLayout::RootArtistAlbum:
            return "Root/Artist/Album folder";
    }
    return exportType_ == ExportType::Playlists ? "Playlist folder" : "Album folder";
}

void KvExportManager::clearHiddenFiles() {
    if (!userOptions_.deleteHiddenFiles()) return;
    logMessage(kHyphenLine);
    logMessage("Removing hidden files...");
    ui_.setProgressMessage("Removing hidden files");

    HiddenFileSweep::run(exportUrl_);
    ui_.setProgressMessage("");
}

void KvExportManager::showNotification() {
    const std::int64_t issues = errorCount_ - (errorCount_ > 0 ? 1 : 0);  // not the summary line
    if (issues == 0)
        ui_.notify("Kelvara", "Export completed successfully!");
    else
        ui_.notify("Kelvara", "Export completed with " + std::to_string(issues) +
                                  (issues == 1 ? " issue" : " issues"));
}

}  // namespace kelvara
