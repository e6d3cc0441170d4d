#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "library/Album.h"
#include "library/Artist.h"
#include "library/LibraryTypes.h"

namespace kelvara {

// One track of the library. Read only once loaded; every property may be absent.
//
// The artwork is not part of the library file: the conversion subsystem reads it from the audio
// file (or a cover image beside it) through ArtworkReader, only for songs that need it.
class MediaItem {
  public:
    MediaItem() = default;
    MediaItem(const MediaItem&) = delete;
    MediaItem& operator=(const MediaItem&) = delete;

    PersistentID persistentID() const { return persistentID_; }
    void setPersistentID(PersistentID id) { persistentID_ = id; }

    const OptionalText& title() const { return title_; }
    void setTitle(OptionalText v) { title_ = std::move(v); }
    const OptionalText& genre() const { return genre_; }
    void setGenre(OptionalText v) { genre_ = std::move(v); }
    const OptionalText& composer() const { return composer_; }
    void setComposer(OptionalText v) { composer_ = std::move(v); }
    const OptionalText& sortTitle() const { return sortTitle_; }
    void setSortTitle(OptionalText v) { sortTitle_ = std::move(v); }
    const OptionalText& sortComposer() const { return sortComposer_; }
    void setSortComposer(OptionalText v) { sortComposer_ = std::move(v); }
    const OptionalText& comments() const { return comments_; }
    void setComments(OptionalText v) { comments_ = std::move(v); }
    const OptionalText& description() const { return description_; }
    void setDescription(OptionalText v) { description_ = std::move(v); }

    // The library's own text, localised ("Arq. áudio MPEG"); for display only.
    const OptionalText& kind() const { return kind_; }
    void setKind(OptionalText v) { kind_ = std::move(v); }

    // The kind text that the conversion rules test: Apple's English text ("MPEG audio file",
    // "AAC audio file", ...) when the library's text or the extension tells it, else the library's
    // own text. Absent when the item has no kind, or for an MPEG-4 file with a localised kind,
    // whose codec is probed when the conversion decision is made.
    const OptionalText& canonicalKind() const { return canonicalKind_; }
    void setCanonicalKind(OptionalText v) { canonicalKind_ = std::move(v); }

    MediaKind mediaKind() const { return mediaKind_; }
    void setMediaKind(MediaKind v) { mediaKind_ = v; }

    // Milliseconds; may exceed 32 bits in broken libraries.
    std::uint64_t totalTime() const { return totalTime_; }
    void setTotalTime(std::uint64_t v) { totalTime_ = v; }

    unsigned trackNumber() const { return trackNumber_; }
    void setTrackNumber(unsigned v) { trackNumber_ = v; }
    unsigned year() const { return year_; }
    void setYear(unsigned v) { year_ = v; }
    unsigned playCount() const { return playCount_; }
    void setPlayCount(unsigned v) { playCount_ = v; }
    unsigned beatsPerMinute() const { return beatsPerMinute_; }
    void setBeatsPerMinute(unsigned v) { beatsPerMinute_ = v; }

    // kbit/s, 0 when unknown.
    unsigned bitrate() const { return bitrate_; }
    void setBitrate(unsigned v) { bitrate_ = v; }

    // 0 to 100.
    int rating() const { return rating_; }
    void setRating(int v) { rating_ = v; }

    const std::optional<Date>& releaseDate() const { return releaseDate_; }
    void setReleaseDate(std::optional<Date> v) { releaseDate_ = v; }
    const std::optional<Date>& addedDate() const { return addedDate_; }
    void setAddedDate(std::optional<Date> v) { addedDate_ = v; }
    const std::optional<Date>& modifiedDate() const { return modifiedDate_; }
    void setModifiedDate(std::optional<Date> v) { modifiedDate_ = v; }
    const std::optional<Date>& lastPlayedDate() const { return lastPlayedDate_; }
    void setLastPlayedDate(std::optional<Date> v) { lastPlayedDate_ = v; }

    std::uint64_t fileSize() const { return fileSize_; }
    void setFileSize(std::uint64_t v) { fileSize_ = v; }

    // The local path the library's file URL maps to (decoded and remapped), whether or not a file
    // is there. Empty for streams, cloud items and items without a "Location".
    // Kept as plain text: a path object splits itself into parts, which for a whole library
    // costs more time and memory than the loading of everything else.
    std::filesystem::path mappedPath() const { return mappedPath_; }
    void setMappedPath(std::string v) { mappedPath_ = std::move(v); }
    void setMappedPath(const std::filesystem::path& v) { mappedPath_ = v.native(); }

    // The local file of the item: absent when nothing exists at the mapped path (tried as written,
    // then in NFC and NFD). Checked the first time it is asked, then remembered; thread-safe.
    const std::optional<std::filesystem::path>& location() const;

    bool isCloud() const { return isCloud_; }
    void setIsCloud(bool v) { isCloud_ = v; }
    bool isDRMProtected() const { return isDRMProtected_; }
    void setIsDRMProtected(bool v) { isDRMProtected_ = v; }
    bool isVideo() const { return isVideo_; }
    void setIsVideo(bool v) { isVideo_ = v; }
    bool hasArtworkAvailable() const { return hasArtworkAvailable_; }
    void setHasArtworkAvailable(bool v) { hasArtworkAvailable_ = v; }

    // Shared objects owned by the library; artist may be absent, album never is once loaded.
    const Artist* artist() const { return artist_; }
    void setArtist(const Artist* v) { artist_ = v; }
    const Album* album() const { return album_; }
    void setAlbum(const Album* v) { album_ = v; }

  private:
    PersistentID persistentID_ = 0;
    OptionalText title_, genre_, composer_, sortTitle_, sortComposer_, comments_, description_;
    OptionalText kind_, canonicalKind_;
    MediaKind mediaKind_ = MediaKind::Song;
    std::uint64_t totalTime_ = 0;
    unsigned trackNumber_ = 0, year_ = 0, playCount_ = 0, beatsPerMinute_ = 0, bitrate_ = 0;
    int rating_ = 0;
    std::optional<Date> releaseDate_, addedDate_, modifiedDate_, lastPlayedDate_;
    std::uint64_t fileSize_ = 0;
    std::string mappedPath_;
    bool isCloud_ = false, isDRMProtected_ = false, isVideo_ = false, hasArtworkAvailable_ = false;
    const Artist* artist_ = nullptr;
    const Album* album_ = nullptr;

    mutable std::once_flag locationResolved_;
    mutable std::optional<std::filesystem::path> location_;
};

}  // namespace kelvara
