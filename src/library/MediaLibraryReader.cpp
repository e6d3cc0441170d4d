#include "library/MediaLibraryReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <future>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "library/DistinguishedKinds.h"
#include "library/LocationMapper.h"
#include "library/TrackScanner.h"
#include "library/ValidUtf8.h"

namespace kelvara {
namespace {

// ---------------------------------------------------------------------------------------------
// Reading plist values. Anything of the wrong element type or with text that does not parse is
// absent, as if the key were missing.

// Compared in place rather than with strcmp: it runs for every value of every track.
inline bool isElement(const pugi::xml_node& node, const char* name) {
    const char* actual = node.name();
    while (*name && *actual == *name) {
        ++actual;
        ++name;
    }
    return *actual == *name;
}

// The parser passes any bytes through (and character references to surrogates come out as
// their ill-formed encoding), so every text is made valid UTF-8 here, once.
OptionalText textValue(const pugi::xml_node& node) {
    if (!isElement(node, "string")) return std::nullopt;
    std::string text(node.child_value());
    makeValidUtf8(text);
    return text;
}

std::optional<std::int64_t> integerValue(const pugi::xml_node& node) {
    const char* text = node.child_value();
    if (isElement(node, "integer")) {
        // Nearly every value is plain digits: read those directly.
        std::uint64_t digitsValue = 0;
        const char* at = text;
        while (*at >= '0' && *at <= '9' && at - text < 18) {
            digitsValue = digitsValue * 10 + static_cast<unsigned>(*at - '0');
            ++at;
        }
        if (*at == '\0' && at != text) return static_cast<std::int64_t>(digitsValue);
        std::string_view view(text);
        while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
        while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) view.remove_suffix(1);
        if (view.starts_with('+')) view.remove_prefix(1);
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
        if (ec != std::errc() || end != view.data() + view.size()) return std::nullopt;
        return value;
    }
    if (isElement(node, "real")) {
        // from_chars, not strtod: the user's locale must not change how the file reads.
        const std::string_view view(text);
        double value = 0;
        const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
        if (ec != std::errc() || end != view.data() + view.size() ||
            !(value > -9.2e18 && value < 9.2e18)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    return std::nullopt;
}

// An unsigned property that fits T; anything else reads as 0 (unset).
template <typename T>
T unsignedValue(const pugi::xml_node& node) {
    const auto value = integerValue(node);
    if (!value || *value < 0 ||
        static_cast<std::uint64_t>(*value) > std::numeric_limits<T>::max()) {
        return 0;
    }
    return static_cast<T>(*value);
}

bool boolValue(const pugi::xml_node& node) {
    if (isElement(node, "true")) return true;
    if (isElement(node, "false")) return false;
    const auto value = integerValue(node);
    return value && *value != 0;
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int& out) {
    out = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<Date> dateFrom(const std::array<int, 6>& values) {
    const auto [y, mo, d, h, mi, s] = values;
    const std::chrono::year_month_day date{std::chrono::year{y},
                                           std::chrono::month{static_cast<unsigned>(mo)},
                                           std::chrono::day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return std::chrono::sys_days(date) + std::chrono::hours(h) + std::chrono::minutes(mi) +
           std::chrono::seconds(s);
}

std::optional<Date> parseDate(std::string_view text) {
    // "2013-09-24T23:01:21Z", always UTC. Property lists also allow the later parts to be left
    // out ("2013-09-24Z", "2013Z"): month and day then read as 1, the time as midnight.
    if (text.size() < 5 || text.back() != 'Z') return std::nullopt;
    text.remove_suffix(1);
    std::array<int, 6> values{0, 1, 1, 0, 0, 0};
    if (text.size() == 19 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
        text[13] == ':' && text[16] == ':') {
        // The complete form, which is all that real libraries write.
        if (!digits(text, 0, 4, values[0]) || !digits(text, 5, 2, values[1]) ||
            !digits(text, 8, 2, values[2]) || !digits(text, 11, 2, values[3]) ||
            !digits(text, 14, 2, values[4]) || !digits(text, 17, 2, values[5])) {
            return std::nullopt;
        }
        return dateFrom(values);
    }
    // Each part: its separator before it (none for the year), its width.
    static constexpr std::array<std::pair<char, std::size_t>, 6> kParts{
        {{'\0', 4}, {'-', 2}, {'-', 2}, {'T', 2}, {':', 2}, {':', 2}}};
    std::size_t at = 0;
    for (std::size_t part = 0; part < kParts.size() && at < text.size(); ++part) {
        const auto [separator, width] = kParts[part];
        if (separator != '\0' && text[at++] != separator) return std::nullopt;
        if (at + width > text.size() || !digits(text, at, width, values[part])) return std::nullopt;
        at += width;
    }
    if (at != text.size()) return std::nullopt;
    return dateFrom(values);
}


std::optional<Date> dateValue(const pugi::xml_node& node) {
    if (!isElement(node, "date")) return std::nullopt;
    return parseDate(node.child_value());
}

std::optional<PersistentID> persistentIDValue(const pugi::xml_node& node) {
    if (!isElement(node, "string")) return std::nullopt;
    return persistentIDFromHex(node.child_value());
}

// Walks the key/value pairs of a <dict>.
template <typename Visit>
void forEachEntry(const pugi::xml_node& dict, Visit&& visit) {
    for (pugi::xml_node key = dict.first_child(); key; key = key.next_sibling()) {
        if (!isElement(key, "key")) continue;
        const pugi::xml_node value = key.next_sibling();
        if (!value) break;
        visit(std::string_view(key.child_value()), value);
        key = value;
    }
}

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
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// ---------------------------------------------------------------------------------------------
// Track keys.

enum class TrackKey {
    TrackID, Name, Artist, AlbumArtist, Album, Genre, Kind, Composer, Comments, SortName,
    SortArtist, SortAlbum, SortAlbumArtist, SortComposer, TotalTime, TrackNumber, DiscNumber,
    Year, PlayCount, BPM, BitRate, Rating, AlbumRating, AlbumRatingComputed, ReleaseDate,
    DateAdded, DateModified, PlayDateUTC, PersistentID, Location, TrackType, Protected,
    AppleMusic, Compilation, HasVideo, Movie, TVShow, MusicVideo, Podcast, ITunesU,
    ArtworkCount, Size,
};

// The track keys the library reads, found by length first: this runs for every key of every
// track, millions of times in a large library. Unknown keys are absent.
// Whether `name`, already known to have the literal's length, is that literal: a compare of
// known length, which the compiler turns into a few word compares.
template <std::size_t N>
inline bool is(std::string_view name, const char (&literal)[N]) {
    return std::memcmp(name.data(), literal, N - 1) == 0;
}

std::optional<TrackKey> trackKeyFor(std::string_view name) {
    switch (name.size()) {
        case 3:
            if (is(name, "BPM")) return TrackKey::BPM;
            break;
        case 4:
            if (is(name, "Name")) return TrackKey::Name;
            if (is(name, "Kind")) return TrackKey::Kind;
            if (is(name, "Year")) return TrackKey::Year;
            if (is(name, "Size")) return TrackKey::Size;
            break;
        case 5:
            if (is(name, "Album")) return TrackKey::Album;
            if (is(name, "Genre")) return TrackKey::Genre;
            if (is(name, "Movie")) return TrackKey::Movie;
            break;
        case 6:
            if (is(name, "Artist")) return TrackKey::Artist;
            if (is(name, "Rating")) return TrackKey::Rating;
            break;
        case 7:
            if (is(name, "TV Show")) return TrackKey::TVShow;
            if (is(name, "Podcast")) return TrackKey::Podcast;
            if (is(name, "iTunesU")) return TrackKey::ITunesU;
            break;
        case 8:
            if (is(name, "Track ID")) return TrackKey::TrackID;
            if (is(name, "Composer")) return TrackKey::Composer;
            if (is(name, "Comments")) return TrackKey::Comments;
            if (is(name, "Bit Rate")) return TrackKey::BitRate;
            if (is(name, "Location")) return TrackKey::Location;
            break;
        case 9:
            if (is(name, "Sort Name")) return TrackKey::SortName;
            if (is(name, "Protected")) return TrackKey::Protected;
            if (is(name, "Has Video")) return TrackKey::HasVideo;
            break;
        case 10:
            if (is(name, "Sort Album")) return TrackKey::SortAlbum;
            if (is(name, "Total Time")) return TrackKey::TotalTime;
            if (is(name, "Play Count")) return TrackKey::PlayCount;
            if (is(name, "Date Added")) return TrackKey::DateAdded;
            if (is(name, "Track Type")) return TrackKey::TrackType;
            break;
        case 11:
            if (is(name, "Sort Artist")) return TrackKey::SortArtist;
            if (is(name, "Disc Number")) return TrackKey::DiscNumber;
            if (is(name, "Apple Music")) return TrackKey::AppleMusic;
            if (is(name, "Compilation")) return TrackKey::Compilation;
            if (is(name, "Music Video")) return TrackKey::MusicVideo;
            break;
        case 12:
            if (is(name, "Album Artist")) return TrackKey::AlbumArtist;
            if (is(name, "Track Number")) return TrackKey::TrackNumber;
            if (is(name, "Album Rating")) return TrackKey::AlbumRating;
            if (is(name, "Release Date")) return TrackKey::ReleaseDate;
            break;
        case 13:
            if (is(name, "Sort Composer")) return TrackKey::SortComposer;
            if (is(name, "Date Modified")) return TrackKey::DateModified;
            // "Play Date" is local time in seconds since 1904; the UTC date is the one to read.
            if (is(name, "Play Date UTC")) return TrackKey::PlayDateUTC;
            if (is(name, "Persistent ID")) return TrackKey::PersistentID;
            if (is(name, "Artwork Count")) return TrackKey::ArtworkCount;
            break;
        case 17:
            if (is(name, "Sort Album Artist")) return TrackKey::SortAlbumArtist;
            break;
        case 21:
            if (is(name, "Album Rating Computed")) return TrackKey::AlbumRatingComputed;
            break;
    }
    return std::nullopt;
}

// What the media kind depends on besides playlist membership, kept until the playlists are read.
struct KindTraits {
    bool podcast = false, iTunesU = false, tvShow = false, musicVideo = false, movie = false,
         hasVideo = false;
    std::string extension;
    std::string path;  // decoded, mapped once the library's music folder is known
};

bool oneOf(std::string_view extension, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), extension) != list.end();
}

MediaKind deriveMediaKind(const KindTraits& t, bool inAudiobooks, bool inVoiceMemos, bool inTones) {
    if (t.podcast) return MediaKind::Podcast;
    if (t.iTunesU) return MediaKind::ITunesU;
    if (t.tvShow) return MediaKind::TVShow;
    if (t.musicVideo) return MediaKind::MusicVideo;
    if (t.movie) return MediaKind::Movie;
    if (t.extension == ".ipa") return MediaKind::IOSApplication;
    if (t.extension == ".pdf") return MediaKind::PDFBook;
    if (oneOf(t.extension, {".epub", ".ibooks"})) return MediaKind::Book;
    if (oneOf(t.extension, {".m4b", ".aa", ".aax"}) || inAudiobooks) return MediaKind::Audiobook;
    if (inVoiceMemos) return MediaKind::VoiceMemo;
    if (t.extension == ".m4r" || inTones) return MediaKind::Ringtone;
    if (t.hasVideo) return MediaKind::HomeVideo;
    return MediaKind::Song;
}

// ---------------------------------------------------------------------------------------------

// Shared objects found by a hash of the fields that identify them: open addressing over one flat
// table, so that a lookup touches a slot or two and then the object itself. `same` tells apart
// objects whose hashes collide.
template <typename T>
class HashIndex {
public:
    void reserve(std::size_t count) {
        if (count * 2 > slots_.size()) rehash(std::bit_ceil(count * 2));
    }

    template <typename Same>
    T* find(std::uint64_t hash, Same&& same) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.value) return nullptr;
            if (slot.hash == hash && same(*slot.value)) return slot.value;
        }
    }

    // Starts loading what a find() for `hash` reads first: its slot, or, once that has arrived,
    // the object in it. Lookups are mostly cache misses in a large library.
    void prefetchSlot(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
    }
    void prefetchValue(std::uint64_t hash) const {
        if (!slots_.empty() && slots_[hash & mask_].value) __builtin_prefetch(slots_[hash & mask_].value);
    }

    // `value` must not be found already.
    void insert(std::uint64_t hash, T* value) {
        if ((count_ + 1) * 2 > slots_.size()) rehash(std::max<std::size_t>(64, slots_.size() * 2));
        place(hash, value);
        ++count_;
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        T* value = nullptr;  // null for a free slot
    };

    void place(std::uint64_t hash, T* value) {
        std::size_t i = hash & mask_;
        while (slots_[i].value) i = (i + 1) & mask_;
        slots_[i] = Slot{hash, value};
    }

    void rehash(std::size_t size) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        mask_ = size - 1;
        for (const Slot& slot : old) {
            if (slot.value) place(slot.hash, slot.value);
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0, count_ = 0;
};

class Builder {
public:
    explicit Builder(MediaLibrary& library) : library_(library) {}

    void reserve(std::size_t tracks) {
        items_.reserve(tracks);
        traits_.reserve(tracks);
        trackIDs_.reserve(tracks);
        albums_.reserve(tracks / 8);
        artists_.reserve(tracks / 8);
    }
    void readTracks(const pugi::xml_node& tracks);
    void readPlaylists(const pugi::xml_node& playlists);
    // Maps the locations once the music folder is known (it may come after the tracks). Call
    // mapLocations() from any number of threads at once, readPlaylists() may run meanwhile;
    // each item is mapped by exactly one of them.
    void startMapping(const LibraryOpenOptions& options);
    void mapLocations();
    // Derives the media kinds; every location must have been mapped.
    void finish();

private:
    void readTrack(const pugi::xml_node& dict, std::string_view outerKey);
    // `hash` is the name's std::hash.
    Artist* artistNamed(const OptionalText& name, std::uint64_t hash, const OptionalText& sortName);

    MediaLibrary& library_;
    std::vector<MediaItem*> items_;
    std::vector<KindTraits> traits_;
    void indexTrackIDs();
    const MediaItem* itemForTrackID(std::int64_t id) const;

    // (Track ID, item index) as read; indexed for the playlists by indexTrackIDs().
    std::vector<std::pair<std::int64_t, std::size_t>> trackIDs_;
    bool indexed_ = false;
    std::int64_t firstID_ = 0;
    std::vector<std::uint32_t> denseIndex_;  // index + 1 per ID from firstID_; 0 for none
    std::unordered_map<std::int64_t, std::size_t> sparseIndex_;
    HashIndex<Artist> artists_;  // by name
    HashIndex<Album> albums_;    // by the fields that tell albums apart (see readTrack)
    std::string albumKey_;
    std::unordered_set<const MediaItem*> audiobooks_, voiceMemos_, tones_;
    std::unordered_map<std::string, unsigned> playlistsWithoutID_;  // playlists without an ID, per name
    std::optional<LocationMapper> mapper_;
    std::atomic<std::size_t> nextToMap_{0};
};

Artist* Builder::artistNamed(const OptionalText& name, std::uint64_t hash,
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

void Builder::readTracks(const pugi::xml_node& tracks) {
    forEachEntry(tracks, [this](std::string_view key, const pugi::xml_node& value) {
        if (isElement(value, "dict")) readTrack(value, key);
    });
}

void Builder::readTrack(const pugi::xml_node& dict, std::string_view outerKey) {
    MediaItem& item = library_.addMediaItem();
    KindTraits traits;
    std::optional<std::int64_t> trackID;
    OptionalText artistName, albumArtist, albumTitle, sortArtist, sortAlbum, sortAlbumArtist;
    unsigned discNumber = 0;
    int albumRating = 0;
    bool albumRatingComputed = false, compilation = false, remote = false, persistentIDSet = false;
    const char* location = nullptr;

    forEachEntry(dict, [&](std::string_view name, const pugi::xml_node& value) {
        const auto key = trackKeyFor(name);
        if (!key) return;
        switch (*key) {
            case TrackKey::TrackID: trackID = integerValue(value); break;
            case TrackKey::Name: item.setTitle(textValue(value)); break;
            case TrackKey::Artist: artistName = textValue(value); break;
            case TrackKey::AlbumArtist: albumArtist = textValue(value); break;
            case TrackKey::Album: albumTitle = textValue(value); break;
            case TrackKey::Genre: item.setGenre(textValue(value)); break;
            case TrackKey::Kind: item.setKind(textValue(value)); break;
            case TrackKey::Composer: item.setComposer(textValue(value)); break;
            case TrackKey::Comments: item.setComments(textValue(value)); break;
            case TrackKey::SortName: item.setSortTitle(textValue(value)); break;
            case TrackKey::SortArtist: sortArtist = textValue(value); break;
            case TrackKey::SortAlbum: sortAlbum = textValue(value); break;
            case TrackKey::SortAlbumArtist: sortAlbumArtist = textValue(value); break;
            case TrackKey::SortComposer: item.setSortComposer(textValue(value)); break;
            case TrackKey::TotalTime: item.setTotalTime(unsignedValue<std::uint64_t>(value)); break;
            case TrackKey::TrackNumber: item.setTrackNumber(unsignedValue<unsigned>(value)); break;
            case TrackKey::DiscNumber: discNumber = unsignedValue<unsigned>(value); break;
            case TrackKey::Year: item.setYear(unsignedValue<unsigned>(value)); break;
            case TrackKey::PlayCount: item.setPlayCount(unsignedValue<unsigned>(value)); break;
            case TrackKey::BPM: item.setBeatsPerMinute(unsignedValue<unsigned>(value)); break;
            case TrackKey::BitRate: item.setBitrate(unsignedValue<unsigned>(value)); break;
            case TrackKey::Rating:
                item.setRating(static_cast<int>(std::min(unsignedValue<unsigned>(value), 100u)));
                break;
            case TrackKey::AlbumRating:
                albumRating = static_cast<int>(std::min(unsignedValue<unsigned>(value), 100u));
                break;
            case TrackKey::AlbumRatingComputed: albumRatingComputed = boolValue(value); break;
            case TrackKey::ReleaseDate: item.setReleaseDate(dateValue(value)); break;
            case TrackKey::DateAdded: item.setAddedDate(dateValue(value)); break;
            case TrackKey::DateModified: item.setModifiedDate(dateValue(value)); break;
            case TrackKey::PlayDateUTC: item.setLastPlayedDate(dateValue(value)); break;
            case TrackKey::PersistentID:
                if (const auto id = persistentIDValue(value)) {
                    item.setPersistentID(*id);
                    persistentIDSet = true;
                }
                break;
            case TrackKey::Location:
                if (isElement(value, "string")) location = value.child_value();
                break;
            case TrackKey::TrackType:
                remote = isElement(value, "string") && std::strcmp(value.child_value(), "Remote") == 0;
                break;
            case TrackKey::Protected: item.setIsDRMProtected(boolValue(value)); break;
            case TrackKey::AppleMusic: break;  // Says nothing the other keys do not.
            case TrackKey::Compilation: compilation = boolValue(value); break;
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
    });

    // An album is (title, album artist, compilation flag, disc number); an absent part differs
    // from an empty one. Songs of one album may still disagree on its sort texts and rating (songs
    // of different artists without an album artist, say), and each must show its own: they share
    // an album object only when all of these agree. The key hashed for the lookup holds exactly
    // these: which parts are there, the lengths that keep the texts apart, the numbers, the texts.
    // The fields themselves are compared, as hashes may collide.
    std::string& albumKey = albumKey_;  // reused: one allocation for the whole library
    const char presence = static_cast<char>('0' + (albumTitle ? 1 : 0) + (albumArtist ? 2 : 0) +
                                            (compilation ? 4 : 0));
    const auto appendNumber = [&albumKey](std::uint64_t value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        albumKey.append(bytes, sizeof bytes);
    };
    albumKey.clear();
    albumKey += presence;
    albumKey += static_cast<char>('0' + (sortAlbum ? 1 : 0) + (sortAlbumArtist ? 2 : 0) +
                                  (albumRatingComputed ? 4 : 0));
    appendNumber(albumTitle ? albumTitle->size() : 0);
    appendNumber(albumArtist ? albumArtist->size() : 0);
    appendNumber(sortAlbum ? sortAlbum->size() : 0);
    appendNumber(discNumber);
    appendNumber(static_cast<std::uint64_t>(albumRating));
    for (const OptionalText* part : {&albumTitle, &albumArtist, &sortAlbum, &sortAlbumArtist}) {
        if (*part) albumKey += **part;
    }
    const std::uint64_t albumHash = std::hash<std::string_view>{}(albumKey);
    albums_.prefetchSlot(albumHash);
    const std::uint64_t artistHash = artistName ? std::hash<std::string_view>{}(*artistName) : 0;
    if (artistName) artists_.prefetchSlot(artistHash);

    item.setIsCloud(remote);
    item.setIsVideo(traits.hasVideo || traits.movie || traits.tvShow || traits.musicVideo);
    if (location) {
        // The URL is text and made valid like all text; its escapes stand for the bytes of a file
        // name, which on Linux need not be UTF-8, and are kept so that the file is found.
        std::string url(location);
        makeValidUtf8(url);
        if (auto path = LocationMapper::pathFromFileURL(url)) {
            traits.extension = lowercaseExtension(*path);
            // A cloud item has no local file, whatever its URL says.
            if (!remote && !path->empty()) traits.path = std::move(*path);
        }
    }
    albums_.prefetchValue(albumHash);
    if (artistName) artists_.prefetchValue(artistHash);
    item.setCanonicalKind(MediaLibraryReader::canonicalKind(item.kind(), traits.extension));
    if (!persistentIDSet) {
        // Settings are keyed by persistent ID, so an item without one still needs a stable one.
        std::string basis = location ? std::string(location) : std::string();
        for (const OptionalText* part : {&item.title(), static_cast<const OptionalText*>(&artistName),
                                          static_cast<const OptionalText*>(&albumTitle)}) {
            basis += '\x1f';
            if (*part) basis += **part;
        }
        item.setPersistentID(stableID(basis));
    }

    item.setArtist(artistNamed(artistName, artistHash, sortArtist));

    Album* found = albums_.find(albumHash, [&](const Album& candidate) {
        return candidate.discNumber() == discNumber && candidate.isCompilation() == compilation &&
               candidate.rating() == albumRating &&
               candidate.isRatingComputed() == albumRatingComputed &&
               candidate.title() == albumTitle && candidate.albumArtist() == albumArtist &&
               candidate.sortTitle() == sortAlbum && candidate.sortAlbumArtist() == sortAlbumArtist;
    });
    if (!found) {
        // The persistent ID: a stable hash of the parts that say which album it is, written out
        // as text; the same for every object of one album.
        std::string basis(1, presence);
        if (albumTitle) basis += *albumTitle;
        basis += '\x1f';
        if (albumArtist) basis += *albumArtist;
        basis += '\x1f';
        basis += std::to_string(discNumber);
        found = &library_.addAlbum();
        found->setPersistentID(stableID(basis));
        found->setTitle(std::move(albumTitle));
        found->setAlbumArtist(std::move(albumArtist));
        found->setIsCompilation(compilation);
        found->setDiscNumber(discNumber);
        found->setSortTitle(std::move(sortAlbum));
        found->setSortAlbumArtist(std::move(sortAlbumArtist));
        found->setRating(albumRating);
        found->setIsRatingComputed(albumRatingComputed);
        albums_.insert(albumHash, found);
    }
    item.setAlbum(found);

    // Playlists refer to tracks by the inner "Track ID"; the dict's key says the same in files
    // that leave the inner one out.
    if (!trackID) {
        std::int64_t id = 0;
        const auto [end, ec] = std::from_chars(outerKey.data(), outerKey.data() + outerKey.size(), id);
        if (ec == std::errc() && end == outerKey.data() + outerKey.size()) trackID = id;
    }
    const std::size_t index = items_.size();
    items_.push_back(&item);
    traits_.push_back(std::move(traits));
    if (trackID) trackIDs_.emplace_back(*trackID, index);
}

void Builder::indexTrackIDs() {
    if (indexed_) return;
    indexed_ = true;
    if (trackIDs_.empty()) return;
    const auto [low, high] = std::minmax_element(
        trackIDs_.begin(), trackIDs_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto span = static_cast<std::uint64_t>(high->first) - static_cast<std::uint64_t>(low->first);
    // Track IDs are usually close together: a table then beats hashing a few hundred thousand
    // playlist entries. Scattered IDs fall back to a map.
    if (span < 4 * trackIDs_.size() + 1024 && items_.size() < UINT32_MAX) {
        firstID_ = low->first;
        denseIndex_.assign(span + 1, 0);
        for (const auto& [id, index] : trackIDs_) {
            auto& slot = denseIndex_[static_cast<std::size_t>(id - firstID_)];
            if (slot == 0) slot = static_cast<std::uint32_t>(index + 1);  // the first one wins
        }
    } else {
        sparseIndex_.reserve(trackIDs_.size());
        for (const auto& [id, index] : trackIDs_) sparseIndex_.try_emplace(id, index);
    }
}

const MediaItem* Builder::itemForTrackID(std::int64_t id) const {
    if (!denseIndex_.empty()) {
        if (id < firstID_) return nullptr;
        const auto offset = static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(firstID_);
        if (offset >= denseIndex_.size() || denseIndex_[offset] == 0) return nullptr;
        return items_[denseIndex_[offset] - 1];
    }
    const auto found = sparseIndex_.find(id);
    return found == sparseIndex_.end() ? nullptr : items_[found->second];
}

void Builder::readPlaylists(const pugi::xml_node& playlists) {
    for (pugi::xml_node dict = playlists.first_child(); dict; dict = dict.next_sibling()) {
        if (!isElement(dict, "dict")) continue;
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
                indexTrackIDs();
                items.clear();  // a repeated key replaces the earlier value, as for every key
                for (pugi::xml_node entry = value.first_child(); entry; entry = entry.next_sibling()) {
                    forEachEntry(entry, [&](std::string_view itemKey, const pugi::xml_node& id) {
                        if (itemKey != "Track ID") return;
                        const auto trackID = integerValue(id);
                        // Unknown tracks are left out; duplicates are kept in place.
                        if (const MediaItem* item = trackID ? itemForTrackID(*trackID) : nullptr) {
                            items.push_back(item);
                        }
                    });
                }
            }
        });
        if (playlist.persistentID() == 0) {
            // Old libraries name no persistent ID. Ticks, the remembered selection and the
            // unchecked-songs lists are keyed by it, so such playlists must not share 0: the name
            // and how many playlists of that name came before stay the same between exports.
            std::string basis = "\x1ePlaylist\x1f" + playlist.name() + '\x1f';
            basis += std::to_string(playlistsWithoutID_[playlist.name()]++);
            playlist.setPersistentID(stableID(basis));
        }
        switch (playlist.distinguishedKind()) {
            case distinguished_kind::Audiobooks: audiobooks_.insert(items.begin(), items.end()); break;
            case distinguished_kind::VoiceMemos: voiceMemos_.insert(items.begin(), items.end()); break;
            case distinguished_kind::Ringtones: tones_.insert(items.begin(), items.end()); break;
            default: break;
        }
        playlist.setItems(std::move(items));
    }
}

void Builder::startMapping(const LibraryOpenOptions& options) {
    mapper_.emplace(library_.musicFolder(), options);
    nextToMap_ = 0;
}

void Builder::mapLocations() {
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

void Builder::finish() {
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

// ---------------------------------------------------------------------------------------------
// Error reports.

// Whether a parse error at `offset` is where a file cut short would fail: at its very end, or
// inside a last tag that never closes. `tail` is the end of the text as it was before parsing.
bool endsWithin(std::size_t offset, std::size_t size, std::string_view tail) {
    if (offset + 1 >= size) return true;
    const std::size_t tailStart = size - tail.size();
    return offset >= tailStart && tail.substr(offset - tailStart).find('>') == std::string_view::npos;
}

// ---------------------------------------------------------------------------------------------

struct FileCloser {
    void operator()(const int* fd) const {
        if (fd) ::close(*fd);
    }
};

std::string quoted(const std::filesystem::path& file) {
    std::string text(1, '"');
    text.append(file.string()).push_back('"');
    return text;
}

}  // namespace

MediaLibraryReader::MediaLibraryReader(LibraryOpenOptions options) : options_(std::move(options)) {}

OptionalText MediaLibraryReader::canonicalKind(const OptionalText& kind, std::string_view extension) {
    // Apple's English kind texts. Music.app writes some of them with no-break spaces
    // ("Apple Music AAC audio file"), which compare as plain spaces.
    static constexpr std::array<std::string_view, 16> kEnglishKinds{
        "MPEG audio file",
        "AAC audio file",
        "Purchased AAC audio file",
        "Protected AAC audio file",
        "Matched AAC audio file",
        "Apple Music AAC audio file",
        "Apple Lossless audio file",
        "WAV audio file",
        "AIFF audio file",
        "MPEG-4 video file",
        "Purchased MPEG-4 video file",
        "Protected MPEG-4 video file",
        "QuickTime movie file",
        "MPEG audio stream",
        "Internet audio stream",
        "Audible file",
    };
    if (kind && kind->find("\xC2\xA0") == std::string::npos) {
        if (std::find(kEnglishKinds.begin(), kEnglishKinds.end(), *kind) != kEnglishKinds.end()) {
            return kind;
        }
    } else if (kind) {
        std::string plain;
        plain.reserve(kind->size());
        for (std::size_t i = 0; i < kind->size(); ++i) {
            if ((*kind)[i] == '\xC2' && i + 1 < kind->size() && (*kind)[i + 1] == '\xA0') {
                plain += ' ';
                ++i;
            } else {
                plain += (*kind)[i];
            }
        }
        if (std::find(kEnglishKinds.begin(), kEnglishKinds.end(), plain) != kEnglishKinds.end()) {
            return plain;
        }
    }
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kByExtension{{
        {".mp3", "MPEG audio file"},
        {".m4p", "Protected AAC audio file"},
        {".aac", "AAC audio file"},
        {".wav", "WAV audio file"},
        {".aif", "AIFF audio file"},
        {".aiff", "AIFF audio file"},
        {".aifc", "AIFF audio file"},
        {".m4v", "MPEG-4 video file"},
        {".mov", "QuickTime movie file"},
    }};
    for (const auto& [ext, text] : kByExtension) {
        if (ext == extension) return std::string(text);
    }
    // An MPEG-4 file holds AAC or Apple Lossless, and a localised text need not say which in a
    // way the conversion rules see; nor does a file without extension tell. Those are probed.
    if (!kind || extension.empty() || oneOf(extension, {".m4a", ".m4b", ".m4r", ".mp4"})) {
        return std::nullopt;
    }
    // Any other kind (FLAC, Ogg, ...) is a format of its own: kept as the library gives it, so
    // that it is not mistaken for a missing kind.
    return kind;
}

std::unique_ptr<MediaLibrary> MediaLibraryReader::readFile(const std::filesystem::path& file,
                                                           std::string& error) const {
    // Not blocking: opening a FIFO would otherwise wait for a writer for ever. What it is is
    // checked below, before anything is read.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "Cannot read the library file " + quoted(file) + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<const int, FileCloser> closer(&fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = "Cannot read the library file " + quoted(file) + ": " + std::strerror(errno);
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "Cannot read the library file " + quoted(file) + ": it is a folder";
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "Cannot read the library file " + quoted(file) + ": it is not a regular file";
        return nullptr;
    }
    // Read into one buffer that the parser then works on in place: no second copy of a file
    // that may be hundreds of megabytes.
    const auto size = static_cast<std::size_t>(info.st_size);
    std::unique_ptr<char[]> buffer;
    try {
        buffer = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(size, 1));
    } catch (const std::bad_alloc&) {
        error = "Cannot read the library file " + quoted(file) + ": it is too large for memory";
        return nullptr;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer.get() + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "Cannot read the library file " + quoted(file) + ": " + std::strerror(errno);
            return nullptr;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return parse(buffer.get(), done, file, error);
}

std::unique_ptr<MediaLibrary> MediaLibraryReader::readText(std::string text,
                                                           const std::filesystem::path& name,
                                                           std::string& error) const {
    return parse(text.data(), text.size(), name, error);
}

std::unique_ptr<MediaLibrary> MediaLibraryReader::parse(char* data, std::size_t size,
                                                        const std::filesystem::path& name,
                                                        std::string& error) const {
    const std::string prefix = "The library file " + quoted(name);
    if (size == 0) {
        error = prefix + " is empty";
        return nullptr;
    }
    // Minimal parsing (no declaration, doctype or comments kept) with text embedded in its
    // element: half the nodes, which matters for files of 100,000 tracks.
    constexpr unsigned kParseOptions = pugi::parse_minimal | pugi::parse_escapes | pugi::parse_eol |
                                       pugi::parse_embed_pcdata | pugi::parse_ws_pcdata_single;
    auto library = std::make_unique<MediaLibrary>();
    library->setSourceFile(name);
    Builder builder(*library);
    // Room for about as many tracks as a file of this size holds, to spare regrowing.
    builder.reserve(size / 1024);
    // The parser writes into the text; keep the end as it was, to tell a cut-short file.
    const std::string originalTail(data + size - std::min<std::size_t>(size, 4096), data + size);

    // Where the tracks were taken out of the text, to give error offsets in the file as it is.
    std::size_t removedAt = 0, removed = 0;
    if (TrackScanner scanner(std::string_view(data, size)); scanner.start()) {
        // Slices of about a megabyte of whole tracks. Each is found and parsed on a second thread
        // while the tracks of the one before are read into the library.
        constexpr std::size_t kSliceBytes = 1 << 20;
        struct Slice {
            std::size_t begin = 0;
            pugi::xml_parse_result result;
            bool last = false;
        };
        std::array<pugi::xml_document, 2> documents;
        const auto scanAndParse = [&](std::size_t k) {
            Slice slice;
            const auto range = scanner.nextSlice(kSliceBytes);
            if (!range) {
                slice.last = true;
                return slice;
            }
            slice.begin = range->first;
            slice.result = documents[k % 2].load_buffer_inplace(
                data + range->first, range->second - range->first,
                kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
            return slice;
        };
        const auto startSlice = [&](std::size_t k) {
            try {
                return std::async(std::launch::async, scanAndParse, k);
            } catch (const std::system_error&) {
                return std::async(std::launch::deferred, scanAndParse, k);  // no thread to spare
            }
        };
        std::future<Slice> next = startSlice(0);
        for (std::size_t k = 0;; ++k) {
            const Slice slice = next.get();
            if (slice.last) break;
            if (!slice.result) {
                error = prefix + " is not valid XML: " + slice.result.description() +
                        " at byte offset " +
                        std::to_string(slice.begin + static_cast<std::size_t>(slice.result.offset));
                return nullptr;
            }
            next = startSlice(k + 1);
            builder.readTracks(documents[k % 2]);
        }
        if (scanner.failure() != TrackScanner::Failure::None) {
            // The parser says best what is wrong: let it read the rest of the tracks.
            const std::size_t from = scanner.pending();
            const pugi::xml_parse_result result = documents[0].load_buffer_inplace(
                data + from, size - from, kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
            const std::size_t offset =
                from + static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
            if (scanner.failure() == TrackScanner::Failure::CutShort &&
                (result || endsWithin(offset, size, originalTail))) {
                error = prefix + " is truncated: it ends at byte " + std::to_string(size) +
                        " before the XML is complete";
            } else if (!result && offset < scanner.failureOffset()) {
                error = prefix + " is not valid XML: " + result.description() + " at byte offset " +
                        std::to_string(offset);
            } else {
                error = prefix + " is not valid XML: unexpected tag at byte offset " +
                        std::to_string(scanner.failureOffset());
            }
            return nullptr;
        }
        for (auto& document : documents) document.reset();
        // The tracks are read: the rest of the document is parsed without them.
        removedAt = scanner.begin();
        removed = scanner.end() - scanner.begin();
        std::memmove(data + scanner.begin(), data + scanner.end(), size - scanner.end());
        size -= removed;
    }

    // The same for what is left to parse.
    const std::string tail(data + size - std::min<std::size_t>(size, 4096), data + size);
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_buffer_inplace(data, size, kParseOptions, pugi::encoding_auto);
    if (!result) {
        const auto offset = std::min(
            static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), size);
        if (document.first_child() && endsWithin(offset, size, tail)) {
            error = prefix + " is truncated: it ends at byte " + std::to_string(size + removed) +
                    " before the XML is complete";
        } else {
            error = prefix + " is not valid XML: " + result.description() + " at byte offset " +
                    std::to_string(offset >= removedAt ? offset + removed : offset);
        }
        return nullptr;
    }
    const pugi::xml_node root = document.document_element();
    if (!isElement(root, "plist")) {
        error = prefix + " is not a property list: its root element is <" + root.name() +
                ">, not <plist>";
        return nullptr;
    }
    pugi::xml_node top = root.first_child();
    while (top && top.type() != pugi::node_element) top = top.next_sibling();
    pugi::xml_node tracks, playlists;
    OptionalText musicFolder;
    if (top && isElement(top, "dict")) {
        forEachEntry(top, [&](std::string_view key, const pugi::xml_node& value) {
            if (key == "Tracks" && isElement(value, "dict")) tracks = value;
            else if (key == "Playlists" && isElement(value, "array")) playlists = value;
            else if (key == "Music Folder") musicFolder = textValue(value);
        });
    }
    if (!tracks && !playlists) {
        error = prefix + " is a property list but not a music library: it has no \"Tracks\" and "
                         "no \"Playlists\"";
        return nullptr;
    }

    library->setMusicFolder(std::move(musicFolder));
    if (tracks) builder.readTracks(tracks);
    // The locations are mapped on a second thread while the playlists are read, then by both.
    builder.startMapping(options_);
    std::future<void> mapping;
    try {
        mapping = std::async(std::launch::async, [&builder] { builder.mapLocations(); });
    } catch (const std::system_error&) {
        // No thread to spare: this thread maps them all below.
    }
    if (playlists) builder.readPlaylists(playlists);
    builder.mapLocations();
    if (mapping.valid()) mapping.get();
    builder.finish();
    return library;
}

std::unique_ptr<MediaLibrary> MediaLibrary::initWithContentsOfFile(const std::filesystem::path& file,
                                                                   const LibraryOpenOptions& options,
                                                                   std::string& error) {
    return MediaLibraryReader(options).readFile(file, error);
}

}  // namespace kelvara
