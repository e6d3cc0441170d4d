#include "listing/FXCsvExporter.h"

#include <algorithm>

#include "library/KvrSongInfo.h"
#include "listing/CHCSVWriter.h"
#include "listing/FileOutputStream.h"
#include "listing/ListingColumn.h"
#include "listing/ListingFile.h"

namespace kelvara {

Status FXCsvExporter::createCSVWithVisibleColumns(std::vector<std::string> columns,
                                                  const std::filesystem::path& url,
                                                  bool isPlaylist) {
    plMode_ = isPlaylist;
    visibleColumns_ = std::move(columns);
    return createCSVFileToURL(url);
}

std::vector<const MediaItem*> FXCsvExporter::sortedSongs() const {
    std::vector<std::pair<const ListingColumn*, bool>> keys;
    for (const ListingSortKey& key : sortDescriptors_)
        if (const ListingColumn* column = ListingColumn::forIdentifier(key.identifier, plMode_))
            keys.emplace_back(column, key.ascending);
    std::vector<const MediaItem*> songs = songs_;
    if (keys.empty()) return songs;
    std::stable_sort(songs.begin(), songs.end(), [&keys](const MediaItem* a, const MediaItem* b) {
        for (const auto& [column, ascending] : keys) {
            const int order = column->compare(*a, *b);
            if (order != 0) return ascending ? order < 0 : order > 0;
        }
        return false;
    });
    return songs;
}

Status FXCsvExporter::createCSVFileToURL(const std::filesystem::path& url) {
    const std::vector<const ListingColumn*> columns =
        ListingColumn::resolve(visibleColumns_, plMode_);
    const std::vector<const MediaItem*> songs = sortedSongs();

    auto created = createListingFile(url);
    if (!created.ok()) return created.status();
    const auto& file = *created;
    {
        CHCSVWriter writer(std::make_unique<FileOutputStream>(file->fd()), "UTF-8", u',');
        for (const ListingColumn* column : columns) writer.writeField(column->csvHeader);
        writer.finishLine();

        std::string scratch;
        for (const MediaItem* song : songs) {
            for (const ListingColumn* column : columns) {
                const ListingValue value = column->value(*song, scratch);
                switch (value.kind) {
                    case ListingValue::Kind::Absent:
                        writer.writeField(std::monostate{});
                        break;
                    case ListingValue::Kind::Text:
                        writer.writeField(value.text);
                        break;
                    case ListingValue::Kind::Number:
                        writer.writeField(value.number);
                        break;
                    case ListingValue::Kind::Date:
                        writer.writeField(value.date);
                        break;
                }
            }
            writer.finishLine();
        }
        writer.closeStream();
        if (!writer.streamError().empty())
            return errorStatus("Cannot write " + url.string() + ": " + writer.streamError());
    }
    return file->commit();
}

std::string FXCsvExporter::getTimeStringFromSec(std::uint64_t seconds) {
    return KvrSongInfo::formatDuration(seconds);
}

}  // namespace kelvara
