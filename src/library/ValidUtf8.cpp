#include "library/ValidUtf8.h"

namespace kelvara {
namespace {

// The length of the well-formed character at `at`, or 0 when there is none; then `bad` is the
// length of the ill-formed part to replace (at least 1).
std::size_t characterAt(const unsigned char* at, const unsigned char* end, std::size_t& bad) {
    const unsigned char lead = at[0];
    bad = 1;
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    // The range of the second byte narrows where overlong forms, surrogates and code points past
    // U+10FFFF would begin; the later bytes are plain continuation bytes.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= end) return 0;
        const unsigned char next = at[i];
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
        bad = i + 1;
    }
    return length;
}

}  // namespace

void makeValidUtf8(std::string& text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    const unsigned char* at = begin;
    std::size_t bad = 0;
    // Most library text is well formed, much of it ASCII: check without copying.
    while (at < end) {
        if (*at < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = characterAt(at, end, bad);
        if (length == 0) break;
        at += length;
    }
    if (at == end) return;

    std::string fixed;
    fixed.reserve(text.size() + 8);
    fixed.append(text, 0, static_cast<std::size_t>(at - begin));
    while (at < end) {
        const std::size_t length = characterAt(at, end, bad);
        if (length == 0) {
            fixed += "\xEF\xBF\xBD";
            at += bad;
        } else {
            fixed.append(reinterpret_cast<const char*>(at), length);
            at += length;
        }
    }
    text = std::move(fixed);
}

}  // namespace kelvara
