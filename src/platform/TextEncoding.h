#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvara {

// The character sets exported names and playlist files can be written in.
enum class TextEncoding { UTF8, CP1252, CP1253, ASCII };

// Converts UTF-8 text to `encoding`, allowing loss: a character the target lacks becomes its
// nearest equivalent (a letter loses its accent, "Œ" becomes "OE") or "?". The result is the same
// whatever the user's locale is. Invalid UTF-8 input bytes become "?".
std::string encodeLossy(std::string_view utf8, TextEncoding encoding);

// Converts UTF-8 text to `encoding` exactly; absent when a character is missing from it.
std::optional<std::string> encodeExactly(std::string_view utf8, TextEncoding encoding);

// Converts text in `encoding` back to UTF-8.
std::string decodeToUtf8(std::string_view bytes, TextEncoding encoding);

// encodeLossy, then back to UTF-8: what a name looks like once reduced to the character set.
std::string reduceToEncoding(std::string_view utf8, TextEncoding encoding);

}  // namespace kelvara
