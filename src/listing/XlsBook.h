#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "listing/BiffBuffer.h"
#include "listing/BiffSharedStrings.h"
#include "listing/OutputStream.h"
#include "listing/SpreadsheetBook.h"

namespace kelvara {

// An XLS workbook: BIFF8 records in the "Workbook" stream of a compound file. The globals hold
// the fonts, cell formats (XF records) and the shared strings; each sheet holds its column widths
// and its cells. Cells are kept in encoded form, a block of 32 rows at a time in order.
class XlsBook final : public SpreadsheetBook {
  public:
    // Writes to `out` at save(); `shownAs` names the file in messages.
    XlsBook(OutputStream& out, std::string shownAs);

    void setDefaultFont(const std::string& name, double size) override;
    FormatId addFormat(const SpreadsheetFormat& format) override;
    void addSheet(const std::string& name) override;
    void setColumnWidth(std::uint16_t column, double characters) override;
    void writeString(std::uint32_t row, std::uint16_t column, std::string_view utf8,
                     FormatId format) override;
    void writeNumber(std::uint32_t row, std::uint16_t column, double value,
                     FormatId format) override;
    std::uint32_t maxRows() const override { return kMaxRows; }
    Status save() override;

    static constexpr std::uint32_t kMaxRows = 65536;
    static constexpr std::uint16_t kMaxColumns = 256;

  private:
    struct Font {
        std::string name;
        bool bold = false;
    };
    struct Sheet {
        std::string name;
        std::vector<std::pair<std::uint16_t, std::uint16_t>>
            columnWidths;  // column, 1/256 character
        BiffBuffer cells;  // ROW and cell records of every finished block
        bool anyCell = false;
        std::uint32_t firstRow = 0, endRow = 0;
        std::uint16_t firstColumn = 0, endColumn = 0;
    };
    struct Cell {
        std::uint32_t row;
        std::uint16_t column;
        std::uint16_t xf;
        enum class Kind : std::uint8_t { Blank, String, Number } kind;
        std::uint32_t sst;
        double number;
    };

    std::uint16_t fontIndex(const SpreadsheetFormat& format);
    std::uint16_t xfFor(FormatId format) const;
    bool accept(std::uint32_t row, std::uint16_t column);
    void flushBlock();
    void writeGlobals(BiffBuffer& out, std::vector<std::size_t>& sheetOffsetsAt) const;
    void writeFonts(BiffBuffer& out) const;
    void writeCellFormats(BiffBuffer& out) const;
    static void writeSheetStart(BiffBuffer& out, const Sheet& sheet);
    static void writeSheetEnd(BiffBuffer& out, bool selected);

    OutputStream& out_;
    std::string shownAs_;
    std::uint16_t defaultFontHeight_ = 220;  // twips
    std::vector<Font> fonts_;
    std::vector<std::pair<SpreadsheetFormat, std::uint16_t>> formats_;  // with their font index
    BiffSharedStrings strings_;

    std::vector<Sheet> sheets_;  // the last one takes the cells
    std::vector<Cell> block_;    // cells of the last sheet's current block
    std::uint32_t blockStart_ = 0;
    bool outOfOrder_ = false;
};

}  // namespace kelvara
