#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kelvara {

// UTF-8 to the UTF-16 code units BIFF8 stores; malformed bytes become U+FFFD. At most
// `maxUnits` units are kept, never half of a surrogate pair.
std::vector<char16_t> biffUtf16(std::string_view utf8, std::size_t maxUnits);

// Whether every unit fits in one byte, so the text can be stored "compressed" (Latin-1).
bool biffFitsCompressed(const std::vector<char16_t>& units);

}  // namespace kelvara
