#pragma once

#include <mutex>
#include <unordered_map>

namespace kelvara {

// The "checked" flag attached to playlists and media items: a side table keyed by the object's
// identity. It is owned by the library, so it lives exactly as long as the objects it marks.
// An object that was never set reads as unchecked.
class CheckedFlags {
  public:
    bool isChecked(const void* object) const;
    void setChecked(const void* object, bool checked);
    void clear();

  private:
    mutable std::mutex mutex_;
    std::unordered_map<const void*, bool> flags_;
};

}  // namespace kelvara
