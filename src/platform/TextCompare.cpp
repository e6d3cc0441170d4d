#include "platform/TextCompare.h"

#include <utf8proc.h>

#include "platform/UnicodeText.h"

namespace kelvara {
namespace {

bool isAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (asciiLower(a[i]) != asciiLower(b[i])) return false;
        return true;
    }
    return foldCase(a) == foldCase(b);
}

bool optionalEqualsIgnoringCase(const std::optional<std::string>& a,
                                const std::optional<std::string>& b) {
    if (!a || !b) return !a && !b;
    return equalsIgnoringCase(*a, *b);
}

std::string foldCase(std::string_view text) {
    if (!isAscii(text)) return caseFolded(text);
    std::string result(text);
    for (char& c : result) c = asciiLower(c);
    return result;
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return caseFolded(text).find(caseFolded(part)) != std::string::npos;
}

std::string lowercase(std::string_view text) {
    if (isAscii(text)) {
        std::string result(text);
        for (char& c : result) c = asciiLower(c);
        return result;
    }
    std::string result;
    utf8proc_int32_t codepoint = 0;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t offset = 0;
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    while (offset < size) {
        const auto read = utf8proc_iterate(bytes + offset, size - offset, &codepoint);
        if (read <= 0) {
            result.push_back(text[static_cast<std::size_t>(offset)]);
            ++offset;
            continue;
        }
        utf8proc_uint8_t encoded[4];
        const auto written = utf8proc_encode_char(utf8proc_tolower(codepoint), encoded);
        result.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(written));
        offset += read;
    }
    return result;
}

namespace {

// Case-insensitive, digit runs by value.
int compareFolded(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0') ++si;
            while (sj < b.size() && b[sj] == '0') ++sj;
            std::size_t ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            if (int c = a.compare(si, ei - si, b, sj, ej - sj); c != 0) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

int localizedStandardCompare(std::string_view left, std::string_view right) {
    // Accents only break ties: "eclair" < "Éclair" < "Eclairs".
    if (const int order =
            compareFolded(foldCase(withoutMarks(left)), foldCase(withoutMarks(right)));
        order != 0)
        return order;
    return compareFolded(foldCase(left), foldCase(right));
}

}  // namespace kelvara
