#include "listing/Utf8Text.h"

#include "platform/Utf8Decoder.h"

namespace kelvara {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

constexpr std::size_t kUnwanted = std::size_t{1} << 8;

// The length of the well-formed character at `i`, or 0 when the byte there starts none; with
// kUnwanted added for a well-formed character that XML cannot hold.
std::size_t characterLength(std::string_view text, std::size_t i, bool forXml) {
    const Utf8Character character = decodeUtf8(text, i);
    if (!character.valid) return 0;
    if (forXml && (character.code == 0xFFFE || character.code == 0xFFFF))
        return kUnwanted | character.length;
    return character.length;
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
