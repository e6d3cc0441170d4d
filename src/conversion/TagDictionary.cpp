#include "conversion/TagDictionary.h"

#include "library/MediaItem.h"

namespace kelvara {

TagDictionary TagDictionary::fromItem(const MediaItem* item) {
    TagDictionary tags;
    if (!item) return tags;
    tags.title = item->title().value_or("");
    if (item->year() >= 1) tags.year = std::to_string(item->year());
    if (item->artist()) tags.artist = item->artist()->name().value_or("");
    if (item->album()) tags.album = item->album()->title().value_or("");
    if (item->trackNumber() >= 1) tags.truckNum = std::to_string(item->trackNumber());
    tags.genre = item->genre().value_or("");
    tags.bpm = static_cast<long>(item->beatsPerMinute());
    return tags;
}

}  // namespace kelvara
