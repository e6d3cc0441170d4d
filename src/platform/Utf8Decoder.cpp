#include "platform/Utf8Decoder.h"

namespace kelvara {

Utf8Character decodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1, true};
    std::size_t need = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    // C0 and C1 could only start overlong forms; F5 and above only values past U+10FFFF or the
    // 5- and 6-byte forms.
    if (lead >= 0xC2 && lead < 0xE0)
        need = 1, code = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead < 0xF0)
        need = 2, code = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead < 0xF5)
        need = 3, code = lead & 0x07, minimum = 0x10000;
    else
        return {};
    if (at + need >= text.size()) return {};
    for (std::size_t k = 1; k <= need; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return {};
        code = (code << 6) | (byte(at + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
    return {code, need + 1, true};
}

}  // namespace kelvara
