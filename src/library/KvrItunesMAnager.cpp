#include "library/KvrItunesMAnager.h"

#include <iostream>

namespace kelvara {

KvrItunesMAnager& KvrItunesMAnager::sharedManager() {
    static KvrItunesMAnager manager;
    return manager;
}

void KvrItunesMAnager::reset() {
    std::lock_guard lock(mutex_);
    allSongs_.reset();
    songsByTitle_.reset();
    library_.reset();
}

void KvrItunesMAnager::setLibrary(std::unique_ptr<MediaLibrary> library, const std::string& error) {
    if (!library && !error.empty()) std::cerr << "error: " << error << "\n";
    std::lock_guard lock(mutex_);
    // The song list points into the old library; it cannot outlive it.
    allSongs_.reset();
    songsByTitle_.reset();
    library_ = std::move(library);
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
