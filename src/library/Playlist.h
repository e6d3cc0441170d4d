#pragma once

#include <vector>

#include "library/LibraryTypes.h"
#include "library/MediaItem.h"

namespace kelvara {

class Playlist {
  public:
    PersistentID persistentID() const { return persistentID_; }
    void setPersistentID(PersistentID id) { persistentID_ = id; }

    const std::string& name() const { return name_; }
    void setName(std::string v) { name_ = std::move(v); }

    // In the numbering the playlist filter uses (see DistinguishedKinds), not the XML file's.
    unsigned distinguishedKind() const { return distinguishedKind_; }
    void setDistinguishedKind(unsigned v) { distinguishedKind_ = v; }

    // Playlist order, duplicates kept, videos included.
    const std::vector<const MediaItem*>& items() const { return items_; }
    void setItems(std::vector<const MediaItem*> v) { items_ = std::move(v); }

    bool isMaster() const { return isMaster_; }
    void setIsMaster(bool v) { isMaster_ = v; }
    bool isFolder() const { return isFolder_; }
    void setIsFolder(bool v) { isFolder_ = v; }

    // 0 when the playlist is at the top level.
    PersistentID parentPersistentID() const { return parentPersistentID_; }
    void setParentPersistentID(PersistentID id) { parentPersistentID_ = id; }

  private:
    PersistentID persistentID_ = 0;
    std::string name_;
    unsigned distinguishedKind_ = 0;
    std::vector<const MediaItem*> items_;
    bool isMaster_ = false;
    bool isFolder_ = false;
    PersistentID parentPersistentID_ = 0;
};

}  // namespace kelvara
