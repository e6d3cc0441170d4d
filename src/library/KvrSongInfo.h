#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "library/LibraryTypes.h"
#include "library/MediaItem.h"

namespace kelvara {

// One row of a song list, made from a media item. Every field may be absent; numbers that the
// library leaves at 0 are absent here (play count excepted).
class KvrSongInfo {
  public:
    // Fills every field from the item, as the song lists do.
    static KvrSongInfo fromMediaItem(const MediaItem& item);

    // Whole seconds as "%02lu:%02lu" below an hour, "%lu:%02lu:%02lu" from an hour on.
    static std::string formatDuration(std::uint64_t seconds);

    const MediaItem* mediaItem() const { return mediaItem_; }
    void setMediaItem(const MediaItem* v) { mediaItem_ = v; }

    const OptionalText& title() const { return title_; }
    void setTitle(OptionalText v) { title_ = std::move(v); }
    const OptionalText& album() const { return album_; }
    void setAlbum(OptionalText v) { album_ = std::move(v); }

    // Setting the time also sets timeWithFormat.
    const std::optional<std::int64_t>& time() const { return time_; }
    void setTime(std::optional<std::int64_t> seconds);
    const OptionalText& timeWithFormat() const { return timeWithFormat_; }

    const OptionalText& genre() const { return genre_; }
    void setGenre(OptionalText v) { genre_ = std::move(v); }
    const OptionalText& artist() const { return artist_; }
    void setArtist(OptionalText v) { artist_ = std::move(v); }
    const std::optional<unsigned>& diskNumber() const { return diskNumber_; }
    void setDiskNumber(std::optional<unsigned> v) { diskNumber_ = v; }
    const std::optional<unsigned>& trackNumber() const { return trackNumber_; }
    void setTrackNumber(std::optional<unsigned> v) { trackNumber_ = v; }
    const std::optional<unsigned>& playCount() const { return playCount_; }
    void setPlayCount(std::optional<unsigned> v) { playCount_ = v; }
    const std::optional<unsigned>& beatsPerMinute() const { return beatsPerMinute_; }
    void setBeatsPerMinute(std::optional<unsigned> v) { beatsPerMinute_ = v; }
    const std::optional<unsigned>& year() const { return year_; }
    void setYear(std::optional<unsigned> v) { year_ = v; }
    const OptionalText& albumArtist() const { return albumArtist_; }
    void setAlbumArtist(OptionalText v) { albumArtist_ = std::move(v); }
    const OptionalText& sortArtist() const { return sortArtist_; }
    void setSortArtist(OptionalText v) { sortArtist_ = std::move(v); }
    const OptionalText& sortAlbum() const { return sortAlbum_; }
    void setSortAlbum(OptionalText v) { sortAlbum_ = std::move(v); }
    const OptionalText& sortTitle() const { return sortTitle_; }
    void setSortTitle(OptionalText v) { sortTitle_ = std::move(v); }
    const OptionalText& sortAlbumArtist() const { return sortAlbumArtist_; }
    void setSortAlbumArtist(OptionalText v) { sortAlbumArtist_ = std::move(v); }
    const OptionalText& composer() const { return composer_; }
    void setComposer(OptionalText v) { composer_ = std::move(v); }
    const OptionalText& sortComposer() const { return sortComposer_; }
    void setSortComposer(OptionalText v) { sortComposer_ = std::move(v); }
    const std::optional<Date>& releaseDate() const { return releaseDate_; }
    void setReleaseDate(std::optional<Date> v) { releaseDate_ = v; }
    const std::optional<Date>& addedDate() const { return addedDate_; }
    void setAddedDate(std::optional<Date> v) { addedDate_ = v; }
    const std::optional<Date>& modifiedDate() const { return modifiedDate_; }
    void setModifiedDate(std::optional<Date> v) { modifiedDate_ = v; }
    const std::optional<Date>& lastPlayedDate() const { return lastPlayedDate_; }
    void setLastPlayedDate(std::optional<Date> v) { lastPlayedDate_ = v; }
    const OptionalText& comments() const { return comments_; }
    void setComments(OptionalText v) { comments_ = std::move(v); }
    const OptionalText& songDescription() const { return songDescription_; }
    void setSongDescription(OptionalText v) { songDescription_ = std::move(v); }
    const std::optional<int>& rating() const { return rating_; }
    void setRating(std::optional<int> v) { rating_ = v; }
    const OptionalText& cloudStatus() const { return cloudStatus_; }

    // The file-system path of the item's location; absent when there is none.
    std::optional<std::filesystem::path> locationString() const;

  private:
    const MediaItem* mediaItem_ = nullptr;
    OptionalText title_, album_;
    std::optional<std::int64_t> time_;
    OptionalText timeWithFormat_;
    OptionalText genre_, artist_;
    std::optional<unsigned> diskNumber_, trackNumber_, playCount_, beatsPerMinute_, year_;
    OptionalText albumArtist_, sortArtist_, sortAlbum_, sortTitle_, sortAlbumArtist_;
    OptionalText composer_, sortComposer_;
    std::optional<Date> releaseDate_, addedDate_, modifiedDate_, lastPlayedDate_;
    OptionalText comments_, songDescription_;
    std::optional<int> rating_;
    OptionalText cloudStatus_;
};

}  // namespace kelvara
