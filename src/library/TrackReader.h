#pragma once

#include <cstdint>
#include <optional>
#include <pugixml.hpp>

#include "library/LibraryTypes.h"
#include "library/MediaItem.h"
#include "library/MediaKindRules.h"

namespace kelvara {

// What a track says about its album. Songs share an album object only when all of these agree.
struct AlbumParts {
    OptionalText title, albumArtist, sortTitle, sortAlbumArtist;
    unsigned discNumber = 0;
    int rating = 0;
    bool ratingComputed = false, compilation = false;
};

// What a track's dict says beyond the item's own properties: the parts its artist and album are
// made of, what its media kind depends on, and what identifies it.
struct TrackFields {
    std::optional<std::int64_t> trackID;
    OptionalText artistName, sortArtist;
    AlbumParts album;
    KindTraits traits;
    bool remote = false;             // "Track Type" is "Remote": a cloud item
    bool persistentIDSet = false;    // the item's persistent ID came from the file
    const char* location = nullptr;  // the "Location" URL as written; lives as long as the node
};

// Reads one track's dict: the item's own properties straight into `item`, the rest into the
// result. Unknown keys are ignored; a value that does not read is left unset.
TrackFields readTrackFields(const pugi::xml_node& dict, MediaItem& item);

}  // namespace kelvara
