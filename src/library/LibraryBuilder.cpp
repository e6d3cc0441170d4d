#include "library/LibraryBuilder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <functional>
#include <system_error>
#include <utility>

#include "library/DistinguishedKinds.h"
#include "library/PlistValues.h"
#include "library/ValidUtf8.h"

namespace kelvara {
namespace {

using namespace plist;

// Stable identities for the albums and artists the file does not name: FNV-1a over their key.
PersistentID stableID(std::string_view key) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string lowercaseExtension(std::string_view path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    std::string extension(path.substr(dot));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// Which of the parts that say which album it is are there; an absent part differs from an
// empty one.
char albumPresence(const AlbumParts& album) {
    return static_cast<char>('0' + (album.title ? 1 : 0) + (album.albumArtist ? 2 : 0) +
                             (album.compilation ? 4 : 0));
}

bool sameAlbum(const Album& candidate, const AlbumParts& parts) {
    return candidate.discNumber() == parts.discNumber &&
           candidate.isCompilation() == parts.compilation && candidate.rating() == parts.rating &&
           candidate.isRatingComputed() == parts.ratingComputed &&
           candidate.title() == parts.title && candidate.albumArtist() == parts.albumArtist &&
           candidate.sortTitle() == parts.sortTitle &&
           candidate.sortAlbumArtist() == parts.sortAlbumArtist;
}

// Settings are keyed by persistent ID, so an item without one still needs a stable one.
PersistentID fallbackItemID(const MediaItem& item, const TrackFields& track) {
    std::string basis = track.location ? std::string(track.location) : std::string();
    for (const OptionalText* part : {&item.title(), &track.artistName, &track.album.title}) {
        basis += '\x1f';
        if (*part) basis += **part;
    }
    return stableID(basis);
}

}  // namespace

void LibraryBuilder::reserve(std::size_t tracks) {
    items_.reserve(tracks);
    traits_.reserve(tracks);
    trackIDs_.reserve(tracks);
    albums_.reserve(tracks / 8);
    artists_.reserve(tracks / 8);
}

void LibraryBuilder::readTracks(const pugi::xml_node& tracks) {
    forEachEntry(tracks, [this](std::string_view key, const pugi::xml_node& value) {
        if (isElement(value, "dict")) readTrack(value, key);
    });
}

void LibraryBuilder::readTrack(const pugi::xml_node& dict, std::string_view outerKey) {
    MediaItem& item = library_.addMediaItem();
    TrackFields track = readTrackFields(dict, item);

    // The album and artist lookups are mostly cache misses in a large library: their slots, then
    // their objects, are fetched while the item's other fields are worked out.
    const std::uint64_t albumHashValue = albumHash(track.album);
    albums_.prefetchSlot(albumHashValue);
    const OptionalText& artistName = track.artistName;
    const std::uint64_t artistHash = artistName ? std::hash<std::string_view>{}(*artistName) : 0;
    if (artistName) artists_.prefetchSlot(artistHash);
    readLocation(item, track);
    albums_.prefetchValue(albumHashValue);
    if (artistName) artists_.prefetchValue(artistHash);

    item.setCanonicalKind(canonicalKindText(item.kind(), track.traits.extension));
    if (!track.persistentIDSet) item.setPersistentID(fallbackItemID(item, track));
    item.setArtist(artistNamed(artistName, artistHash, track.sortArtist));
    item.setAlbum(albumFor(std::move(track.album), albumHashValue));
    keepTrack(item, std::move(track), outerKey);
}

// An album is (title, album artist, compilation flag, disc number); an absent part differs from
// an empty one. Songs of one album may still disagree on its sort texts and rating (songs of
// different artists without an album artist, say), and each must show its own: they share an
// album object only when all of these agree. The key hashed for the lookup holds exactly these:
// which parts are there, the lengths that keep the texts apart, the numbers, the texts. The
// fields themselves are compared (sameAlbum), as hashes may collide.
std::uint64_t LibraryBuilder::albumHash(const AlbumParts& album) {
    std::string& key = albumKey_;
    const auto appendNumber = [&key](std::uint64_t value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        key.append(bytes, sizeof bytes);
    };
    key.clear();
    key += albumPresence(album);
    key += static_cast<char>('0' + (album.sortTitle ? 1 : 0) + (album.sortAlbumArtist ? 2 : 0) +
                             (album.ratingComputed ? 4 : 0));
    appendNumber(album.title ? album.title->size() : 0);
    appendNumber(album.albumArtist ? album.albumArtist->size() : 0);
    appendNumber(album.sortTitle ? album.sortTitle->size() : 0);
    appendNumber(album.discNumber);
    appendNumber(static_cast<std::uint64_t>(album.rating));
    for (const OptionalText* part :
         {&album.title, &album.albumArtist, &album.sortTitle, &album.sortAlbumArtist}) {
        if (*part) key += **part;
    }
    return std::hash<std::string_view>{}(key);
}

// The cloud and video flags, and the file's path and extension from its "Location".
void LibraryBuilder::readLocation(MediaItem& item, TrackFields& track) const {
    KindTraits& traits = track.traits;
    item.setIsCloud(track.remote);
    item.setIsVideo(traits.hasVideo || traits.movie || traits.tvShow || traits.musicVideo);
    if (!track.location) return;
    // The URL is text and made valid like all text; its escapes stand for the bytes of a file
    // name, which on Linux need not be UTF-8, and are kept so that the file is found.
    std::string url(track.location);
    makeValidUtf8(url);
    if (auto path = LocationMapper::pathFromFileURL(url)) {
        traits.extension = lowercaseExtension(*path);
        // A cloud item has no local file, whatever its URL says.
        if (!track.remote && !path->empty()) traits.path = std::move(*path);
    }
}

Artist* LibraryBuilder::artistNamed(const OptionalText& name, std::uint64_t hash,
                                    const OptionalText& sortName) {
    if (!name) return nullptr;
    // Songs of one artist may disagree on the sort name; each keeps its own. The identity is the
    // name's alone, so those objects share a persistent ID.
    Artist* found = artists_.find(hash, [&](const Artist& artist) {
        return artist.name() == name && artist.sortName() == sortName;
    });
    if (!found) {
        found = &library_.addArtist();
        found->setName(name);
        found->setSortName(sortName);
        found->setPersistentID(stableID(*name));
        artists_.insert(hash, found);
    }
    return found;
}

Album* LibraryBuilder::albumFor(AlbumParts&& parts, std::uint64_t hash) {
    Album* found =
        albums_.find(hash, [&](const Album& candidate) { return sameAlbum(candidate, parts); });
    if (found) return found;
    // The persistent ID: a stable hash of the parts that say which album it is, written out as
    // text; the same for every object of one album.
    std::string basis(1, albumPresence(parts));
    if (parts.title) basis += *parts.title;
    basis += '\x1f';
    if (parts.albumArtist) basis += *parts.albumArtist;
    basis += '\x1f';
    basis += std::to_string(parts.discNumber);
    found = &library_.addAlbum();
    found->setPersistentID(stableID(basis));
    found->setTitle(std::move(parts.title));
    found->setAlbumArtist(std::move(parts.albumArtist));
    found->setIsCompilation(parts.compilation);
    found->setDiscNumber(parts.discNumber);
    found->setSortTitle(std::move(parts.sortTitle));
    found->setSortAlbumArtist(std::move(parts.sortAlbumArtist));
    found->setRating(parts.rating);
    found->setIsRatingComputed(parts.ratingComputed);
    albums_.insert(hash, found);
    return found;
}

// Keeps what the playlists and the media kind still need of a track.
void LibraryBuilder::keepTrack(MediaItem& item, TrackFields&& track, std::string_view outerKey) {
    // Playlists refer to tracks by the inner "Track ID"; the dict's key says the same in files
    // that leave the inner one out.
    if (!track.trackID) {
        std::int64_t id = 0;
        const auto [end, ec] =
            std::from_chars(outerKey.data(), outerKey.data() + outerKey.size(), id);
        if (ec == std::errc() && end == outerKey.data() + outerKey.size()) track.trackID = id;
    }
    const std::size_t index = items_.size();
    items_.push_back(&item);
    traits_.push_back(std::move(track.traits));
    if (track.trackID) trackIDs_.add(*track.trackID, index);
}

void LibraryBuilder::readPlaylists(const pugi::xml_node& playlists) {
    for (pugi::xml_node dict = playlists.first_child(); dict; dict = dict.next_sibling()) {
        if (isElement(dict, "dict")) readPlaylist(dict);
    }
}

void LibraryBuilder::readPlaylist(const pugi::xml_node& dict) {
    Playlist& playlist = library_.addPlaylist();
    std::vector<const MediaItem*> items;
    forEachEntry(dict, [&](std::string_view key, const pugi::xml_node& value) {
        if (key == "Name") {
            playlist.setName(textValue(value).value_or(""));
        } else if (key == "Playlist Persistent ID") {
            playlist.setPersistentID(persistentIDValue(value).value_or(0));
        } else if (key == "Parent Persistent ID") {
            playlist.setParentPersistentID(persistentIDValue(value).value_or(0));
        } else if (key == "Master") {
            playlist.setIsMaster(boolValue(value));
        } else if (key == "Folder") {
            playlist.setIsFolder(boolValue(value));
        } else if (key == "Distinguished Kind") {
            if (const auto kind = integerValue(value)) {
                playlist.setDistinguishedKind(distinguishedKindFromLibraryValue(*kind));
            }
        } else if (key == "Playlist Items" && isElement(value, "array")) {
            readPlaylistItems(value, items);
        }
    });
    if (playlist.persistentID() == 0) givePlaylistID(playlist);
    // The media kind of an item depends on these playlists; see finish().
    switch (playlist.distinguishedKind()) {
        case distinguished_kind::Audiobooks:
            audiobooks_.insert(items.begin(), items.end());
            break;
        case distinguished_kind::VoiceMemos:
            voiceMemos_.insert(items.begin(), items.end());
            break;
        case distinguished_kind::Ringtones:
            tones_.insert(items.begin(), items.end());
            break;
        default:
            break;
    }
    playlist.setItems(std::move(items));
}

void LibraryBuilder::readPlaylistItems(const pugi::xml_node& array,
                                       std::vector<const MediaItem*>& items) {
    trackIDs_.build(items_.size());
    items.clear();  // a repeated key replaces the earlier value, as for every key
    for (pugi::xml_node entry = array.first_child(); entry; entry = entry.next_sibling()) {
        forEachEntry(entry, [&](std::string_view itemKey, const pugi::xml_node& id) {
            if (itemKey != "Track ID") return;
            const auto trackID = integerValue(id);
            // Unknown tracks are left out; duplicates are kept in place.
            const std::size_t index = trackID ? trackIDs_.find(*trackID) : TrackIDIndex::kNone;
            if (index != TrackIDIndex::kNone) items.push_back(items_[index]);
        });
    }
}

// Old libraries name no persistent ID. Ticks, the remembered selection and the unchecked-songs
// lists are keyed by it, so such playlists must not share 0: the name and how many playlists of
// that name came before stay the same between exports.
void LibraryBuilder::givePlaylistID(Playlist& playlist) {
    std::string basis = "\x1ePlaylist\x1f" + playlist.name() + '\x1f';
    basis += std::to_string(playlistsWithoutID_[playlist.name()]++);
    playlist.setPersistentID(stableID(basis));
}

void LibraryBuilder::startMapping(const LibraryOpenOptions& options) {
    mapper_.emplace(library_.musicFolder(), options);
    nextToMap_ = 0;
}

void LibraryBuilder::mapLocations() {
    // Runs of items are claimed in turn, so that threads share the work whatever their speed.
    constexpr std::size_t kRun = 512;
    const LocationMapper& mapper = *mapper_;
    for (;;) {
        const std::size_t begin = nextToMap_.fetch_add(kRun, std::memory_order_relaxed);
        if (begin >= items_.size()) return;
        const std::size_t end = std::min(items_.size(), begin + kRun);
        for (std::size_t i = begin; i < end; ++i) {
            std::string& path = traits_[i].path;
            if (!path.empty()) items_[i]->setMappedPath(mapper.mapPath(std::move(path)));
        }
    }
}

void LibraryBuilder::finish() {
    const bool anyKindPlaylist = !audiobooks_.empty() || !voiceMemos_.empty() || !tones_.empty();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        MediaItem* item = items_[i];
        if (anyKindPlaylist) {
            item->setMediaKind(deriveMediaKind(traits_[i], audiobooks_.contains(item),
                                               voiceMemos_.contains(item), tones_.contains(item)));
        } else {
            item->setMediaKind(deriveMediaKind(traits_[i], false, false, false));
        }
    }
}

}  // namespace kelvara
