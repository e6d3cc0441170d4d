#pragma once

#include "library/LibraryTypes.h"

namespace kelvara {

// An album as one song gives it. Its identity (and persistent ID) is the title, album artist,
// compilation flag and disc number; songs share the object when their other album values (sort
// texts, rating) agree too, so every song reads exactly its own values.
class Album {
  public:
    PersistentID persistentID() const { return persistentID_; }
    void setPersistentID(PersistentID id) { persistentID_ = id; }

    const OptionalText& title() const { return title_; }
    void setTitle(OptionalText title) { title_ = std::move(title); }

    const OptionalText& sortTitle() const { return sortTitle_; }
    void setSortTitle(OptionalText sortTitle) { sortTitle_ = std::move(sortTitle); }

    const OptionalText& albumArtist() const { return albumArtist_; }
    void setAlbumArtist(OptionalText albumArtist) { albumArtist_ = std::move(albumArtist); }

    const OptionalText& sortAlbumArtist() const { return sortAlbumArtist_; }
    void setSortAlbumArtist(OptionalText value) { sortAlbumArtist_ = std::move(value); }

    bool isCompilation() const { return isCompilation_; }
    void setIsCompilation(bool value) { isCompilation_ = value; }

    unsigned discNumber() const { return discNumber_; }
    void setDiscNumber(unsigned value) { discNumber_ = value; }

    // 0 to 100.
    int rating() const { return rating_; }
    void setRating(int value) { rating_ = value; }

    bool isRatingComputed() const { return isRatingComputed_; }
    void setIsRatingComputed(bool value) { isRatingComputed_ = value; }

  private:
    PersistentID persistentID_ = 0;
    OptionalText title_;
    OptionalText sortTitle_;
    OptionalText albumArtist_;
    OptionalText sortAlbumArtist_;
    bool isCompilation_ = false;
    unsigned discNumber_ = 0;
    int rating_ = 0;
    bool isRatingComputed_ = false;
};

}  // namespace kelvara
