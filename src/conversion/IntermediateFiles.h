#pragma once

#include <filesystem>
#include <string>

#include "platform/Status.h"

namespace kelvara {

// The fixed working files in ~/Documents that every conversion of the user shares, and the lock
// that keeps two runs from using them at once.
class IntermediateFiles {
  public:
    // $HOME/Documents (the password database's home when HOME is unset).
    static std::filesystem::path documentsFolder();
    // Creates the Documents folder when it is missing; fails naming it when that fails.
    static Status ensureDocumentsFolder();

    static std::filesystem::path songData() { return documentsFolder() / "songData"; }
    static std::filesystem::path tmpArtWork() { return documentsFolder() / "tmpArtWork"; }
    static std::filesystem::path tmpAACSongData() {
        return documentsFolder() / "tmpAACSongData.m4a";
    }
    static std::filesystem::path lockFile() { return documentsFolder() / ".kelvara.lock"; }
};

}  // namespace kelvara
