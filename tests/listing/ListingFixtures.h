#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"
#include "support/TestSupport.h"

namespace kelvara::test {

// A small library covering the cases listings must get right: texts that need quoting, a song
// without album or artist, zeros that are "not set", durations around an hour, dates, Japanese.
struct ListingLibrary {
    MediaLibrary library;
    std::vector<const MediaItem*> songs;

    static Date utc(int y, unsigned m, unsigned d, int h, int mi, int s) {
        using namespace std::chrono;
        return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s};
    }

    ListingLibrary() {
        Artist& zed = library.addArtist();
        zed.setName("Zed, \"the\" Band");
        zed.setSortName("Band, Zed");
        Album& one = library.addAlbum();
        one.setTitle("Album One");
        one.setSortTitle("One Album");
        one.setAlbumArtist("Various Folk");
        one.setSortAlbumArtist("Folk, Various");
        one.setDiscNumber(2);

        MediaItem& first = library.addMediaItem();
        first.setTitle("Alpha");
        first.setArtist(&zed);
        first.setAlbum(&one);
        first.setGenre("Rock");
        first.setYear(1999);
        first.setTotalTime(3599 * 1000 + 999);  // 59:59, the milliseconds dropped
        first.setTrackNumber(3);
        first.setBitrate(256);
        first.setPlayCount(0);
        first.setRating(0);
        first.setKind("MPEG audio file");
        first.setReleaseDate(utc(2001, 2, 3, 20, 15, 30));
        first.setAddedDate(utc(2020, 12, 31, 23, 59, 59));

        MediaItem& second = library.addMediaItem();
        second.setTitle("日本語のタイトル");
        second.setComments("line one\nline two");
        second.setYear(0);
        second.setPlayCount(5);
        second.setRating(80);
        second.setBeatsPerMinute(120);
        second.setTotalTime(3600 * 1000);

        MediaItem& third = library.addMediaItem();
        third.setArtist(&zed);
        third.setAlbum(&one);
        third.setGenre("Ambient");
        third.setYear(2010);
        third.setTotalTime(36000 * 1000);
        third.setLastPlayedDate(utc(1999, 12, 31, 0, 0, 0));

        songs = {&first, &second, &third};
    }
};

// Reads a workbook back with an independent reader and describes it as JSON, the same shape for
// both formats: sheet names, default font, column widths, and per cell its kind, value and look.
inline nlohmann::json readWorkbook(const std::filesystem::path& file) {
    static const std::string xlsx = R"PY(
import sys, json, datetime, re, openpyxl
# As spreadsheet applications do, read "_xHHHH_" in a text as the character U+HHHH.
def decoded(text): return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb[wb.sheetnames[0]]
out = {"sheets": wb.sheetnames, "defaultFont": [wb._fonts[0].name, float(wb._fonts[0].sz)],
       "widths": {}, "rows": []}
for letter, dim in ws.column_dimensions.items():
    if dim.width: out["widths"][str(openpyxl.utils.column_index_from_string(letter) - 1)] = dim.width
for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=ws.max_column):
    cells = []
    for c in row:
        v = c.value
        if v is None: kind, value = "empty", None
        elif isinstance(v, datetime.datetime): kind, value = "date", v.isoformat()
        elif isinstance(v, (int, float)): kind, value = "number", float(v)
        else: kind, value = "text", decoded(v)
        fill = c.fill.fgColor.rgb[-6:] if c.fill.fill_type == "solid" else None
        borders = "".join(k for k, s in (("L", c.border.left), ("R", c.border.right), ("T", c.border.top), ("B", c.border.bottom)) if s is not None and s.style == "thin")
        cells.append({"kind": kind, "v": value, "font": c.font.name, "bold": bool(c.font.b),
                      "numFmt": c._style.numFmtId, "fill": fill, "borders": borders,
                      "centre": c.alignment.horizontal == "center"})
    out["rows"].append(cells)
print(json.dumps(out))
)PY";
    static const std::string xls = R"PY(
import sys, json, xlrd
bk = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sh = bk.sheet_by_index(0)
out = {"sheets": bk.sheet_names(), "defaultFont": [bk.font_list[0].name, bk.font_list[0].height / 20.0],
       "widths": {str(c): info.width / 256.0 for c, info in sh.colinfo_map.items()}, "rows": []}
for r in range(sh.nrows):
    cells = []
    for c in range(sh.ncols):
        cell = sh.cell(r, c)
        xf = bk.xf_list[cell.xf_index]
        font = bk.font_list[xf.font_index]
        if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK): kind, value = "empty", None
        elif cell.ctype == xlrd.XL_CELL_DATE: kind, value = "date", xlrd.xldate_as_datetime(cell.value, bk.datemode).isoformat()
        elif cell.ctype == xlrd.XL_CELL_NUMBER: kind, value = "number", cell.value
        else: kind, value = "text", cell.value
        bg = xf.background
        fill = "%02X%02X%02X" % bk.colour_map[bg.pattern_colour_index] if bg.fill_pattern == 1 else None
        b = xf.border
        borders = "".join(k for k, s in (("L", b.left_line_style), ("R", b.right_line_style), ("T", b.top_line_style), ("B", b.bottom_line_style)) if s == 1)
        cells.append({"kind": kind, "v": value, "font": font.name, "bold": bool(font.bold),
                      "numFmt": xf.format_key, "fill": fill, "borders": borders,
                      "centre": xf.alignment.hor_align == 2, "paletteFill": bg.pattern_colour_index})
    out["rows"].append(cells)
print(json.dumps(out))
)PY";
    const bool isXlsx = file.extension() == ".xlsx";
    const CommandResult result = runPython(isXlsx ? xlsx : xls, {file.string()});
    if (result.exitCode != 0) return {{"error", result.err}};
    return nlohmann::json::parse(result.out);
}

}  // namespace kelvara::test
