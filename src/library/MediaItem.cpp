#include "library/MediaItem.h"

#include "platform/UnicodeText.h"

namespace kelvara {

const std::optional<std::filesystem::path>& MediaItem::location() const {
    std::call_once(locationResolved_, [this] {
        if (!isCloud_) location_ = existingPathInAnyNormalForm(mappedPath_);
    });
    return location_;
}

}  // namespace kelvara
