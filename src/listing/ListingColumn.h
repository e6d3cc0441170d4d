#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/LibraryTypes.h"
#include "library/MediaItem.h"

namespace kelvara {

// One value of a listing cell. Text views point into the media item or into the caller's
// scratch string, so reading a value allocates nothing for most columns.
struct ListingValue {
    enum class Kind { Absent, Text, Number, Date };
    Kind kind = Kind::Absent;
    std::string_view text;
    std::int64_t number = 0;
    Date date{};
};

// A column the song lists can show, with what both listings write for it: the CSV and the
// spreadsheet header texts, the spreadsheet width and cell kind, and how the value is read.
class ListingColumn {
  public:
    enum class Field {
        Title,
        Artist,
        Time,
        Album,
        Genre,
        Year,
        Kind,
        Bitrate,
        Path,
        Track,
        Disc,
        PlayCount,
        Bpm,
        AlbumArtist,
        SortArtist,
        SortAlbum,
        SortTitle,
        SortAlbumArtist,
        Composer,
        SortComposer,
        Comments,
        Description,
        Rating,
        ReleaseDate,
        LastPlayedDate,
        AddedDate,
        ModifiedDate,
    };
    enum class Cell { Text, Number, Date };

    Field field;
    std::string_view csvHeader;
    std::string_view excelHeader;
    double width;  // in characters
    Cell cell;

    // The column a song list identifier stands for, or nullptr for one no listing knows.
    // "albumArtist" is the album artist in a playlist listing and the artist in an album listing.
    static const ListingColumn* forIdentifier(std::string_view identifier, bool plMode);

    // The known columns of `identifiers`, in order; unknown identifiers take no place.
    static std::vector<const ListingColumn*> resolve(const std::vector<std::string>& identifiers,
                                                     bool plMode);

    // Every identifier the song lists use, in the order of the playlist song list.
    static const std::vector<std::string>& identifiers();

    // Numbers reached through an absent album read as 0, texts through one as absent.
    ListingValue value(const MediaItem& item, std::string& scratch) const;

    // Orders two items by this column: texts as a file browser orders names, numbers and dates
    // by value, the time by duration; an absent value comes first.
    int compare(const MediaItem& a, const MediaItem& b) const;
};

}  // namespace kelvara
