#include "library/AlbumCatalogue.h"

#include <algorithm>
#include <unordered_set>

#include "library/KvrItunesMAnager.h"
#include "platform/TextCompare.h"

namespace kelvara {
namespace {

// Stands in for an absent title or artist in album keys, so that all songs lacking it fall
// together; it cannot clash with a real name because real names never contain a NUL.
const std::string kAbsentPart("\0absent\0", 8);

OptionalText artistText(const MediaItem& song) {
    const Album* album = song.album();
    if (album && album->isCompilation()) return std::string("Various Artists");
    if (album && album->albumArtist()) return album->albumArtist();
    return song.artist() ? song.artist()->name() : std::nullopt;
}

std::optional<int> ratingOf(const MediaItem& song) {
    const Album* album = song.album();
    if (album && album->isRatingComputed()) {
        if (album->rating() >= 1) return album->rating();
        return std::nullopt;
    }
    if (song.rating() >= 1) return song.rating() / 20;
    return std::nullopt;
}

}  // namespace

AlbumCatalogue::AlbumCatalogue(const MediaLibrary* library, PreferencesStore& preferences)
    : library_(library), preferences_(preferences) {}

void AlbumCatalogue::loadAlbums() {
    albums_.clear();
    allSongs_.clear();
    songIndex_.reset();
    selectedRow_ = 0;
    if (!library_) return;
    const std::vector<std::string> selected = preferences_.stringArrayForKey("SelectedAlbums");

    std::unordered_set<std::string> seen;
    for (const MediaItem* song : library_->allMediaItems()) {
        if (song->mediaKind() != MediaKind::Song) continue;
        allSongs_.push_back(song);
        const Album* album = song->album();
        const OptionalText artist = artistText(*song);
        const OptionalText& title = album ? album->title() : std::nullopt;
        std::string key = (title ? lowercase(*title) : kAbsentPart) + "_" +
                          (artist ? lowercase(*artist) : kAbsentPart);
        if (!seen.insert(std::move(key)).second) continue;

        auto record = std::make_shared<KvrAlbumInfo>();
        record->setTitle(title && !title->empty() ? *title : "Unknown Album");
        record->setArtist(artist);
        record->setAlbum(album);
        record->setLibArtist(song->artist());
        record->setRating(ratingOf(*song));
        albums_.push_back(std::move(record));
    }
    std::stable_sort(albums_.begin(), albums_.end(), [](const auto& a, const auto& b) {
        return localizedStandardCompare(a->title(), b->title()) < 0;
    });

    const auto rememberedTitle = preferences_.stringForKey("SelectedAlbumTitle");
    const auto rememberedArtist = preferences_.stringForKey("SelectedAlbumArtist");
    for (std::size_t i = 0; i < albums_.size(); ++i) {
        KvrAlbumInfo& record = *albums_[i];
        record.setChecked(std::find(selected.begin(), selected.end(), record.displayName()) !=
                          selected.end());
        if (rememberedTitle && rememberedArtist && record.title() == *rememberedTitle &&
            record.artist().value_or("") == *rememberedArtist)
            selectedRow_ = i;
    }
}

const std::vector<const MediaItem*>& AlbumCatalogue::getSongsFromAlbumInfo(KvrAlbumInfo& album) {
    KvrItunesMAnager::sharedManager().setAllSongsIfUnset(allSongs_);
    if (!album.albumSongs()) {
        if (!songIndex_) songIndex_ = std::make_unique<SongIndex>(allSongs_);
        const Album* libraryAlbum = album.album();
        album.setAlbumSongs(album.matchingSongs(
            songIndex_->songsWithAlbumTitle(libraryAlbum ? libraryAlbum->title() : std::nullopt)));
    }
    return *album.albumSongs();
}

std::vector<const MediaItem*> AlbumCatalogue::songListOrder(std::vector<const MediaItem*> songs) {
    const auto disc = [](const MediaItem* song) {
        return song->album() ? song->album()->discNumber() : 0u;
    };
    std::stable_sort(songs.begin(), songs.end(), [&](const MediaItem* a, const MediaItem* b) {
        if (disc(a) != disc(b)) return disc(a) < disc(b);
        return a->trackNumber() < b->trackNumber();
    });
    return songs;
}

void AlbumCatalogue::selectAll() {
    for (auto& record : albums_) record->setChecked(true);
    persistTicks();
}

void AlbumCatalogue::unSelectAll() {
    for (auto& record : albums_) record->setChecked(false);
    persistTicks();
}

void AlbumCatalogue::tickRange(std::size_t clickedRow) {
    if (albums_.empty()) return;
    const std::size_t from = std::min(selectedRow_, clickedRow);
    const std::size_t to = std::min(std::max(selectedRow_, clickedRow), albums_.size() - 1);
    for (std::size_t row = from; row <= to; ++row) albums_[row]->setChecked(true);
    persistTicks();
}

void AlbumCatalogue::persistTicks() {
    nlohmann::json names = nlohmann::json::array();
    for (const auto& record : albums_)
        if (record->checked()) names.push_back(record->displayName());
    preferences_.setObject("SelectedAlbums", std::move(names));
    preferences_.flush();
}

void AlbumCatalogue::selectRow(std::size_t row) {
    if (row >= albums_.size()) return;
    selectedRow_ = row;
    preferences_.setString("SelectedAlbumTitle", albums_[row]->title());
    preferences_.setString("SelectedAlbumArtist", albums_[row]->artist().value_or(""));
    preferences_.flush();
}

std::vector<std::shared_ptr<KvrAlbumInfo>> AlbumCatalogue::chosen(ItemChoice choice) const {
    switch (choice) {
        case ItemChoice::Current:
            if (selectedRow_ < albums_.size()) return {albums_[selectedRow_]};
            return {};
        case ItemChoice::All:
            return albums_;
        case ItemChoice::Ticked:
            break;
    }
    std::vector<std::shared_ptr<KvrAlbumInfo>> ticked;
    for (const auto& record : albums_)
        if (record->checked()) ticked.push_back(record);
    return ticked;
}

std::shared_ptr<KvrAlbumInfo> AlbumCatalogue::findByDisplayName(const std::string& name) const {
    for (const auto& record : albums_)
        if (record->artist().value_or("") + " - " + record->title() == name) return record;
    for (const auto& record : albums_)
        if (record->displayName() == name) return record;
    return nullptr;
}

}  // namespace kelvara
