#include "engine/KvExportManager.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "engine/FileNameRules.h"
#include "platform/AtomicFile.h"
#include "platform/FileCopy.h"
#include "platform/TextCompare.h"
#include "platform/TextEncoding.h"

namespace kelvara {
namespace fs = std::filesystem;
namespace {

const std::string kStarLine(65, '*');
const std::string kHyphenLine(77, '-');
const std::string kEqualsLine(56, '=');

std::string text(const OptionalText& value) { return value.value_or(""); }

bool present(const OptionalText& value) { return value && !value->empty(); }

std::uint32_t cryptoRandom32() {
    std::uint32_t value = 0;
    auto* bytes = reinterpret_cast<char*>(&value);
    std::size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return static_cast<std::uint32_t>(std::random_device{}());  // no getrandom here
    }
    return value;
}

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

// A natural comparison of one sort key: absent values first, texts as the album catalogue orders
// them (case and normal form ignored, numbers by value), numbers and dates by value. Negative,
// zero or positive.
int compareByKey(const MediaItem& a, const MediaItem& b, std::int32_t order) {
    auto texts = [](const OptionalText& x, const OptionalText& y) {
        if (!x || !y) return int(bool(x)) - int(bool(y));
        return localizedStandardCompare(*x, *y);
    };
    auto numbers = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
    static const OptionalText none;
    switch (order) {
        case 1:
            return texts(a.artist() ? a.artist()->name() : none, b.artist() ? b.artist()->name() : none);
        case 2: return texts(a.title(), b.title());
        case 3: return texts(a.album() ? a.album()->title() : none, b.album() ? b.album()->title() : none);
        case 4: return numbers(a.year(), b.year());
        case 5: {
            if (!a.addedDate() || !b.addedDate()) return int(bool(a.addedDate())) - int(bool(b.addedDate()));
            return numbers(*a.addedDate(), *b.addedDate());
        }
        case 6: return numbers(a.playCount(), b.playCount());
    }
    return 0;
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
    else if (exportType_ == 1 && exportAlbumImage_)
        what = "saving album artwork";
    else
        return false;
    ui_.alert("Cannot start export: " + what + " is not available in this version.");
    finish(RunEnding::CouldNotStart);
    return true;
}

void KvExportManager::exportPlaylists(std::vector<const Playlist*> playlists, fs::path url) {
    errorCount_ = 0;
    exportType_ = 0;
    if (playlists.empty()) return;
    if (refuseWithoutConverter()) return;
    playlists_ = std::move(playlists);
    exportUrl_ = std::move(url);
    finish(RunEnding::Running);
    post(&KvExportManager::startRun);
}

void KvExportManager::exportAlbums(std::vector<std::shared_ptr<KvrAlbumInfo>> albums, fs::path url) {
    errorCount_ = 0;
    exportType_ = 1;
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
    cleanLeftoversOnce(exportUrl_);

    playlistIndex_ = 0;
    songIndex_ = -1;
    loadItem();
    logMessage((exportType_ == 0 ? "Exporting playlist: " : "Exporting album: ") + itemTitle_);
    logMessage(kHyphenLine);
    ui_.setProgressMaximum(static_cast<long>(songsArray_.size()));
    ui_.setProgressMessage((exportType_ == 0 ? "Exporting playlist: " : "Exporting album: ") + itemTitle_);

    ui_.beginPowerInhibit("Exporting tracks");
    powerHeld_ = true;

    if (converting()) {
        std::string error;
        if (!converter_->beginRun([this](const std::string& line) { logMessage(line); }, &abort_, error)) {
            // A stop while waiting for another run's lock is the user's, not a failure.
            if (abort_)
                stopByUser();
            else
                stopByFailure(error);
            return;
        }
        converterRunning_ = true;
    }
    exportNext();
}

// The current item's songs, name and unchecked-songs list.
void KvExportManager::loadItem() {
    playlistStr_.clear();
    uncheckedSongs_.clear();
    const std::int32_t encoding = userOptions_.playlistEncoding();
    if (exportType_ == 0) {
        const Playlist& playlist = *playlists_[static_cast<std::size_t>(playlistIndex_)];
        songsArray_ = getSongsFromPlaylist(playlist);
        playlistName_ = FileNameRules::sanitizeFileNameString(playlist.name(), encoding);
        itemTitle_ = playlist.name();
        for (std::uint64_t id : preferences_->numberArrayForKey(std::to_string(playlist.persistentID())))
            uncheckedSongs_.insert(id);
    } else {
        KvrAlbumInfo& album = *albums_[static_cast<std::size_t>(playlistIndex_)];
        songsArray_ = album.getSongs();
        const std::string artist = FileNameRules::sanitizeFileNameString(text(album.artist()), encoding);
        const std::string title = FileNameRules::sanitizeFileNameString(album.title(), encoding);
        playlistName_ = createArtistFolder_
                            ? artist + "/" + title
                            : FileNameRules::sanitizeFileNameString(artist + " - " + title, encoding);
        itemTitle_ = album.title();
        if (album.album())
            for (std::uint64_t id : preferences_->numberArrayForKey(std::to_string(album.album()->persistentID())))
                uncheckedSongs_.insert(id);
    }
    claimItemName();
}

// Two items of one run must not share a folder or a playlist file, or the second would mix its
// songs into the first one's folder and replace its playlist file: it gets " (2)", " (3)", ...
// Names are compared ignoring case, as the FAT and exFAT players' cards are.
void KvExportManager::claimItemName() {
    // Only an album named with the artist-folder option has two levels; the number goes on the
    // last.
    const bool twoLevels = exportType_ == 1 && createArtistFolder_;
    const auto slash = twoLevels ? playlistName_.find('/') : std::string::npos;
    const std::string parent = slash == std::string::npos ? "" : playlistName_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? playlistName_ : playlistName_.substr(slash + 1);
    if (sanitizeFileNameString(parent + base).empty()) base = "unknown";

    auto keys = [&](const std::string& name) {
        std::string folder;
        for (std::size_t start = 0; start <= name.size();) {
            const auto end = std::min(name.find('/', start), name.size());
            const std::string level = name.substr(start, end - start);
            if (!level.empty())
                folder += (folder.empty() ? "" : "/") + FileNameRules::fitName(level);
            start = end + 1;
        }
        return std::pair{
            "folder " + foldCase(folder),
            "m3u " + foldCase(FileNameRules::fitName(sanitizeFileNameString(name), ".m3u"))};
    };
    auto taken = [&](const std::pair<std::string, std::string>& k) {
        return itemNames_.count(k.first) || itemNames_.count(k.second);
    };
    std::string name = parent + base;
    // Bounded: a name so long that every suffix is cut off keeps the last one tried.
    for (int n = 2; taken(keys(name)) && n < 10000; ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        const std::string room = FileNameRules::fitName(base, suffix + ".m3u");
        name = parent + room.substr(0, room.size() - 4);
    }
    const auto claimed = keys(name);
    itemNames_.insert(claimed.first);
    itemNames_.insert(claimed.second);
    playlistName_ = name;
}

void KvExportManager::exportNext() {
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
    const MediaItem& song = *songsArray_[static_cast<std::size_t>(songIndex_)];
    currentSong_ = &song;
    createPathForTrack(song);
    if (!currentUrl_) return;  // the folder failure has ended the run

    ui_.setProgressValue(static_cast<long>(songIndex_));
    if (exportType_ == 1) {
        ui_.setProgressMaximum(static_cast<long>(songsArray_.size()));
        ui_.setProgressMessage("Exporting album: " + itemTitle_);
        if (exportAlbumImage_ && !folderLink_) exportAlbumArtwork(song);
    }
    songInFlight_ = true;
    exportSong(song);
}

void KvExportManager::nextItemOrDone() {
    savePlaylistString();
    playlistStr_.clear();
    songIndex_ = -1;
    const auto count = static_cast<std::int64_t>(exportType_ == 0 ? playlists_.size() : albums_.size());
    if (playlistIndex_ >= count - 1) {
        doneExport();
        return;
    }
    ++playlistIndex_;
    loadItem();
    const std::string heading = (exportType_ == 0 ? "Exporting playlist: " : "Exporting album: ") + itemTitle_;
    auto showItem = [&] {
        ui_.setProgressMaximum(static_cast<long>(songsArray_.size()));
        ui_.setProgressMessage(heading);
    };
    // An album run shows the new album on the sheet before logging it; a playlist run logs first.
    if (exportType_ == 1) showItem();
    logMessage(kHyphenLine);
    logMessage(heading);
    logMessage(kHyphenLine);
    if (exportType_ == 0) showItem();
    post(&KvExportManager::exportNext);
}

void KvExportManager::doneExport() {
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
    logMessage("User stopped export");
    ui_.setSpinner(false);
    ui_.setSmallInfo("");
    ui_.closeProgress();
    willReturn();
    finish(RunEnding::StoppedByUser);
}

void KvExportManager::stopByFailure(const std::string& description) {
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

// ---------------------------------------------------------------------------------------------
// Songs

std::vector<const MediaItem*> KvExportManager::getSongsFromPlaylist(const Playlist& playlist) const {
    std::vector<const MediaItem*> songs = playlist.items();
    const std::int32_t order = userOptions_.tracksOrder();
    if (order >= 1 && order <= 6) {
        const bool ascending = userOptions_.orderAscending();
        std::stable_sort(songs.begin(), songs.end(), [&](const MediaItem* a, const MediaItem* b) {
            const int c = compareByKey(*a, *b, order);
            return ascending ? c < 0 : c > 0;
        });
    } else if (order == 7) {
        const std::size_t n = songs.size();
        for (std::size_t i = 0; i < n; ++i) std::swap(songs[i], songs[i + cryptoRandom32() % (n - i)]);
    }
    return songs;
}

void KvExportManager::exportSong(const MediaItem& song) {
    if (song.isVideo()) {
        handOn();
        return;
    }
    if (ui_.cancelRequested()) {
        songInFlight_ = false;
        stopByUser();
        return;
    }
    const std::string title = text(song.title());
    if (uncheckedSongs_.count(song.persistentID())) {
        logMessage("Will not export song \"" + title + "\": Unchecked by the user.");
        handOn();
        return;
    }
    if (song.isDRMProtected()) {
        logErrorMessage("Cannot export song \"" + title + "\": File is DRM protected.");
        handOn();
        return;
    }
    if (song.isCloud()) {
        logErrorMessage("Cannot export song \"" + title + "\": File is in iCloud.");
        handOn();
        return;
    }
    const auto& location = song.location();
    if (!location) {
        logErrorMessage("Cannot export song \"" + title + "\": File does not exist");
        handOn();
        return;
    }
    if (folderLink_) {
        logErrorMessage("Error: Cannot export song \"" + title + "\": " + folderLink_->string() +
                        " is a symbolic link");
        handOn();
        return;
    }

    const fs::path source = *location;
    const std::string sourceName = source.filename().string();
    std::string ext = "mp3";
    if (!sourceName.empty()) {
        const auto dot = sourceName.rfind('.');
        ext = dot == std::string::npos ? "" : sourceName.substr(dot + 1);
    }

    bool mp3 = converToMp3_;
    bool aac = converToAAC_;
    if (mp3 || aac) {
        const std::optional<std::string> kind = kindForDecision(song, source);
        const bool kindIsMp3 = kind && *kind == "MPEG audio file";
        const bool kindIsAac = !kind || containsIgnoringCase(*kind, "aac");
        const bool extIsMp3 = lowercase(ext) == "mp3";
        if (userOptions_.dontConvertSameType()) {
            mp3 = mp3 && !kindIsMp3 && !extIsMp3;
            aac = aac && !kindIsAac;
        }
        if (userOptions_.dontConvertLossyFormats() && (kindIsAac || kindIsMp3 || extIsMp3)) mp3 = aac = false;
        if (mp3)
            ext = "mp3";
        else if (aac)
            ext = "m4a";
    }

    const std::int64_t number = (exportType_ == 0 && userOptions_.filesSaveToFolder() == 0)
                                    ? songIndex_ + 1
                                    : static_cast<std::int64_t>(song.trackNumber());
    const std::string fileName = fileNameForSong(song, sourceName, ext, number);
    const fs::path destination = *currentUrl_ / fileName;
    addPlaylistEntry(song, fileName);
    ui_.consoleLine(">>>>> location from " + source.string() + " to " + destination.string());
    if (refuseSource(title, source, destination)) return;

    if (mp3 || aac)
        convertSong(song, mp3, source, destination, sourceName);
    else
        copySong(song, source, destination, sourceName);
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
    handOn();
    return true;
}

std::optional<std::string> KvExportManager::kindForDecision(const MediaItem& song, const fs::path& file) {
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
    logMessage(std::string(toMp3 ? "Converting to MP3(" : "Converting to AAC(") + std::to_string(static_cast<int>(rate)) +
               ") song: " + sourceName);
    ui_.setSpinner(true);
    ui_.setSmallInfo("Converting song: " + (present(song.title()) ? *song.title() : sourceName));

    ConversionJob job;
    job.song = &song;
    job.source = source;
    job.destination = destination;
    job.bitRate = static_cast<int>(rate);
    job.algorithm = userOptions_.algorithm();
    job.skipIfExists = userOptions_.skipIfExists();
    job.cancel = &abort_;
    job.logMessage = [this](const std::string& line) { logMessage(line); };
    job.logErrorMessage = [this](const std::string& line) { logErrorMessage(line); };
    job.console = [this](const std::string& line) { ui_.consoleLine(line); };
    try {
        if (toMp3)
            converter_->convertItemAtUrl(job);
        else
            converter_->convertToAACItemAtUrl(job);
    } catch (const std::exception& error) {
        // Nothing may cross the song's boundary; the run goes on with the next song.
        logErrorMessage(std::string("Error: ") + error.what());
    }
    handOn();
}

void KvExportManager::copySong(const MediaItem& song, const fs::path& source, const fs::path& destination,
                               const std::string& sourceName) {
    logMessage("Exporting song: " + sourceName);
    ui_.setSpinner(true);
    ui_.setSmallInfo("Exporting song: " + (present(song.title()) ? *song.title() : sourceName));

    std::error_code ec;
    const auto status = fs::symlink_status(destination, ec);
    if (status.type() != fs::file_type::not_found && !ec) {
        ui_.consoleLine("File exists!!");
        if (userOptions_.skipIfExists()) {
            logMessage("File exists at:" + destination.string());
            handOn();
            return;
        }
        logMessage("File exists. Will delete file at:" + destination.string());
        // A file is replaced by the rename that completes the copy, so the old one stays whole
        // until the new one is; anything else has to go first.
        if (status.type() != fs::file_type::regular && status.type() != fs::file_type::symlink) {
            fs::remove(destination, ec);
            if (ec) {
                logErrorMessage("Delete error: Cannot remove " + destination.string() + ": " + ec.message());
                handOn();
                return;
            }
        }
    }
    std::string error;
    if (!copyFileAtomically(source, destination, error, &abort_) && !abort_) logErrorMessage(error);
    handOn();
}

std::string KvExportManager::fileNameForSong(const MediaItem& song, const std::string& sourceName,
                                             const std::string& ext, std::int64_t number) const {
    const std::int32_t encoding = userOptions_.playlistEncoding();
    auto field = [&](const OptionalText& value) {
        const std::string raw = present(value) ? *value : "unknown";
        return FileNameRules::sanitizeFileNameString(FileNameRules::trimSpaces(raw), encoding);
    };
    static const OptionalText none;
    const std::string artist = field(song.artist() ? song.artist()->name() : none);
    const std::string album = field(song.album() ? song.album()->title() : none);
    const std::string title = field(song.title());
    const std::string suffix = "." + FileNameRules::cleanName(ext);
    // Text that is not sanitized still has to be what the playlist file names: reduced to the
    // character set like the playlist text, and never with a folder separator, a control
    // character or invalid UTF-8 in it.
    auto asTyped = [&](std::string text) {
        if (encoding == 1 || encoding == 2)
            text = reduceToEncoding(text, FileNameRules::encodingForOption(encoding));
        std::erase(text, '/');
        return FileNameRules::cleanName(text);
    };
    char numberText[32];
    std::snprintf(numberText, sizeof numberText, "%03lld", static_cast<long long>(number));

    std::string stem;
    switch (fileNameFormatType_) {
        case 1: stem = std::string(numberText) + " " + title; break;
        case 2: stem = artist + " - " + album + " - " + title; break;
        case 3: stem = std::string(numberText) + " " + artist + " - " + album + " - " + title; break;
        case 4: stem = title; break;
        case 5: {
            if (customFormatArray_.empty()) {
                // The source's own name, unsanitized; a converted song gets its new extension.
                const auto dot = sourceName.rfind('.');
                if (dot == std::string::npos)
                    return FileNameRules::safeFileName(
                        FileNameRules::fitName(asTyped(sourceName), ext.empty() ? "" : suffix));
                return FileNameRules::safeFileName(FileNameRules::fitName(asTyped(sourceName.substr(0, dot)), suffix));
            }
            for (const auto& element : customFormatArray_.elements()) {
                if (const auto* literal = std::get_if<std::string>(&element)) {
                    stem += asTyped(*literal);
                    continue;
                }
                const std::string& name = std::get<MetadataToken>(element).name;
                if (name == MetadataToken::kTitle) stem += title;
                else if (name == MetadataToken::kArtist) stem += artist;
                else if (name == MetadataToken::kAlbum) stem += album;
                else if (name == MetadataToken::kTrackNo)
                    stem += FileNameRules::formatTrackNumber(number, trackNumberFormat_);
                else if (name == MetadataToken::kDiskNo) {
                    const unsigned disc = song.album() ? song.album()->discNumber() : 0;
                    stem += disc >= 1 ? std::to_string(disc) : "1";
                }
            }
            break;
        }
        default: {
            const auto dot = sourceName.rfind('.');
            stem = FileNameRules::sanitizeFileNameString(
                dot == std::string::npos ? sourceName : sourceName.substr(0, dot), encoding);
        }
    }
    return FileNameRules::safeFileName(FileNameRules::fitName(stem, suffix));
}

// ---------------------------------------------------------------------------------------------
// Folders

void KvExportManager::createPathForTrack(const MediaItem& song) {
    const std::int32_t encoding = userOptions_.playlistEncoding();
    const Album* album = song.album();
    std::string artist;
    if (exportType_ == 1 && album && album->isCompilation())
        artist = "Various Artists";
    else if (album && album->albumArtist())
        artist = album->albumArtist()->empty() ? "unknown" : *album->albumArtist();
    else if (song.artist() && song.artist()->name())
        artist = song.artist()->name()->empty() ? "unknown" : *song.artist()->name();
    else
        artist = "unknown";
    const std::string albumTitle = album && present(album->title()) ? *album->title() : "unknown";
    auto folderName = [&](const std::string& value) {
        return FileNameRules::stripLeadingDots(
            FileNameRules::trimSpaces(FileNameRules::sanitizeFileNameString(value, encoding)));
    };

    playlistName_ = FileNameRules::stripLeadingDots(playlistName_);
    std::vector<std::string> levels;
    switch (userOptions_.filesSaveToFolder()) {
        case 1: levels = {"Music", folderName(artist), folderName(albumTitle)}; break;
        case 2: levels = {"Music"}; break;
        case 3: break;
        case 4: levels = {folderName(artist), folderName(albumTitle)}; break;
        default:
            if (exportType_ == 1 && createArtistFolder_) {
                const auto slash = playlistName_.find('/');
                levels = {playlistName_.substr(0, slash), playlistName_.substr(slash + 1)};
            } else {
                levels = {FileNameRules::sanitizeFileNameString(playlistName_, encoding)};
            }
    }
    // Empty levels are left out, so a name that sanitizes to nothing cannot make "a//b" or "/b".
    trackLocalFolderPath_.clear();
    fs::path folder = exportUrl_;
    std::vector<std::string> names;
    for (const std::string& level : levels) {
        if (level.empty()) continue;
        names.push_back(FileNameRules::fitName(level));
        if (!trackLocalFolderPath_.empty()) trackLocalFolderPath_ += "/";
        trackLocalFolderPath_ += names.back();
        folder /= names.back();
    }
    currentUrl_.reset();
    folderLink_.reset();
    std::error_code ec;
    // The destination itself may be a link (users point at mounts that way). Below it a link in
    // place of a folder would take songs and playlist files somewhere else: none is followed.
    if (!somethingAt(exportUrl_)) fs::create_directories(exportUrl_, ec);
    fs::path walked = exportUrl_;
    for (const std::string& name : names) {
        if (ec) break;
        walked /= name;
        struct stat info {};
        if (lstat(walked.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) continue;  // a folder, or a file that the song export meets
            folderLink_ = walked;
            break;
        }
        if (errno == ENOENT)
            fs::create_directory(walked, ec);
        else
            ec.assign(errno, std::system_category());
    }
    if (ec) {
        const std::string description = "Cannot create folder " + folder.string() + ": " + ec.message();
        ui_.consoleLine("Error: Create folder failed " + folder.string() + " (" + ec.message() + ")");
        stopByFailure(description);
        return;
    }
    currentUrl_ = folder;
    if (!folderLink_) cleanLeftoversOnce(folder);
}

void KvExportManager::cleanLeftoversOnce(const fs::path& folder) {
    // Temporary files of a killed run are removed the first time this run meets their folder.
    if (cleanedFolders_.insert(folder).second) AtomicFile::removeLeftovers(folder);
}

void KvExportManager::exportAlbumArtwork(const MediaItem& song) {
    const KvrAlbumInfo& album = *albums_[static_cast<std::size_t>(playlistIndex_)];
    const std::string name =
        sanitizeFileNameString(text(album.artist()) + " - " + album.title());
    const fs::path file = *currentUrl_ / FileNameRules::fitName(name, ".png");
    if (somethingAt(file)) return;
    try {
        converter_->writeAlbumArtwork(song, file);
    } catch (const std::exception&) {
        // Artwork failures are ignored: the album simply gets no image file.
    }
}

std::string KvExportManager::sanitizeFileNameString(std::string_view value) const {
    return FileNameRules::sanitizeFileNameString(value, userOptions_.playlistEncoding());
}

// ---------------------------------------------------------------------------------------------
// Playlist files

void KvExportManager::addPlaylistEntry(const MediaItem& song, const std::string& fileName) {
    const auto seconds = static_cast<std::int32_t>(static_cast<std::uint32_t>(song.totalTime() / 1000));
    // A line break in a title would split the entry; other control characters would reach the
    // player's display.
    const std::string title = FileNameRules::withoutControlCharacters(text(song.title()), " ");
    if (song.artist() && song.artist()->name())
        playlistStr_ += "#EXTINF:" + std::to_string(seconds) + "," + title + " - " +
                        FileNameRules::withoutControlCharacters(*song.artist()->name(), " ") + "\n";
    else
        playlistStr_ += "#EXTINF:" + std::to_string(seconds) + "," + title + "\n";

    const std::int32_t layout = userOptions_.filesSaveToFolder();
    const bool withFiles = userOptions_.saveM3uWithFiles();
    bool withFolder;
    if (layout == 3)
        withFolder = false;
    else if (exportType_ == 0 && (layout == 1 || layout == 4))
        withFolder = true;
    else
        withFolder = !withFiles;
    if (!withFolder || trackLocalFolderPath_.empty()) {
        playlistStr_ += fileName + "\n";
        return;
    }
    std::string folder = trackLocalFolderPath_;
    const char separator = userOptions_.windowsPaths() ? '\\' : '/';
    std::replace(folder.begin(), folder.end(), '/', separator);
    playlistStr_ += folder + separator + fileName + "\n";
}

void KvExportManager::savePlaylistString() {
    if (!currentUrl_ || !exportPlaylistFile_) return;
    const std::int32_t layout = userOptions_.filesSaveToFolder();
    const bool withFiles = userOptions_.saveM3uWithFiles();
    const bool inDestination = exportType_ == 0 && (layout == 1 || layout == 4 || !withFiles);
    const bool albumInDestination = exportType_ == 1 && !withFiles;
    const fs::path folder = (inDestination || albumInDestination) ? exportUrl_ : *currentUrl_;
    const fs::path file = folder / FileNameRules::fitName(sanitizeFileNameString(playlistName_), ".m3u");
    if (folderLink_ && folder == *currentUrl_) {
        logErrorMessage("Error: Cannot save playlist file to " + file.string() + ": " +
                        folderLink_->string() + " is a symbolic link");
        return;
    }

    std::string content = playlistStr_;
    if (userOptions_.lineEnding() == 1) {
        std::string crlf;
        crlf.reserve(content.size() + content.size() / 16);
        for (char c : content) {
            if (c == '\n') crlf += '\r';
            crlf += c;
        }
        content = std::move(crlf);
    }
    logMessage("Saving playlist file to " + file.string() + ":");
    const std::int32_t encoding = userOptions_.playlistEncoding();
    if (encoding == 1 || encoding == 2) content = encodeLossy(content, FileNameRules::encodingForOption(encoding));
    std::string error;
    // A playlist file that could not be written is lost work: an issue, like a failed copy.
    if (!writeFileAtomically(file, content, error)) logErrorMessage("Error: " + error);
}

// ---------------------------------------------------------------------------------------------
// Log, clean-up, notification

// Titles and paths may hold line breaks and escape sequences; a log line stays one line and
// never drives the terminal.
void KvExportManager::logMessage(const std::string& line) {
    ui_.logLine(FileNameRules::withoutControlCharacters(line, " "));
}

void KvExportManager::logErrorMessage(const std::string& line) {
    ++errorCount_;
    ui_.issueLine(FileNameRules::withoutControlCharacters(line, " "));
}

void KvExportManager::logOptions() {
    logMessage(kStarLine);
    logMessage("Export options:");
    auto rate = [](std::int64_t value) {
        return "Bitrate: " + (value >= 1 ? std::to_string(value) : std::string("Keep original bitrate"));
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
    static const char* const layouts[] = {"", "Music/Artist/Album folder", "Music files folder", "Root folder",
                                          "Root/Artist/Album folder"};
    const std::int32_t layout = userOptions_.filesSaveToFolder();
    const std::string layoutName = (layout >= 1 && layout <= 4) ? layouts[layout]
                                   : exportType_ == 0          ? "Playlist folder"
                                                               : "Album folder";
    logMessage("Music files structure: " + layoutName);
    const std::int32_t encoding = userOptions_.playlistEncoding();
    logMessage(encoding == 1 ? "Encoding: Latin-1" : encoding == 2 ? "Encoding: ASCII" : "Encoding: UTF8");
    if (exportPlaylistFile_) {
        logMessage("Export music files and playlist file (m3u)");
        if (userOptions_.saveM3uWithFiles()) logMessage("Save playlist file (m3u) in the same folder with tracks");
    } else {
        logMessage("Export only music files (no m3u)");
    }
    if (exportType_ == 1 && exportAlbumImage_) logMessage("Export album artwork to png file");
    logMessage(kStarLine);
}

void KvExportManager::clearHiddenFiles() {
    if (!userOptions_.deleteHiddenFiles()) return;
    logMessage(kHyphenLine);
    logMessage("Removing hidden files...");
    ui_.setProgressMessage("Removing hidden files");

    static const std::set<std::string> clutter = {".fseventsd", ".Spotlight-V100", ".TemporaryItems", ".Trashes",
                                                  ".DS_Store"};
    // A hand-made walk: symbolic links are never followed, so nothing outside the destination
    // tree is visited or removed (removing a link removes the link only).
    std::vector<fs::path> folders = {exportUrl_};
    while (!folders.empty()) {
        const fs::path folder = folders.back();
        folders.pop_back();
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        std::set<std::string> names;
        for (const auto& entry : entries) names.insert(entry.path().filename().string());
        for (const auto& entry : entries) {
            const std::string name = entry.path().filename().string();
            if (!names.count(name)) continue;  // removed as a companion of an earlier entry
            const std::string companion = "._" + name;
            if (names.count(companion)) {
                fs::remove_all(folder / companion, ec);
                names.erase(companion);
            }
            if (clutter.count(name)) {
                fs::remove_all(entry.path(), ec);
                names.erase(name);
                continue;
            }
            if (entry.symlink_status(ec).type() == fs::file_type::directory) folders.push_back(entry.path());
        }
    }
    ui_.setProgressMessage("");
}

void KvExportManager::showNotification() {
    const std::int64_t issues = errorCount_ - (errorCount_ > 0 ? 1 : 0);  // not the summary line
    if (issues == 0)
        ui_.notify("Kelvara", "Export completed successfully!");
    else
        ui_.notify("Kelvara", "Export completed with " + std::to_string(issues) + (issues == 1 ? " issue" : " issues"));
}

}  // namespace kelvara
