#include "listing/XlsBook.h"

#include <algorithm>
#include <cmath>

#include "listing/BiffText.h"
#include "listing/CompoundFileWriter.h"

namespace kelvara {
namespace {

enum Record : std::uint16_t {
    kBof = 0x0809,
    kEof = 0x000A,
    kCodePage = 0x0042,
    kWindow1 = 0x003D,
    kDateMode = 0x0022,
    kFont = 0x0031,
    kXf = 0x00E0,
    kStyle = 0x0293,
    kBoundSheet = 0x0085,
    kDefColWidth = 0x0055,
    kColInfo = 0x007D,
    kDimensions = 0x0200,
    kRow = 0x0208,
    kBlank = 0x0201,
    kLabelSst = 0x00FD,
    kRk = 0x027E,
    kNumber = 0x0203,
    kWindow2 = 0x023E,
};

constexpr std::uint16_t kStyleXfs = 15;       // XF 0 to 14: the built-in cell styles
constexpr std::uint16_t kDefaultCellXf = 15;  // the plain cell format
constexpr std::uint16_t kFirstOwnXf = 16;
constexpr std::uint8_t kAutomaticColour = 64;
constexpr std::uint8_t kAutomaticBackground = 65;
constexpr std::uint32_t kRowsPerBlock = 32;

void bof(BiffBuffer& out, std::uint16_t kind) {
    const std::size_t r = out.beginRecord(kBof);
    out.put16(0x0600);  // BIFF8
    out.put16(kind);
    out.put16(0x0DBB);  // build
    out.put16(0x07CC);  // year
    out.put32(0);       // file history
    out.put32(0x0006);  // lowest version that can read the file: BIFF8
    out.endRecord(r);
}

void shortUnicodeString(BiffBuffer& out, std::string_view utf8) {
    const std::vector<char16_t> units = biffUtf16(utf8, 255);
    const bool wide = !biffFitsCompressed(units);
    out.put8(static_cast<std::uint8_t>(units.size()));
    out.put8(wide ? 1 : 0);
    for (const char16_t unit : units) {
        if (wide)
            out.put16(unit);
        else
            out.put8(static_cast<std::uint8_t>(unit));
    }
}

// The style XFs Excel expects before any cell XF: "Normal" and the fourteen outline styles.
void styleXf(BiffBuffer& out, bool normal) {
    const std::size_t r = out.beginRecord(kXf);
    out.put16(0);       // font
    out.put16(0);       // number format
    out.put16(0xFFF5);  // locked, style, no parent
    out.put8(0x20);     // bottom aligned
    out.put8(0);
    out.put8(0);
    out.put8(normal ? 0x00 : 0xF4);  // outline styles take every attribute but the number format
    out.put32(0);
    out.put32(0);
    out.put16(kAutomaticColour | (kAutomaticBackground << 7));
    out.endRecord(r);
}

// The code page, the window and the date system: the same in every book.
void writeBookSettings(BiffBuffer& out) {
    std::size_t r = out.beginRecord(kCodePage);
    out.put16(1200);  // texts are UTF-16
    out.endRecord(r);

    r = out.beginRecord(kWindow1);
    out.put16(0x0000);
    out.put16(0x0000);
    out.put16(0x4000);
    out.put16(0x2000);
    out.put16(0x0038);  // show the horizontal and vertical scroll bars and the sheet tabs
    out.put16(0);       // active sheet
    out.put16(0);       // first visible tab
    out.put16(1);       // selected tabs
    out.put16(600);     // tab bar width ratio, per mille
    out.endRecord(r);

    r = out.beginRecord(kDateMode);
    out.put16(0);  // dates count from 1900
    out.endRecord(r);
}

}  // namespace

XlsBook::XlsBook(OutputStream& out, std::string shownAs) : out_(out), shownAs_(std::move(shownAs)) {
    fonts_.assign(4, Font{"Arial", false});
}

void XlsBook::setDefaultFont(const std::string& name, double size) {
    defaultFontHeight_ = static_cast<std::uint16_t>(std::lround(size * 20));
    for (std::size_t i = 0; i < 4; ++i) fonts_[i] = Font{name, false};
}

std::uint16_t XlsBook::fontIndex(const SpreadsheetFormat& format) {
    // Each format gets a font of its own beyond the four defaults, shared only with equal ones.
    for (std::size_t i = 4; i < fonts_.size(); ++i)
        if (fonts_[i].name == format.fontName && fonts_[i].bold == format.bold)
            return static_cast<std::uint16_t>(i + 1);
    fonts_.push_back(Font{format.fontName, format.bold});
    // Font index 4 does not exist in BIFF: the fifth font record is font 5.
    return static_cast<std::uint16_t>(fonts_.size());
}

SpreadsheetBook::FormatId XlsBook::addFormat(const SpreadsheetFormat& format) {
    formats_.emplace_back(format, fontIndex(format));
    return static_cast<FormatId>(formats_.size() - 1);
}

std::uint16_t XlsBook::xfFor(FormatId format) const {
    if (format < 0 || static_cast<std::size_t>(format) >= formats_.size()) return kDefaultCellXf;
    return static_cast<std::uint16_t>(kFirstOwnXf + format);
}

void XlsBook::addSheet(const std::string& name) {
    flushBlock();
    blockStart_ = 0;
    sheets_.push_back(Sheet{name, {}, {}, false, 0, 0, 0, 0});
}

void XlsBook::setColumnWidth(std::uint16_t column, double characters) {
    if (sheets_.empty() || column >= kMaxColumns) return;
    const auto width =
        static_cast<std::uint16_t>(std::clamp(std::lround(characters * 256), 0L, 0xFFFFL));
    auto& widths = sheets_.back().columnWidths;
    for (auto& entry : widths)
        if (entry.first == column) {
            entry.second = width;
            return;
        }
    widths.emplace_back(column, width);
}

bool XlsBook::accept(std::uint32_t row, std::uint16_t column) {
    if (sheets_.empty() || row >= kMaxRows || column >= kMaxColumns) return false;
    Sheet& sheet = sheets_.back();
    if (sheet.anyCell && row < blockStart_) {
        outOfOrder_ = true;
        return false;
    }
    if (row >= blockStart_ + kRowsPerBlock) {
        flushBlock();
        blockStart_ = row - row % kRowsPerBlock;
    }
    if (!sheet.anyCell) {
        sheet.firstRow = row;
        sheet.firstColumn = column;
        sheet.anyCell = true;
    }
    sheet.firstRow = std::min(sheet.firstRow, row);
    sheet.endRow = std::max(sheet.endRow, row + 1);
    sheet.firstColumn = std::min(sheet.firstColumn, column);
    sheet.endColumn = std::max<std::uint16_t>(sheet.endColumn, column + 1);
    return true;
}

void XlsBook::writeString(std::uint32_t row, std::uint16_t column, std::string_view utf8,
                          FormatId format) {
    if (!accept(row, column)) return;
    if (utf8.empty()) {
        block_.push_back({row, column, xfFor(format), Cell::Kind::Blank, 0, 0});
        return;
    }
    block_.push_back({row, column, xfFor(format), Cell::Kind::String, strings_.add(utf8), 0});
}

void XlsBook::writeNumber(std::uint32_t row, std::uint16_t column, double value, FormatId format) {
    if (!accept(row, column)) return;
    block_.push_back({row, column, xfFor(format), Cell::Kind::Number, 0, value});
}

void XlsBook::flushBlock() {
    if (block_.empty()) return;
    BiffBuffer& out = sheets_.back().cells;
    std::stable_sort(block_.begin(), block_.end(), [](const Cell& a, const Cell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    // A cell written twice keeps its last value.
    std::vector<Cell> cells;
    cells.reserve(block_.size());
    for (std::size_t i = 0; i < block_.size(); ++i)
        if (i + 1 == block_.size() || block_[i + 1].row != block_[i].row ||
            block_[i + 1].column != block_[i].column)
            cells.push_back(block_[i]);

    for (std::size_t i = 0; i < cells.size();) {
        std::size_t end = i;
        while (end < cells.size() && cells[end].row == cells[i].row) ++end;
        const std::size_t r = out.beginRecord(kRow);
        out.put16(static_cast<std::uint16_t>(cells[i].row));
        out.put16(cells[i].column);
        out.put16(static_cast<std::uint16_t>(cells[end - 1].column + 1));
        out.put16(static_cast<std::uint16_t>(defaultFontHeight_ * 15 / 11));  // 15 points for 11
        out.put16(0);
        out.put16(0);
        out.put32(0x00000100u | (static_cast<std::uint32_t>(kDefaultCellXf) << 16));
        out.endRecord(r);
        i = end;
    }
    for (const Cell& cell : cells) {
        const auto row = static_cast<std::uint16_t>(cell.row);
        switch (cell.kind) {
            case Cell::Kind::Blank: {
                const std::size_t r = out.beginRecord(kBlank);
                out.put16(row);
                out.put16(cell.column);
                out.put16(cell.xf);
                out.endRecord(r);
                break;
            }
            case Cell::Kind::String: {
                const std::size_t r = out.beginRecord(kLabelSst);
                out.put16(row);
                out.put16(cell.column);
                out.put16(cell.xf);
                out.put32(cell.sst);
                out.endRecord(r);
                break;
            }
            case Cell::Kind::Number: {
                // Whole numbers that fit in 30 bits take the short RK form.
                const double v = cell.number;
                if (std::floor(v) == v && v >= -(1 << 29) && v < (1 << 29)) {
                    const std::size_t r = out.beginRecord(kRk);
                    out.put16(row);
                    out.put16(cell.column);
                    out.put16(cell.xf);
                    out.put32((static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) << 2) |
                              0x02);
                    out.endRecord(r);
                } else {
                    const std::size_t r = out.beginRecord(kNumber);
                    out.put16(row);
                    out.put16(cell.column);
                    out.put16(cell.xf);
                    out.putDouble(v);
                    out.endRecord(r);
                }
                break;
            }
        }
    }
    block_.clear();
}

void XlsBook::writeGlobals(BiffBuffer& out, std::vector<std::size_t>& sheetOffsetsAt) const {
    bof(out, 0x0005);
    writeBookSettings(out);
    writeFonts(out);
    writeCellFormats(out);

    std::size_t r = out.beginRecord(kStyle);
    out.put16(0x8000);  // built-in style of XF 0
    out.put8(0);        // "Normal"
    out.put8(0xFF);
    out.endRecord(r);

    for (const Sheet& sheet : sheets_) {
        r = out.beginRecord(kBoundSheet);
        sheetOffsetsAt.push_back(out.size());
        out.put32(0);  // where the sheet starts; known once the globals are complete
        out.put8(0);   // visible
        out.put8(0);   // worksheet
        shortUnicodeString(out, sheet.name);
        out.endRecord(r);
    }

    strings_.write(out, 0);
    r = out.beginRecord(kEof);
    out.endRecord(r);
}

void XlsBook::writeFonts(BiffBuffer& out) const {
    for (const Font& font : fonts_) {
        const std::size_t r = out.beginRecord(kFont);
        out.put16(defaultFontHeight_);
        out.put16(font.bold ? 0x0001 : 0);  // the old bold flag, which readers still consult
        out.put16(0x7FFF);                  // automatic colour
        out.put16(font.bold ? 700 : 400);
        out.put16(0);  // no super- or subscript
        out.put8(0);   // no underline
        out.put8(2);   // family: swiss
        out.put8(0);   // character set: ANSI
        out.put8(0);
        shortUnicodeString(out, font.name);
        out.endRecord(r);
    }
}

void XlsBook::writeCellFormats(BiffBuffer& out) const {
    for (std::uint16_t i = 0; i < kStyleXfs; ++i) styleXf(out, i == 0);
    std::size_t r = out.beginRecord(kXf);  // the default cell format
    out.put16(0);
    out.put16(0);
    out.put16(0x0001);  // locked, parent style 0
    out.put8(0x20);
    out.put8(0);
    out.put8(0);
    out.put8(0);
    out.put32(0);
    out.put32(0);
    out.put16(kAutomaticColour | (kAutomaticBackground << 7));
    out.endRecord(r);

    for (const auto& [format, font] : formats_) {
        r = out.beginRecord(kXf);
        out.put16(font);
        out.put16(format.numberFormat);
        out.put16(0x0001);
        out.put8(static_cast<std::uint8_t>((format.centred ? 2 : 0) | 0x20));
        out.put8(0);
        out.put8(0);
        out.put8(0xFC);  // every attribute is the format's own, not the style's
        std::uint32_t border = 0;
        if (format.borderLeft) border |= 1u | (std::uint32_t{kAutomaticColour} << 16);
        if (format.borderRight) border |= (1u << 4) | (std::uint32_t{kAutomaticColour} << 23);
        if (format.borderTop) border |= 1u << 8;
        if (format.borderBottom) border |= 1u << 12;
        out.put32(border);
        std::uint32_t more = 0;
        if (format.borderTop) more |= kAutomaticColour;
        if (format.borderBottom) more |= std::uint32_t{kAutomaticColour} << 7;
        if (format.solidFillColour) more |= 1u << 26;
        out.put32(more);
        const std::uint16_t foreground =
            format.solidFillColour ? *format.solidFillColour : kAutomaticColour;
        out.put16(static_cast<std::uint16_t>(foreground | (kAutomaticBackground << 7)));
        out.endRecord(r);
    }
}

void XlsBook::writeSheetStart(BiffBuffer& out, const Sheet& sheet) {
    bof(out, 0x0010);
    std::size_t r = out.beginRecord(kDefColWidth);
    out.put16(8);
    out.endRecord(r);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> widths = sheet.columnWidths;
    std::sort(widths.begin(), widths.end());
    for (const auto& [column, width] : widths) {
        r = out.beginRecord(kColInfo);
        out.put16(column);
        out.put16(column);
        out.put16(width);
        out.put16(kDefaultCellXf);
        out.put16(0x0002);  // width set by the user, not hidden
        out.put16(0);
        out.endRecord(r);
    }
    r = out.beginRecord(kDimensions);
    out.put32(sheet.firstRow);
    out.put32(sheet.endRow);
    out.put16(sheet.firstColumn);
    out.put16(sheet.endColumn);
    out.put16(0);
    out.endRecord(r);
}

void XlsBook::writeSheetEnd(BiffBuffer& out, bool selected) {
    std::size_t r = out.beginRecord(kWindow2);
    // Gridlines, headings, zeros, outline symbols; the workbook opens on the selected sheet.
    out.put16(selected ? 0x06B6 : 0x00B6);
    out.put16(0);
    out.put16(0);
    out.put16(kAutomaticColour);
    out.put16(0);
    out.put16(0);
    out.put16(0);
    out.put32(0);
    out.endRecord(r);
    r = out.beginRecord(kEof);
    out.endRecord(r);
}

Status XlsBook::save() {
    if (outOfOrder_)
        return errorStatus("Cannot write " + shownAs_ + ": rows were not given in order");
    flushBlock();
    BiffBuffer globals;
    std::vector<std::size_t> sheetOffsetsAt;
    writeGlobals(globals, sheetOffsetsAt);
    // The start and end records of every sheet, around the sheet's cells.
    std::vector<BiffBuffer> frames(2 * sheets_.size());
    std::vector<std::string_view> pieces = {globals.bytes()};
    std::size_t offset = globals.size();
    for (std::size_t s = 0; s < sheets_.size(); ++s) {
        BiffBuffer& start = frames[2 * s];
        BiffBuffer& end = frames[2 * s + 1];
        writeSheetStart(start, sheets_[s]);
        writeSheetEnd(end, s == 0);
        globals.patch32(sheetOffsetsAt[s], static_cast<std::uint32_t>(offset));
        offset += start.size() + sheets_[s].cells.size() + end.size();
        pieces.insert(pieces.end(), {start.bytes(), sheets_[s].cells.bytes(), end.bytes()});
    }
    CompoundFileWriter::write(out_, u"Workbook", pieces);
    if (out_.failed()) return errorStatus("Cannot write " + shownAs_ + ": " + out_.error());
    return okStatus();
}

}  // namespace kelvara
