#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"
#include "library/SongIndex.h"

namespace kelvara {

// The library session: the one open library of the process and the album catalogue's song list.
class KvrItunesMAnager {
public:
    // Made on first use, exactly once even when first asked from several threads.
    static KvrItunesMAnager& sharedManager();

    // Drops the open library and the song list; for tests and for a fresh start of the front ends.
    void reset();

    const MediaLibrary* library() const { return library_.get(); }
    // Replaces the open library (the playlist page's reload). Also when opening failed: then the
    // library is none, "error: <error>" goes to the diagnostic output and every list is empty.
    void setLibrary(std::unique_ptr<MediaLibrary> library, const std::string& error = {});

    // None until the catalogue first looks up an album's songs; then set once and never cleared.
    using SongList = std::shared_ptr<const std::vector<const MediaItem*>>;
    SongList allSongs() const;
    void setAllSongsIfUnset(const std::vector<const MediaItem*>& songs);

    // allSongs grouped by album title (case-folded; absent titles under their own key), in library
    // order within each group. Album lookups only need to look at one group.
    using SongsByTitle = std::shared_ptr<const SongIndex>;
    SongsByTitle songsByAlbumTitle() const;

private:
    KvrItunesMAnager() = default;

    mutable std::mutex mutex_;
    std::unique_ptr<MediaLibrary> library_;
    SongList allSongs_;
    SongsByTitle songsByTitle_;
};

}  // namespace kelvara
