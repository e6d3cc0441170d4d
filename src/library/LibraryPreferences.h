#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

// Where the library's files are on this computer, as the user told us: "MusicFolder" (a local
// folder standing in for the library's "Music Folder") and "PathMap" (a list of "FROM=TO"
// texts). Both front ends read and write these keys, so they find the same files.
class LibraryPreferences {
  public:
    LibraryPreferences() = delete;

    static LibraryOpenOptions openOptions(const PreferencesStore& preferences);

    // None when the key is missing, empty or holds no text (the store reads a number as text).
    static std::optional<std::filesystem::path> musicFolder(const PreferencesStore& preferences);
    // The entries that parse, in order; the others are skipped.
    static std::vector<LocationMapping> pathMap(const PreferencesStore& preferences);

    // Writes both keys and flushes; an empty folder or map removes its key.
    static void store(PreferencesStore& preferences,
                      const std::optional<std::filesystem::path>& musicFolder,
                      const std::vector<LocationMapping>& pathMap);

    // "FROM=TO" into a pair, split at the first "="; none when there is no "=" or nothing
    // before it.
    static std::optional<LocationMapping> parseMapping(const std::string& text);

    // Whether most songs' files are missing, judged from a spread sample so that a big library
    // is not probed file by file.
    static bool mostFilesMissing(const MediaLibrary& library);

    // Whether the library's "Music Folder" names a folder that exists here.
    static bool musicFolderIsLocal(const MediaLibrary& library);
};

}  // namespace kelvara
