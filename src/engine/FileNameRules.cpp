#include "engine/FileNameRules.h"

#include <cstdio>

#include "platform/Utf8Decoder.h"

namespace kelvara::FileNameRules {
namespace {

// Length of the UTF-8 sequence starting at `text[i]` when it is one of the space separators (or
// a tab), else 0.
std::size_t spaceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const std::size_t left = text.size() - i;
    if (byte(i) == ' ' || byte(i) == '\t') return 1;
    if (left >= 2 && byte(i) == 0xC2 && byte(i + 1) == 0xA0) return 2;  // no-break space
    if (left >= 3) {
        const unsigned c = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        if (c == 0xE19A80) return 3;                   // U+1680
        if (c >= 0xE28080 && c <= 0xE2808A) return 3;  // U+2000..U+200A
        if (c == 0xE280AF || c == 0xE2819F) return 3;  // U+202F, U+205F
        if (c == 0xE38080) return 3;                   // U+3000
    }
    return 0;
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

TextEncoding encodingForOption(PlaylistEncoding playlistEncoding) {
    switch (playlistEncoding) {
        case PlaylistEncoding::Latin1:
            return TextEncoding::CP1252;
        case PlaylistEncoding::Ascii:
            return TextEncoding::ASCII;
        case PlaylistEncoding::Utf8:
            break;
    }
    return TextEncoding::UTF8;
}

std::string stripLeadingDots(std::string text) {
    std::size_t count = 0;
    while (text.size() - count >= 2 && text[count] == '.') ++count;
    return text.substr(count);
}

std::string sanitizeFileNameString(std::string_view text, PlaylistEncoding playlistEncoding) {
    const std::string stripped = stripLeadingDots(std::string(text));
    // In UTF-8 every character stays (composed); only invalid bytes turn into "?".
    const std::string reduced = reduceToEncoding(stripped, encodingForOption(playlistEncoding));
    std::string result;
    result.reserve(reduced.size());
    for (char c : reduced)
        if (std::string_view("/\\:.?%*|\"<>").find(c) == std::string_view::npos)
            result.push_back(c);
    // The character set conversions let control characters and some invalid forms through.
    return cleanName(result);
}

std::string trimSpaces(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = spaceLength(text, begin);
        if (!length) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && isContinuation(text[start])) --start;
        const std::size_t length = spaceLength(text, start);
        if (!length || start + length != end) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string fitName(std::string_view stem, std::string_view suffix) {
    if (stem.size() + suffix.size() <= kMaxNameBytes)
        return std::string(stem) + std::string(suffix);
    if (suffix.size() >= kMaxNameBytes) suffix = {};  // a suffix that long is no extension
    std::size_t keep = kMaxNameBytes - suffix.size();
    if (keep > stem.size()) keep = stem.size();
    while (keep > 0 && keep < stem.size() && isContinuation(stem[keep])) --keep;
    return std::string(stem.substr(0, keep)) + std::string(suffix);
}

std::string withoutControlCharacters(std::string_view text, std::string_view replacement) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character c = decodeUtf8(text, i);
        if (!c.valid) {
            result.push_back(text[i++]);
            continue;
        }
        if (isControl(c.code))
            result += replacement;
        else
            result.append(text.substr(i, c.length));
        i += c.length;
    }
    return result;
}

std::string cleanName(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character c = decodeUtf8(text, i);
        if (c.valid && !isControl(c.code)) result.append(text.substr(i, c.length));
        i += c.length;
    }
    return result;
}

std::string safeFileName(std::string name) {
    if (name.empty() || name == "." || name == "..") return "unknown";
    return name;
}

std::string formatTrackNumber(std::int64_t number, std::int64_t trackNumberFormat) {
    const char* format = "%lld";
    if (trackNumberFormat == 1) format = "%02lld";
    if (trackNumberFormat == 2) format = "%03lld";
    if (trackNumberFormat == 3) format = "%04lld";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(number));
    return buffer;
}

}  // namespace kelvara::FileNameRules
