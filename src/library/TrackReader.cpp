#include "library/TrackReader.h"

#include <algorithm>
#include <cstring>

#include "library/PlistValues.h"
#include "library/TrackKeys.h"

namespace kelvara {
namespace {

using namespace plist;

// 0 to 100; larger values are taken as 100.
int ratingValue(const pugi::xml_node& value) {
    return static_cast<int>(std::min(unsignedValue<unsigned>(value), 100u));
}

// One key's value: the item's own properties go straight into `item`, the rest into `track`.
void readKey(TrackKey key, const pugi::xml_node& value, MediaItem& item, TrackFields& track) {
    AlbumParts& album = track.album;
    KindTraits& traits = track.traits;
    // A table, one key a line.
    // clang-format off
    switch (key) {
        case TrackKey::TrackID: track.trackID = integerValue(value); break;
        case TrackKey::Name: item.setTitle(textValue(value)); break;
        case TrackKey::Artist: track.artistName = textValue(value); break;
        case TrackKey::AlbumArtist: album.albumArtist = textValue(value); break;
        case TrackKey::Album: album.title = textValue(value); break;
        case TrackKey::Genre: item.setGenre(textValue(value)); break;
        case TrackKey::Kind: item.setKind(textValue(value)); break;
        case TrackKey::Composer: item.setComposer(textValue(value)); break;
        case TrackKey::Comments: item.setComments(textValue(value)); break;
        case TrackKey::SortName: item.setSortTitle(textValue(value)); break;
        case TrackKey::SortArtist: track.sortArtist = textValue(value); break;
        case TrackKey::SortAlbum: album.sortTitle = textValue(value); break;
        case TrackKey::SortAlbumArtist: album.sortAlbumArtist = textValue(value); break;
        case TrackKey::SortComposer: item.setSortComposer(textValue(value)); break;
        case TrackKey::TotalTime: item.setTotalTime(unsignedValue<std::uint64_t>(value)); break;
        case TrackKey::TrackNumber: item.setTrackNumber(unsignedValue<unsigned>(value)); break;
        case TrackKey::DiscNumber: album.discNumber = unsignedValue<unsigned>(value); break;
        case TrackKey::Year: item.setYear(unsignedValue<unsigned>(value)); break;
        case TrackKey::PlayCount: item.setPlayCount(unsignedValue<unsigned>(value)); break;
        case TrackKey::BPM: item.setBeatsPerMinute(unsignedValue<unsigned>(value)); break;
        case TrackKey::BitRate: item.setBitrate(unsignedValue<unsigned>(value)); break;
        case TrackKey::Rating: item.setRating(ratingValue(value)); break;
        case TrackKey::AlbumRating: album.rating = ratingValue(value); break;
        case TrackKey::AlbumRatingComputed: album.ratingComputed = boolValue(value); break;
        case TrackKey::ReleaseDate: item.setReleaseDate(dateValue(value)); break;
        case TrackKey::DateAdded: item.setAddedDate(dateValue(value)); break;
        case TrackKey::DateModified: item.setModifiedDate(dateValue(value)); break;
        case TrackKey::PlayDateUTC: item.setLastPlayedDate(dateValue(value)); break;
        case TrackKey::PersistentID:
            if (const auto id = persistentIDValue(value)) {
                item.setPersistentID(*id);
                track.persistentIDSet = true;
            }
            break;
        case TrackKey::Location:
            if (isElement(value, "string")) track.location = value.child_value();
            break;
        case TrackKey::TrackType:
            track.remote =
                isElement(value, "string") && std::strcmp(value.child_value(), "Remote") == 0;
            break;
        case TrackKey::Protected: item.setIsDRMProtected(boolValue(value)); break;
        case TrackKey::AppleMusic: break;  // Says nothing the other keys do not.
        case TrackKey::Compilation: album.compilation = boolValue(value); break;
        case TrackKey::HasVideo: traits.hasVideo = boolValue(value); break;
        case TrackKey::Movie: traits.movie = boolValue(value); break;
        case TrackKey::TVShow: traits.tvShow = boolValue(value); break;
        case TrackKey::MusicVideo: traits.musicVideo = boolValue(value); break;
        case TrackKey::Podcast: traits.podcast = boolValue(value); break;
        case TrackKey::ITunesU: traits.iTunesU = boolValue(value); break;
        case TrackKey::ArtworkCount:
            item.setHasArtworkAvailable(unsignedValue<std::uint64_t>(value) > 0);
            break;
        case TrackKey::Size: item.setFileSize(unsignedValue<std::uint64_t>(value)); break;
    }
    // clang-format on
}

}  // namespace

TrackFields readTrackFields(const pugi::xml_node& dict, MediaItem& item) {
    TrackFields track;
    forEachEntry(dict, [&](std::string_view name, const pugi::xml_node& value) {
        const auto key = trackKeyFor(name);
        if (key) readKey(*key, value, item, track);
    });
    return track;
}

}  // namespace kelvara
