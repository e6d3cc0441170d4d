#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "library/MediaItem.h"
#include "listing/ListingSortKey.h"
#include "platform/Status.h"

namespace kelvara {

// A song listing as CSV: a header line with the visible columns' titles, then one line per song.
class FXCsvExporter {
  public:
    bool plMode() const { return plMode_; }
    void setPlMode(bool value) { plMode_ = value; }

    // The songs in the order the browser collected them.
    const std::vector<const MediaItem*>& arrayController() const { return songs_; }
    void setArrayController(std::vector<const MediaItem*> songs) { songs_ = std::move(songs); }

    const std::vector<ListingSortKey>& sortDescriptors() const { return sortDescriptors_; }
    void setSortDescriptors(std::vector<ListingSortKey> keys) {
        sortDescriptors_ = std::move(keys);
    }

    const std::vector<std::string>& visibleColumns() const { return visibleColumns_; }
    void setVisibleColumns(std::vector<std::string> columns) {
        visibleColumns_ = std::move(columns);
    }

    // The entry point, once the front end has asked where to save: stores the mode and the
    // columns and writes the listing to `url`.
    Status createCSVWithVisibleColumns(std::vector<std::string> columns,
                                       const std::filesystem::path& url, bool isPlaylist);

    // Writes the listing under a temporary name and renames it into place when complete.
    // Fails with a message naming the file when it cannot be written.
    Status createCSVFileToURL(const std::filesystem::path& url);

    // The songs in listing order: sorted by the sort keys, ties kept in their given order.
    // Keys that name no column are passed over.
    std::vector<const MediaItem*> sortedSongs() const;

    static std::string getTimeStringFromSec(std::uint64_t seconds);

  private:
    bool plMode_ = true;
    std::vector<const MediaItem*> songs_;
    std::vector<ListingSortKey> sortDescriptors_;
    std::vector<std::string> visibleColumns_;
};

}  // namespace kelvara
