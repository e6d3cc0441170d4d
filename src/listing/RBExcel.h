#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "library/LibraryTypes.h"
#include "library/MediaItem.h"
#include "platform/Status.h"

namespace kelvara {

// A song listing as a spreadsheet, XLS or XLSX: a sheet "Songs" with a header row in bold on light
// green, then one row per song in the order handed over. Songs that do not fit on a sheet (65,535
// in XLS, 1,048,575 in XLSX) go on in sheets "Songs 2", "Songs 3", ... each with the same header
// row and column widths.
class RBExcel {
  public:
    bool xlsMode() const { return xlsMode_; }
    void setXlsMode(bool value) { xlsMode_ = value; }
    bool plMode() const { return plMode_; }
    void setPlMode(bool value) { plMode_ = value; }

    const std::vector<const MediaItem*>& arrayController() const { return songs_; }
    void setArrayController(std::vector<const MediaItem*> songs) { songs_ = std::move(songs); }

    const std::vector<std::string>& visibleColumns() const { return visibleColumns_; }
    void setVisibleColumns(std::vector<std::string> columns) {
        visibleColumns_ = std::move(columns);
    }

    // "Playlists" or "Albums"; the workbook does not show it.
    const std::string& title() const { return title_; }
    void setTitle(std::string value) { title_ = std::move(value); }

    // The entry point, once the front end has asked where to save.
    Status createExcelIsXMl(bool isXlsx, std::vector<std::string> columns, bool isPlaylist,
                            const std::filesystem::path& url);

    // Builds the workbook under a temporary name and renames it into place when complete.
    // Fails with a message naming the file when it cannot be written.
    Status createExcelFileToURL(const std::filesystem::path& url);

    static std::string getTimeStringFromSec(std::uint64_t seconds);

    // The spreadsheet serial number (days since 1899-12-30, with the 1900 leap-day quirk) of a
    // calendar moment.
    static double datePack(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second);
    // The serial number of `date` as a clock in the user's time zone shows it.
    static double localSerialDate(Date date);

  private:
    bool xlsMode_ = false;
    bool plMode_ = true;
    std::vector<const MediaItem*> songs_;
    std::vector<std::string> visibleColumns_;
    std::string title_;
};

}  // namespace kelvara
