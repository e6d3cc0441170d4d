#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kelvara {

// How a cell looks, in the terms both spreadsheet formats share. Borders are thin lines; the fill
// and number format are indices into the formats' built-in palette and number format tables.
struct SpreadsheetFormat {
    std::string fontName = "Arial";
    bool bold = false;
    bool centred = false;
    bool borderTop = false;
    bool borderBottom = false;
    bool borderLeft = false;
    bool borderRight = false;
    std::optional<std::uint8_t> solidFillColour;  // palette index 8 to 63
    std::uint8_t numberFormat = 0;                // built-in: 0 General, 1 "0", 14 short date

    // The RGB value (0xRRGGBB) of a colour of the default palette; black outside 8 to 63.
    static std::uint32_t paletteRgb(std::uint8_t index);
};

}  // namespace kelvara
