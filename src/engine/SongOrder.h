#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "library/MediaItem.h"

namespace kelvara {

// The order in which a playlist's songs are exported, by the "TracksOrder" option: 1 artist,
// 2 title, 3 album, 4 year, 5 date added, 6 play count (each ascending or descending), 7 a
// shuffle; 0 and any other value keep the playlist's own order.
class SongOrder {
  public:
    // A source of uniformly random 32-bit numbers for the shuffle.
    using Random = std::function<std::uint32_t()>;

    // `random` defaults to the system's cryptographic source.
    SongOrder(std::int32_t tracksOrder, bool ascending, Random random = {});

    // `songs` in this order; songs with equal keys keep their relative order.
    std::vector<const MediaItem*> apply(std::vector<const MediaItem*> songs) const;

    // Negative, zero or positive as `a` sorts before, with or after `b` by sort key `key` (1 to 6;
    // any other key compares equal). Absent values come first; texts compare as the album
    // catalogue orders them (case and normal form ignored, numbers by value).
    static int compare(const MediaItem& a, const MediaItem& b, std::int32_t key);

  private:
    std::int32_t tracksOrder_;
    bool ascending_;
    Random random_;
};

}  // namespace kelvara
