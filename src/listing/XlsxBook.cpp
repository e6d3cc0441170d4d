#include "listing/XlsxBook.h"

#include <xlsxwriter.h>

#include <string>

#include "listing/Utf8Text.h"
#include "platform/Utf8Decoder.h"

namespace kelvara {
namespace {

// Cuts UTF-8 text to at most `units` UTF-16 code units, at a character boundary. The text is
// well-formed here; a malformed byte would still be stepped over by the length its lead implies.
std::string_view cutToUtf16Units(std::string_view text, std::size_t units) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const Utf8Character decoded = decodeUtf8(text, i);
        const std::size_t length = decoded.valid ? decoded.length
                                   : lead < 0x80 ? 1
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                                 : 4;
        const std::size_t width = length == 4 ? 2 : 1;
        if (count + width > units) return text.substr(0, i);
        count += width;
        i += length;
    }
    return text;
}

// Cuts UTF-8 text to at most `bytes` bytes, at a character boundary.
std::string_view cutToBytes(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Spreadsheet applications read "_xHHHH_" in a cell's text as the character U+HHHH. A text that
// holds such a sequence itself keeps it by writing its underscore as "_x005F_".
std::string_view escapeLiteralCharacterCodes(std::string_view text, std::string& scratch) {
    const auto isCode = [&](std::size_t i) {
        return i + 6 < text.size() && text[i] == '_' && text[i + 1] == 'x' &&
               isHexDigit(text[i + 2]) && isHexDigit(text[i + 3]) && isHexDigit(text[i + 4]) &&
               isHexDigit(text[i + 5]) && text[i + 6] == '_';
    };
    std::size_t first = text.find("_x");
    while (first != std::string_view::npos && !isCode(first)) first = text.find("_x", first + 1);
    if (first == std::string_view::npos) return text;
    scratch.assign(text.substr(0, first));
    for (std::size_t i = first; i < text.size(); ++i) {
        if (isCode(i)) scratch += "_x005F";
        scratch += text[i];
    }
    return scratch;
}

}  // namespace

void XlsxBook::WorkbookFree::operator()(lxw_workbook* workbook) const {
    lxw_workbook_free(workbook);
}

XlsxBook::XlsxBook(const std::filesystem::path& file, const std::filesystem::path& shownAs)
    : file_(file), shownAs_(shownAs) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    workbook_.reset(workbook_new_opt(file_.c_str(), &options));
}

XlsxBook::~XlsxBook() = default;

void XlsxBook::noteError(int code) {
    if (code != LXW_NO_ERROR && firstError_ == LXW_NO_ERROR) firstError_ = code;
}

void XlsxBook::setDefaultFont(const std::string& name, double size) {
    if (!workbook_) return;
    fontSize_ = size;
    // The workbook's first format is its default ("Normal" style, font 0).
    lxw_format* standard = STAILQ_FIRST(workbook_->formats);
    if (!standard) return;
    format_set_font_name(standard, name.c_str());
    format_set_font_size(standard, size);
}

SpreadsheetBook::FormatId XlsxBook::addFormat(const SpreadsheetFormat& style) {
    if (!workbook_) return -1;
    lxw_format* format = workbook_add_format(workbook_.get());
    format_set_font_name(format, style.fontName.c_str());
    format_set_font_size(format, fontSize_);
    if (style.bold) format_set_bold(format);
    if (style.centred) format_set_align(format, LXW_ALIGN_CENTER);
    if (style.borderTop) format_set_top(format, LXW_BORDER_THIN);
    if (style.borderBottom) format_set_bottom(format, LXW_BORDER_THIN);
    if (style.borderLeft) format_set_left(format, LXW_BORDER_THIN);
    if (style.borderRight) format_set_right(format, LXW_BORDER_THIN);
    if (style.solidFillColour) {
        format_set_pattern(format, LXW_PATTERN_SOLID);
        format_set_fg_color(format, SpreadsheetFormat::paletteRgb(*style.solidFillColour));
    }
    if (style.numberFormat != 0) format_set_num_format_index(format, style.numberFormat);
    formats_.push_back(format);
    return static_cast<FormatId>(formats_.size() - 1);
}

void XlsxBook::addSheet(const std::string& name) {
    if (!workbook_) return;
    // An invalid or repeated name gets no sheet: note why, as later cells have nowhere to go.
    noteError(workbook_validate_sheet_name(workbook_.get(), name.c_str()));
    sheet_ = workbook_add_worksheet(workbook_.get(), name.c_str());
}

void XlsxBook::setColumnWidth(std::uint16_t column, double characters) {
    if (sheet_) noteError(worksheet_set_column(sheet_, column, column, characters, nullptr));
}

void XlsxBook::writeString(std::uint32_t row, std::uint16_t column, std::string_view utf8,
                           FormatId format) {
    if (!sheet_) return;
    lxw_format* cellFormat = format >= 0 ? formats_[static_cast<std::size_t>(format)] : nullptr;
    // XML holds only well-formed UTF-8 without U+FFFE and U+FFFF: one stray byte (a file name
    // need not be UTF-8) would make the whole file unreadable.
    std::string repaired, escaped;
    const std::string_view wellFormed = wellFormedUtf8(utf8, repaired, true);
    std::string text(
        escapeLiteralCharacterCodes(cutToUtf16Units(wellFormed, kMaxCellText), escaped));
    lxw_error result = worksheet_write_string(sheet_, row, column, text.c_str(), cellFormat);
    if (result == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) {
        // The library counts the limit in bytes; cut again so that the cell still gets its text.
        text = std::string(cutToBytes(text, kMaxCellText));
        result = worksheet_write_string(sheet_, row, column, text.c_str(), cellFormat);
    }
    noteError(result);
}

void XlsxBook::writeNumber(std::uint32_t row, std::uint16_t column, double value, FormatId format) {
    if (!sheet_) return;
    lxw_format* cellFormat = format >= 0 ? formats_[static_cast<std::size_t>(format)] : nullptr;
    noteError(worksheet_write_number(sheet_, row, column, value, cellFormat));
}

std::uint32_t XlsxBook::maxRows() const { return LXW_ROW_MAX; }

Status XlsxBook::save() {
    if (!workbook_) return errorStatus("Cannot create the workbook for " + shownAs_.string());
    if (firstError_ != LXW_NO_ERROR) {
        return errorStatus("Cannot fill " + shownAs_.string() + ": " +
                           lxw_strerror(static_cast<lxw_error>(firstError_)));
    }
    // workbook_close writes the file and frees the workbook whatever the outcome.
    const lxw_error result = workbook_close(workbook_.release());
    sheet_ = nullptr;
    formats_.clear();
    if (result != LXW_NO_ERROR)
        return errorStatus("Cannot write " + shownAs_.string() + ": " + lxw_strerror(result));
    return okStatus();
}

}  // namespace kelvara
