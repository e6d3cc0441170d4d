#include "listing/RBExcel.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>

#include "library/KvrSongInfo.h"
#include "listing/FileOutputStream.h"
#include "listing/ListingColumn.h"
#include "listing/ListingFile.h"
#include "listing/SpreadsheetBook.h"
#include "listing/XlsBook.h"
#include "listing/XlsxBook.h"

namespace kelvara {
namespace {

constexpr std::uint8_t kLightGreen = 42;
constexpr std::uint8_t kIntegerFormat = 1;
constexpr std::uint8_t kShortDateFormat = 14;

struct Formats {
    SpreadsheetBook::FormatId header, text, number, date;
};

Formats addFormats(SpreadsheetBook& book) {
    SpreadsheetFormat header;
    header.bold = true;
    header.centred = true;
    header.borderTop = header.borderBottom = header.borderLeft = header.borderRight = true;
    header.solidFillColour = kLightGreen;

    SpreadsheetFormat text;
    text.borderLeft = true;

    SpreadsheetFormat number;
    number.numberFormat = kIntegerFormat;
    number.borderLeft = number.borderRight = true;

    SpreadsheetFormat date = number;
    date.numberFormat = kShortDateFormat;

    return {book.addFormat(header), book.addFormat(text), book.addFormat(number),
            book.addFormat(date)};
}

}  // namespace

Status RBExcel::createExcelIsXMl(bool isXlsx, std::vector<std::string> columns, bool isPlaylist,
                                 const std::filesystem::path& url) {
    visibleColumns_ = std::move(columns);
    plMode_ = isPlaylist;
    xlsMode_ = !isXlsx;
    return createExcelFileToURL(url);
}

double RBExcel::datePack(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                         unsigned second) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / std::chrono::month{month} /
                        std::chrono::day{day}};
    double serial = static_cast<double>((date - sys_days{1899y / December / 30d}).count());
    // Spreadsheets count a 29 February 1900 that never was; days before it are one lower.
    if (serial < 61) serial -= 1;
    return serial + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

double RBExcel::localSerialDate(Date date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    localtime_r(&seconds, &local);
    return datePack(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                    static_cast<unsigned>(local.tm_min),
                    static_cast<unsigned>(std::min(local.tm_sec, 59)));
}

Status RBExcel::createExcelFileToURL(const std::filesystem::path& url) {
    auto created = createListingFile(url);
    if (!created.ok()) return created.status();
    const auto& file = *created;

    std::unique_ptr<FileOutputStream> stream;
    std::unique_ptr<SpreadsheetBook> book;
    if (xlsMode_) {
        stream = std::make_unique<FileOutputStream>(file->fd());
        book = std::make_unique<XlsBook>(*stream, url.string());
    } else {
        book = std::make_unique<XlsxBook>(file->temporaryPath(), url);
    }

    book->setDefaultFont("Arial", 11);
    const Formats formats = addFormats(*book);
    const std::vector<const ListingColumn*> columns =
        ListingColumn::resolve(visibleColumns_, plMode_);

    // Each sheet holds the header row and as many songs as fit below it; the next sheet goes on
    // from there. An empty listing still gets its sheet with the header row.
    const std::size_t songsPerSheet = book->maxRows() - 1;
    std::size_t p = 0;
    std::string scratch;
    for (std::size_t sheet = 1; sheet == 1 || p < songs_.size(); ++sheet) {
        book->addSheet(sheet == 1 ? std::string("Songs") : "Songs " + std::to_string(sheet));
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto column = static_cast<std::uint16_t>(c);
            book->writeString(0, column, columns[c]->excelHeader, formats.header);
            book->setColumnWidth(column, columns[c]->width);
        }

        // Row by row rather than column by column: the workbook comes out the same, and both
        // formats can then stream the rows instead of holding the whole sheet.
        const std::size_t sheetEnd = std::min(songs_.size(), p + songsPerSheet);
        for (std::uint32_t row = 1; p < sheetEnd; ++p, ++row) {
            const MediaItem& song = *songs_[p];
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const auto column = static_cast<std::uint16_t>(c);
                const ListingColumn& info = *columns[c];
                const ListingValue value = info.value(song, scratch);
                switch (value.kind) {
                    case ListingValue::Kind::Absent:
                        break;
                    case ListingValue::Kind::Text:
                        book->writeString(row, column, value.text, formats.text);
                        break;
                    case ListingValue::Kind::Number: {
                        // Zero means "not set", except for the play count; a rating counts only
                        // above 0.
                        const bool write =
                            info.field == ListingColumn::Field::PlayCount ||
                            (info.field == ListingColumn::Field::Rating ? value.number > 0
                                                                        : value.number != 0);
                        if (write)
                            book->writeNumber(row, column, static_cast<double>(value.number),
                                              formats.number);
                        break;
                    }
                    case ListingValue::Kind::Date:
                        book->writeNumber(row, column, localSerialDate(value.date), formats.date);
                        break;
                }
            }
        }
    }

    if (Status saved = book->save(); !saved.ok()) return saved;
    book.reset();
    if (stream) {
        // The descriptor stays open for the AtomicFile; this only flushes the buffer.
        stream->close();
        if (stream->failed())
            return errorStatus("Cannot write " + url.string() + ": " + stream->error());
    }
    return file->commit();
}

std::string RBExcel::getTimeStringFromSec(std::uint64_t seconds) {
    return KvrSongInfo::formatDuration(seconds);
}

}  // namespace kelvara
