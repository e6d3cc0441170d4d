#pragma once

#include "library/LibraryTypes.h"

namespace kelvara {

// An artist as one song gives it: its identity (and persistent ID) is the name; songs share the
// object when their sort names agree too.
class Artist {
  public:
    PersistentID persistentID() const { return persistentID_; }
    void setPersistentID(PersistentID id) { persistentID_ = id; }

    const OptionalText& name() const { return name_; }
    void setName(OptionalText name) { name_ = std::move(name); }

    const OptionalText& sortName() const { return sortName_; }
    void setSortName(OptionalText sortName) { sortName_ = std::move(sortName); }

  private:
    PersistentID persistentID_ = 0;
    OptionalText name_;
    OptionalText sortName_;
};

}  // namespace kelvara
