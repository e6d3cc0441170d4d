#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/ExportOptionValues.h"
#include "library/MediaItem.h"

namespace kelvara {

// The order in which a playlist's songs are exported, by the "TracksOrder" option: sorted by one
// key (ascending or descending), shuffled, or the playlist's own order.
class SongOrder {
  public:
    // A source of uniformly random 32-bit numbers for the shuffle.
    using Random = std::function<std::uint32_t()>;

    // `random` defaults to the system's cryptographic source.
    SongOrder(TrackOrder tracksOrder, bool ascending, Random random = {});

    // `songs` in this order; songs with equal keys keep their relative order.
    std::vector<const MediaItem*> apply(std::vector<const MediaItem*> songs) const;

    // Negative, zero or positive as `a` sorts before, with or after `b` by sort key `key` (the
    // playlist's order and the shuffle compare equal). Absent values come first; texts compare as
    // the album catalogue orders them (case and normal form ignored, numbers by value).
    static int compare(const MediaItem& a, const MediaItem& b, TrackOrder key);

  private:
    TrackOrder tracksOrder_;
    bool ascending_;
    Random random_;
};

}  // namespace kelvara
