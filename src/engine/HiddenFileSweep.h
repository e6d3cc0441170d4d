#pragma once

#include <filesystem>

namespace kelvara {

// Removes the clutter other systems leave on a player's card: the folders and files ".fseventsd",
// ".Spotlight-V100", ".TemporaryItems", ".Trashes" and ".DS_Store", and every "._NAME" companion
// that lies beside an entry NAME. Symbolic links are never followed, so nothing outside the tree
// is visited or removed (removing a link removes the link only). Errors are passed over.
class HiddenFileSweep {
  public:
    // Sweeps the whole tree under `root`, files that were there before the run included.
    static void run(const std::filesystem::path& root);
};

}  // namespace kelvara
