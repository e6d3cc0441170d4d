#pragma once

#include <optional>
#include <string_view>

#include "library/LibraryTypes.h"

namespace kelvara::plist {

// A property-list date: "2013-09-24T23:01:21Z", always UTC. The later parts may be left out
// ("2013-09-24Z", "2013Z"); month and day then read as 1, the time as midnight. Absent when the
// text is not of that form or names no real date and time.
std::optional<Date> parseDate(std::string_view text);

}  // namespace kelvara::plist
