#pragma once

#include <string_view>

namespace kelvara {

// Whether JSON text opens more than `limit` arrays or objects inside one another, counted without
// parsing. Parsing, copying and writing a value recurse once per level, so text nested without
// limit would overflow the stack of whoever reads it: such text is refused before it is parsed.
bool jsonNestedDeeperThan(std::string_view text, int limit);

}  // namespace kelvara
