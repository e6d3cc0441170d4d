#include "listing/BiffText.h"

#include <algorithm>

#include "platform/Utf8Decoder.h"

namespace kelvara {

std::vector<char16_t> biffUtf16(std::string_view utf8, std::size_t maxUnits) {
    std::vector<char16_t> units;
    units.reserve(std::min(utf8.size(), maxUnits));
    // A malformed byte becomes U+FFFD, and the text goes on at the next byte.
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Character character = decodeUtf8(utf8, i);
        const char32_t code = character.code;
        const std::size_t width = utf16Width(code);
        if (units.size() + width > maxUnits) break;
        if (width == 2) {
            const char32_t v = code - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
        i += character.length;
    }
    return units;
}

bool biffFitsCompressed(const std::vector<char16_t>& units) {
    return std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x100; });
}

}  // namespace kelvara
