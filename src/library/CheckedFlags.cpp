#include "library/CheckedFlags.h"

namespace kelvara {

bool CheckedFlags::isChecked(const void* object) const {
    std::lock_guard lock(mutex_);
    auto it = flags_.find(object);
    return it != flags_.end() && it->second;
}

void CheckedFlags::setChecked(const void* object, bool checked) {
    std::lock_guard lock(mutex_);
    flags_[object] = checked;
}

void CheckedFlags::clear() {
    std::lock_guard lock(mutex_);
    flags_.clear();
}

}  // namespace kelvara
