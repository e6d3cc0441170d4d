#include "listing/ListingColumn.h"

#include <array>

#include "library/KvrSongInfo.h"
#include "platform/TextCompare.h"

namespace kelvara {
namespace {

using Field = ListingColumn::Field;
using Cell = ListingColumn::Cell;

constexpr std::array kColumns{
    ListingColumn{Field::Title, "Title", "Title", 35, Cell::Text},
    ListingColumn{Field::Artist, "Artist", "Artist", 25, Cell::Text},
    ListingColumn{Field::Time, "Time", "Time", 14, Cell::Text},
    ListingColumn{Field::Album, "Album", "Album", 30, Cell::Text},
    ListingColumn{Field::Genre, "Genre", "Genre", 15, Cell::Text},
    ListingColumn{Field::Year, "Year", "Year", 8, Cell::Number},
    ListingColumn{Field::Kind, "Kind", "Kind", 20, Cell::Text},
    // The spreadsheet header has always lacked its closing parenthesis; users' sheets match it.
    ListingColumn{Field::Bitrate, "Bitrate", "Bitrate (kbps", 17, Cell::Number},
    ListingColumn{Field::Path, "Path", "Path", 55, Cell::Text},
    ListingColumn{Field::Track, "Track", "Track", 6, Cell::Number},
    ListingColumn{Field::Disc, "Disc", "Disc", 6, Cell::Number},
    ListingColumn{Field::PlayCount, "Play count", "Play count", 9, Cell::Number},
    ListingColumn{Field::Bpm, "BPM", "BPM", 9, Cell::Number},
    ListingColumn{Field::AlbumArtist, "Album Artist", "Album Artist", 20, Cell::Text},
    ListingColumn{Field::SortArtist, "Sort Artist", "Sort Artist", 20, Cell::Text},
    // As wide as the other sort columns.
    ListingColumn{Field::SortAlbum, "Sort Album", "Sort Album", 20, Cell::Text},
    ListingColumn{Field::SortTitle, "Sort Title", "Sort Title", 20, Cell::Text},
    ListingColumn{Field::SortAlbumArtist, "Sort Album Artist", "Sort Album Artist", 20, Cell::Text},
    ListingColumn{Field::Composer, "Composer", "Composer", 20, Cell::Text},
    ListingColumn{Field::SortComposer, "Sort Composer", "Sort Composer", 20, Cell::Text},
    ListingColumn{Field::Comments, "Comments", "Comments", 20, Cell::Text},
    ListingColumn{Field::Description, "Description", "Description", 20, Cell::Text},
    ListingColumn{Field::Rating, "Rating", "Rating", 17, Cell::Number},
    ListingColumn{Field::ReleaseDate, "Release Date", "Release Date", 20, Cell::Date},
    // The CSV header keeps its historical spelling without a blank.
    ListingColumn{Field::LastPlayedDate, "LastPlayed Date", "Last Played Date", 20, Cell::Date},
    ListingColumn{Field::AddedDate, "Added Date", "Added Date", 20, Cell::Date},
    ListingColumn{Field::ModifiedDate, "Modified Date", "Modified Date", 20, Cell::Date},
};

const ListingColumn& column(Field field) { return kColumns[static_cast<std::size_t>(field)]; }

struct Alias {
    std::string_view identifier;
    Field field;
};

// "albumArtist" is not here: its meaning depends on the listing's mode.
constexpr std::array kAliases{
    Alias{"title", Field::Title},
    Alias{"albumTitle", Field::Title},
    Alias{"artist", Field::Artist},
    Alias{"time", Field::Time},
    Alias{"albumTime", Field::Time},
    Alias{"album", Field::Album},
    Alias{"albumAlbum", Field::Album},
    Alias{"genre", Field::Genre},
    Alias{"albumGenre", Field::Genre},
    Alias{"year", Field::Year},
    Alias{"kind", Field::Kind},
    Alias{"bitrate", Field::Bitrate},
    Alias{"path", Field::Path},
    Alias{"track", Field::Track},
    Alias{"disk", Field::Disc},
    Alias{"playCount", Field::PlayCount},
    Alias{"bpm", Field::Bpm},
    Alias{"albumAlbumArtist", Field::AlbumArtist},
    Alias{"sortArtist", Field::SortArtist},
    Alias{"sortAlbum", Field::SortAlbum},
    Alias{"sortTitle", Field::SortTitle},
    Alias{"sortAlbumArtist", Field::SortAlbumArtist},
    Alias{"composer", Field::Composer},
    Alias{"sortComposer", Field::SortComposer},
    Alias{"comments", Field::Comments},
    Alias{"description", Field::Description},
    Alias{"rating", Field::Rating},
    Alias{"releaseDate", Field::ReleaseDate},
    Alias{"lastPlayedDate", Field::LastPlayedDate},
    Alias{"addedDate", Field::AddedDate},
    Alias{"modifiedDate", Field::ModifiedDate},
};

static_assert([] {
    for (std::size_t i = 0; i < kColumns.size(); ++i)
        if (static_cast<std::size_t>(kColumns[i].field) != i) return false;
    return true;
}());

ListingValue text(const OptionalText& value) {
    if (!value) return {};
    return {ListingValue::Kind::Text, *value, 0, {}};
}

ListingValue number(std::int64_t value) { return {ListingValue::Kind::Number, {}, value, {}}; }

ListingValue date(const std::optional<Date>& value) {
    if (!value) return {};
    return {ListingValue::Kind::Date, {}, 0, *value};
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

const ListingColumn* ListingColumn::forIdentifier(std::string_view identifier, bool plMode) {
    if (identifier == "albumArtist") return &column(plMode ? Field::AlbumArtist : Field::Artist);
    for (const Alias& alias : kAliases)
        if (alias.identifier == identifier) return &column(alias.field);
    return nullptr;
}

std::vector<const ListingColumn*> ListingColumn::resolve(
    const std::vector<std::string>& identifiers, bool plMode) {
    std::vector<const ListingColumn*> columns;
    for (const std::string& identifier : identifiers)
        if (const ListingColumn* known = forIdentifier(identifier, plMode))
            columns.push_back(known);
    return columns;
}

const std::vector<std::string>& ListingColumn::identifiers() {
    static const std::vector<std::string> all = {"title",        "artist",
                                                 "time",         "album",
                                                 "genre",        "year",
                                                 "kind",         "bitrate",
                                                 "path",         "track",
                                                 "disk",         "playCount",
                                                 "bpm",          "albumArtist",
                                                 "sortArtist",   "sortAlbum",
                                                 "sortTitle",    "sortAlbumArtist",
                                                 "composer",     "sortComposer",
                                                 "releaseDate",  "addedDate",
                                                 "modifiedDate", "lastPlayedDate",
                                                 "comments",     "description",
                                                 "rating",       "albumTitle",
                                                 "albumTime",    "albumAlbum",
                                                 "albumGenre",   "albumAlbumArtist"};
    return all;
}

ListingValue ListingColumn::value(const MediaItem& item, std::string& scratch) const {
    const Album* album = item.album();
    const Artist* artist = item.artist();
    switch (field) {
        case Field::Title:
            return text(item.title());
        case Field::Artist:
            return artist ? text(artist->name()) : ListingValue{};
        case Field::Time:
            scratch = KvrSongInfo::formatDuration(item.totalTime() / 1000);
            return {ListingValue::Kind::Text, scratch, 0, {}};
        case Field::Album:
            return album ? text(album->title()) : ListingValue{};
        case Field::Genre:
            return text(item.genre());
        case Field::Year:
            return number(item.year());
        case Field::Kind:
            return text(item.kind());
        case Field::Bitrate:
            return number(item.bitrate());
        case Field::Path: {
            const auto& location = item.location();
            if (!location) return {};
            return {ListingValue::Kind::Text, location->native(), 0, {}};
        }
        case Field::Track:
            return number(item.trackNumber());
        case Field::Disc:
            return number(album ? album->discNumber() : 0);
        case Field::PlayCount:
            return number(item.playCount());
        case Field::Bpm:
            return number(item.beatsPerMinute());
        case Field::AlbumArtist:
            return album ? text(album->albumArtist()) : ListingValue{};
        case Field::SortArtist:
            return artist ? text(artist->sortName()) : ListingValue{};
        case Field::SortAlbum:
            return album ? text(album->sortTitle()) : ListingValue{};
        case Field::SortTitle:
            return text(item.sortTitle());
        case Field::SortAlbumArtist:
            return album ? text(album->sortAlbumArtist()) : ListingValue{};
        case Field::Composer:
            return text(item.composer());
        case Field::SortComposer:
            return text(item.sortComposer());
        case Field::Comments:
            return text(item.comments());
        case Field::Description:
            return text(item.description());
        case Field::Rating:
            return number(item.rating());
        case Field::ReleaseDate:
            return date(item.releaseDate());
        case Field::LastPlayedDate:
            return date(item.lastPlayedDate());
        case Field::AddedDate:
            return date(item.addedDate());
        case Field::ModifiedDate:
            return date(item.modifiedDate());
    }
    return {};
}

int ListingColumn::compare(const MediaItem& a, const MediaItem& b) const {
    if (field == Field::Time) return threeWay(a.totalTime(), b.totalTime());
    std::string scratchA, scratchB;
    const ListingValue left = value(a, scratchA);
    const ListingValue right = value(b, scratchB);
    const bool leftAbsent = left.kind == ListingValue::Kind::Absent;
    const bool rightAbsent = right.kind == ListingValue::Kind::Absent;
    if (leftAbsent || rightAbsent) return threeWay(!leftAbsent, !rightAbsent);
    switch (left.kind) {
        case ListingValue::Kind::Text:
            return localizedStandardCompare(left.text, right.text);
        case ListingValue::Kind::Number:
            return threeWay(left.number, right.number);
        case ListingValue::Kind::Date:
            return threeWay(left.date, right.date);
        case ListingValue::Kind::Absent:
            break;
    }
    return 0;
}

}  // namespace kelvara
