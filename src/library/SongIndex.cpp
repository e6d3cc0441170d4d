#include "library/SongIndex.h"

#include "platform/TextCompare.h"

namespace kelvara {

SongIndex::SongIndex(const std::vector<const MediaItem*>& songs) {
    for (const MediaItem* song : songs) {
        const Album* album = song->album();
        groups_[keyFor(album ? album->title() : std::nullopt)].push_back(song);
    }
}

std::string SongIndex::keyFor(const OptionalText& title) {
    // A present title's key starts with "t", so no title can share the key of the absent one.
    if (!title) return "-";
    std::string key = "t";
    key += foldCase(*title);
    return key;
}

const std::vector<const MediaItem*>& SongIndex::songsWithAlbumTitle(
    const OptionalText& title) const {
    static const std::vector<const MediaItem*> none;
    auto it = groups_.find(keyFor(title));
    return it == groups_.end() ? none : it->second;
}

}  // namespace kelvara
