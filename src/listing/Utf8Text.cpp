#include "listing/Utf8Text.h"

namespace kelvara {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

constexpr std::size_t kUnwanted = std::size_t{1} << 8;

// The length of the well-formed character at `i`, or 0 when the byte there starts none; with
// kUnwanted added for a well-formed character that XML cannot hold.
std::size_t characterLength(std::string_view text, std::size_t i, bool forXml) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t need = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead < 0xE0) need = 1, code = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead < 0xF0) need = 2, code = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead < 0xF5) need = 3, code = lead & 0x07, minimum = 0x10000;
    else return 0;
    if (i + need >= text.size()) return 0;
    for (std::size_t k = 1; k <= need; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (forXml && (code == 0xFFFE || code == 0xFFFF)) return kUnwanted | (need + 1);
    return need + 1;
}

bool allAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

bool isWellFormedUtf8(std::string_view text, bool forXml) {
    if (allAscii(text)) return true;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = characterLength(text, i, forXml);
        if (length == 0 || (length & kUnwanted)) return false;
        i += length;
    }
    return true;
}

std::string_view wellFormedUtf8(std::string_view text, std::string& scratch, bool forXml) {
    if (isWellFormedUtf8(text, forXml)) return text;
    scratch.clear();
    scratch.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = characterLength(text, i, forXml);
        if (length == 0) {
            scratch += kReplacement;
            ++i;
        } else if (length & kUnwanted) {
            scratch += kReplacement;
            i += length & ~kUnwanted;
        } else {
            scratch.append(text.substr(i, length));
            i += length;
        }
    }
    return scratch;
}

}  // namespace kelvara
