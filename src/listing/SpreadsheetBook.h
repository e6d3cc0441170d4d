#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "listing/SpreadsheetFormat.h"
#include "platform/Status.h"

namespace kelvara {

// A workbook of sheets written one after another, cell by cell: addSheet() ends the sheet before
// and starts the one that takes the column widths and cells from then on. Within a sheet, rows
// must come in ascending order (cells of one row in any order), which lets both formats stream
// rows instead of holding the sheet.
class SpreadsheetBook {
  public:
    using FormatId = int;

    virtual ~SpreadsheetBook() = default;

    // The workbook's default font; formats use it at the same size.
    virtual void setDefaultFont(const std::string& name, double size) = 0;
    virtual FormatId addFormat(const SpreadsheetFormat& format) = 0;
    // Sheet names must differ.
    virtual void addSheet(const std::string& name) = 0;
    virtual void setColumnWidth(std::uint16_t column, double characters) = 0;

    // Text longer than a cell can hold (32,767 UTF-16 units) is cut there. Empty text leaves a
    // formatted blank cell.
    virtual void writeString(std::uint32_t row, std::uint16_t column, std::string_view utf8,
                             FormatId format) = 0;
    virtual void writeNumber(std::uint32_t row, std::uint16_t column, double value,
                             FormatId format) = 0;

    // The number of rows a sheet can have.
    virtual std::uint32_t maxRows() const = 0;

    // Writes the file. Fails with a message naming it when it cannot.
    virtual Status save() = 0;

    static constexpr std::size_t kMaxCellText = 32767;
};

}  // namespace kelvara
