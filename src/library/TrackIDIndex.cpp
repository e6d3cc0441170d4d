#include "library/TrackIDIndex.h"

#include <algorithm>

namespace kelvara {

void TrackIDIndex::build(std::size_t itemCount) {
    if (built_) return;
    built_ = true;
    if (pairs_.empty()) return;
    const auto [low, high] =
        std::minmax_element(pairs_.begin(), pairs_.end(),
                            [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto span =
        static_cast<std::uint64_t>(high->first) - static_cast<std::uint64_t>(low->first);
    // Track IDs are usually close together: a table then beats hashing a few hundred thousand
    // playlist entries. Scattered IDs fall back to a map.
    if (span < 4 * pairs_.size() + 1024 && itemCount < UINT32_MAX) {
        firstID_ = low->first;
        dense_.assign(span + 1, 0);
        for (const auto& [id, index] : pairs_) {
            auto& slot = dense_[static_cast<std::size_t>(id - firstID_)];
            if (slot == 0) slot = static_cast<std::uint32_t>(index + 1);  // the first one wins
        }
    } else {
        sparse_.reserve(pairs_.size());
        for (const auto& [id, index] : pairs_) sparse_.try_emplace(id, index);
    }
}

}  // namespace kelvara
