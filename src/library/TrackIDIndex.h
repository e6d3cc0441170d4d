#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kelvara {

// The tracks by their "Track ID", the number playlists refer to them by. Collect every pair
// first, then build() once; lookups come after that.
class TrackIDIndex {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    void reserve(std::size_t tracks) { pairs_.reserve(tracks); }
    // Track `index` (its place among the items read) has the ID `id`.
    void add(std::int64_t id, std::size_t index) { pairs_.emplace_back(id, index); }

    // Indexes the pairs added so far; `itemCount` is how many items there are. Where IDs repeat,
    // the first track wins. Later calls do nothing.
    void build(std::size_t itemCount);

    // The index of the track with ID `id`, or kNone.
    std::size_t find(std::int64_t id) const {
        if (!dense_.empty()) {
            if (id < firstID_) return kNone;
            const auto offset =
                static_cast<std::uint64_t>(id) - static_cast<std::uint64_t>(firstID_);
            if (offset >= dense_.size() || dense_[offset] == 0) return kNone;
            return dense_[offset] - 1;
        }
        const auto found = sparse_.find(id);
        return found == sparse_.end() ? kNone : found->second;
    }

  private:
    std::vector<std::pair<std::int64_t, std::size_t>> pairs_;  // (Track ID, index) as read
    bool built_ = false;
    std::int64_t firstID_ = 0;
    std::vector<std::uint32_t> dense_;  // index + 1 per ID from firstID_; 0 for none
    std::unordered_map<std::int64_t, std::size_t> sparse_;
};

}  // namespace kelvara
