#include "library/KvrItunesMAnager.h"

#include <utility>

#include "platform/Diagnostics.h"

namespace kelvara {

KvrItunesMAnager& KvrItunesMAnager::sharedManager() {
    static KvrItunesMAnager manager;
    return manager;
}

void KvrItunesMAnager::reset() { setLibrary(nullptr); }

std::shared_ptr<const MediaLibrary> KvrItunesMAnager::library() const {
    std::lock_guard lock(mutex_);
    return library_;
}

void KvrItunesMAnager::setLibrary(std::shared_ptr<const MediaLibrary> library,
                                  const std::string& error) {
    if (!library && !error.empty()) diagnostic("error: " + error);
    std::shared_ptr<const MediaLibrary> old;  // let go of after the lock: freeing it takes time
    std::lock_guard lock(mutex_);
    // The song list points into the old library; it cannot outlive it.
    allSongs_.reset();
    songsByTitle_.reset();
    old = std::exchange(library_, std::move(library));
}

KvrItunesMAnager::SongList KvrItunesMAnager::allSongs() const {
    std::lock_guard lock(mutex_);
    return allSongs_;
}

void KvrItunesMAnager::setAllSongsIfUnset(const std::vector<const MediaItem*>& songs) {
    std::lock_guard lock(mutex_);
    if (allSongs_) return;
    allSongs_ = std::make_shared<const std::vector<const MediaItem*>>(songs);
    songsByTitle_ = std::make_shared<const SongIndex>(songs);
}

KvrItunesMAnager::SongsByTitle KvrItunesMAnager::songsByAlbumTitle() const {
    std::lock_guard lock(mutex_);
    return songsByTitle_;
}

}  // namespace kelvara
