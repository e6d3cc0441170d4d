#pragma once

#include <cstddef>
#include <string_view>

namespace kelvara {

// One decoded UTF-8 character.
struct Utf8Character {
    char32_t code = 0xFFFD;  // U+FFFD when not valid
    std::size_t length = 1;  // bytes taken; 1 when not valid
    bool valid = false;
};

// Decodes the character that starts at byte `at` (< text.size()) strictly: a stray continuation
// byte, a truncated sequence, an overlong form (C0, C1, ...), a surrogate, a value past U+10FFFF
// and the old 5- and 6-byte forms are all invalid, reported as {U+FFFD, 1, false}, so that a
// caller that moves on by `length` resumes at the next byte. Thread-safe.
Utf8Character decodeUtf8(std::string_view text, std::size_t at);

// UTF-16 code units `code` takes: 2 beyond the Basic Multilingual Plane, else 1.
constexpr std::size_t utf16Width(char32_t code) { return code >= 0x10000 ? 2 : 1; }

}  // namespace kelvara
