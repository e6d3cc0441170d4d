#pragma once

#include <string>
#include <string_view>

namespace kelvara {

// Texts reach the listings as bytes that are meant to be UTF-8 but need not be: a file name on
// Linux is any byte sequence. These helpers make sure only well-formed UTF-8 is written.

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
// With `forXml`, U+FFFE and U+FFFF, which XML cannot hold, count as malformed too.
bool isWellFormedUtf8(std::string_view text, bool forXml = false);

// `text` itself when it is well formed; otherwise a copy in `scratch` with every byte that does
// not start a well-formed character (and, with `forXml`, each U+FFFE and U+FFFF) replaced by
// U+FFFD.
std::string_view wellFormedUtf8(std::string_view text, std::string& scratch, bool forXml = false);

}  // namespace kelvara
