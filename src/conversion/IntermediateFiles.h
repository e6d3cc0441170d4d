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

    // Worker 1's files have the fixed names; a run converting several songs at once gives each
    // further worker its own, numbered after the name ("songData-2", "tmpAACSongData-2.m4a").
    static std::filesystem::path songData(int worker = 1) {
        return documentsFolder() / numbered("songData", "", worker);
    }
    static std::filesystem::path tmpArtWork(int worker = 1) {
        return documentsFolder() / numbered("tmpArtWork", "", worker);
    }
    static std::filesystem::path tmpAACSongData(int worker = 1) {
        return documentsFolder() / numbered("tmpAACSongData", ".m4a", worker);
    }
    // Removes the files of workers 1 to `workers`.
    static void removeWorkingFiles(int workers);
    static std::filesystem::path lockFile() { return documentsFolder() / ".kelvara.lock"; }

  private:
    static std::string numbered(const std::string& stem, const std::string& extension, int worker);
};

}  // namespace kelvara
