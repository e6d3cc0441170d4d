#pragma once

#include <string>

namespace kelvara {

// One key of a song list's sort order: a column identifier and a direction.
struct ListingSortKey {
    std::string identifier;
    bool ascending = true;

    bool operator==(const ListingSortKey&) const = default;
};

}  // namespace kelvara
