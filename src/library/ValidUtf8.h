#pragma once

#include <string>

namespace kelvara {

// Makes `text` well-formed UTF-8 in place, for text read from a library file, which may hold any
// bytes. Each ill-formed sequence becomes one U+FFFD: a byte that starts no character (a stray
// continuation byte, C0, C1, F5 to FF, so also the old 5- and 6-byte forms), or the longest start
// of a character that is cut short or turns out overlong, a surrogate or past U+10FFFF. The
// common case, text already well formed, costs one pass and no copy.
void makeValidUtf8(std::string& text);

}  // namespace kelvara
