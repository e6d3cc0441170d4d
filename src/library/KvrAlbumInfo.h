#pragma once

#include <optional>
#include <string>
#include <vector>

#include "library/Album.h"
#include "library/Artist.h"
#include "library/MediaItem.h"

namespace kelvara {

// One row of the album catalogue: an album title and artist text under which songs gather.
class KvrAlbumInfo {
  public:
    const std::string& title() const { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }

    // "Various Artists" for a compilation; may be absent when no song said who made it.
    const OptionalText& artist() const { return artist_; }
    void setArtist(OptionalText v) { artist_ = std::move(v); }

    // The library album and artist of the first song that formed this record.
    const Album* album() const { return album_; }
    void setAlbum(const Album* v) { album_ = v; }
    const Artist* libArtist() const { return libArtist_; }
    void setLibArtist(const Artist* v) { libArtist_ = v; }

    // Absent until looked up.
    const std::optional<std::vector<const MediaItem*>>& albumSongs() const { return albumSongs_; }
    void setAlbumSongs(std::vector<const MediaItem*> songs) { albumSongs_ = std::move(songs); }

    bool checked() const { return checked_; }
    void setChecked(bool v) { checked_ = v; }

    const std::optional<int>& rating() const { return rating_; }
    void setRating(std::optional<int> v) { rating_ = v; }

    int editable() const { return 0; }

    // "TITLE - ARTIST": how ticks are stored; the command line accepts it too.
    std::string displayName() const;

    // Whether `song` belongs to this record (the album rule).
    bool matches(const MediaItem& song) const;

    // The songs of `candidates` that match, by track number; stable, so equal numbers keep
    // library order.
    std::vector<const MediaItem*> matchingSongs(
        const std::vector<const MediaItem*>& candidates) const;

    // Fills albumSongs from the library session's allSongs when not known yet, and returns them.
    const std::vector<const MediaItem*>& getSongs();

  private:
    std::string title_;
    OptionalText artist_;
    const Album* album_ = nullptr;
    const Artist* libArtist_ = nullptr;
    std::optional<std::vector<const MediaItem*>> albumSongs_;
    bool checked_ = false;
    std::optional<int> rating_;
};

}  // namespace kelvara
