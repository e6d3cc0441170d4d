#include "listing/BiffText.h"

#include <algorithm>

namespace kelvara {

std::vector<char16_t> biffUtf16(std::string_view utf8, std::size_t maxUnits) {
    std::vector<char16_t> units;
    units.reserve(std::min(utf8.size(), maxUnits));
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t code = 0xFFFD;
        std::size_t length = 1;
        std::size_t need = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            code = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            need = 1, code = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            need = 2, code = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            need = 3, code = lead & 0x07, minimum = 0x10000;
        }
        if (need > 0) {
            bool valid = i + need < utf8.size();
            for (std::size_t k = 1; valid && k <= need; ++k) {
                const auto next = static_cast<unsigned char>(utf8[i + k]);
                if ((next & 0xC0) != 0x80) valid = false;
                else code = (code << 6) | (next & 0x3F);
            }
            if (valid && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                length = need + 1;
            } else {
                code = 0xFFFD;
            }
        }
        const std::size_t width = code >= 0x10000 ? 2 : 1;
        if (units.size() + width > maxUnits) break;
        if (width == 2) {
            const char32_t v = code - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return units;
}

bool biffFitsCompressed(const std::vector<char16_t>& units) {
    return std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x100; });
}

}  // namespace kelvara
