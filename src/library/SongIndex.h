#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "library/MediaItem.h"

namespace kelvara {

// Songs grouped by their album's title, case-folded, so that finding an album's songs looks at
// the songs of one title instead of the whole library.
class SongIndex {
  public:
    explicit SongIndex(const std::vector<const MediaItem*>& songs);

    // The songs whose album title equals `title` ignoring case (absent: those without a title),
    // in library order.
    const std::vector<const MediaItem*>& songsWithAlbumTitle(const OptionalText& title) const;

  private:
    static std::string keyFor(const OptionalText& title);

    std::unordered_map<std::string, std::vector<const MediaItem*>> groups_;
};

}  // namespace kelvara
