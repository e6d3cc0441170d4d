#include "library/LibraryTypes.h"

#include <charconv>
#include <cstdio>

namespace kelvara {

std::string persistentIDToHex(PersistentID id) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(id));
    return text;
}

std::optional<PersistentID> persistentIDFromHex(std::string_view hex) {
    if (hex.empty() || hex.size() > 16) return std::nullopt;
    PersistentID id = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), id, 16);
    if (ec != std::errc() || end != hex.data() + hex.size()) return std::nullopt;
    return id;
}

}  // namespace kelvara
