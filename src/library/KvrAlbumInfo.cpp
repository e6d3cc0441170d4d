#include "library/KvrAlbumInfo.h"

#include <algorithm>

#include "library/KvrItunesMAnager.h"
#include "platform/TextCompare.h"

namespace kelvara {

std::string KvrAlbumInfo::displayName() const { return title_ + " - " + artist_.value_or(""); }

bool KvrAlbumInfo::matches(const MediaItem& song) const {
    const Album* songAlbum = song.album();
    const OptionalText none;
    const OptionalText& songTitle = songAlbum ? songAlbum->title() : none;
    const OptionalText& recordTitle = album_ ? album_->title() : none;
    if (!optionalEqualsIgnoringCase(songTitle, recordTitle)) return false;

    if (album_ && album_->isCompilation()) return songAlbum && songAlbum->isCompilation();

    const OptionalText& songAlbumArtist = songAlbum ? songAlbum->albumArtist() : none;
    const OptionalText& songArtist = song.artist() ? song.artist()->name() : none;
    const OptionalText& recordAlbumArtist = album_ ? album_->albumArtist() : none;
    const OptionalText& recordArtist = libArtist_ ? libArtist_->name() : none;
    return (songAlbumArtist && optionalEqualsIgnoringCase(songAlbumArtist, recordAlbumArtist)) ||
           optionalEqualsIgnoringCase(songArtist, recordArtist) ||
           (songAlbumArtist && optionalEqualsIgnoringCase(songAlbumArtist, recordArtist)) ||
           (songArtist && optionalEqualsIgnoringCase(songArtist, recordAlbumArtist));
}

std::vector<const MediaItem*> KvrAlbumInfo::matchingSongs(
    const std::vector<const MediaItem*>& candidates) const {
    std::vector<const MediaItem*> songs;
    for (const MediaItem* song : candidates)
        if (matches(*song)) songs.push_back(song);
    std::stable_sort(songs.begin(), songs.end(), [](const MediaItem* a, const MediaItem* b) {
        return a->trackNumber() < b->trackNumber();
    });
    return songs;
}

const std::vector<const MediaItem*>& KvrAlbumInfo::getSongs() {
    static const std::vector<const MediaItem*> noSongs;
    if (!albumSongs_) {
        // Without the session's song list there is nothing to match; not remembered, so a later
        // call after the catalogue has set the list finds the songs.
        auto index = KvrItunesMAnager::sharedManager().songsByAlbumTitle();
        if (!index) return noSongs;
        albumSongs_ =
            matchingSongs(index->songsWithAlbumTitle(album_ ? album_->title() : std::nullopt));
    }
    return *albumSongs_;
}

}  // namespace kelvara
