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
// Every member may be called from any thread.
class KvrItunesMAnager {
  public:
    // Made on first use, exactly once even when first asked from several threads.
    static KvrItunesMAnager& sharedManager();

    // Drops the open library and the song list; for tests and for a fresh start of the front ends.
    void reset();

    // The open library, or null. Shared: a reload replaces the session's library, but whoever
    // still holds the old one (an export run, say) keeps it whole until they let go. Any thread.
    std::shared_ptr<const MediaLibrary> library() const;
    // Replaces the open library (the playlist page's reload). Also when opening failed: then the
    // library is none, "error: <error>" goes to the diagnostics and every list is empty.
    void setLibrary(std::shared_ptr<const MediaLibrary> library, const std::string& error = {});

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
    std::shared_ptr<const MediaLibrary> library_;
    SongList allSongs_;
    SongsByTitle songsByTitle_;
};

}  // namespace kelvara
