#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"

namespace kelvara::cli {

// Options every command accepts, and the library they lead to.
class CliContext {
  public:
    std::optional<std::filesystem::path> libraryFile;
    std::optional<std::filesystem::path> musicFolder;
    std::vector<std::string> mappings;  // "FROM=TO"
    std::optional<std::filesystem::path> configDir;

    // Points the preferences store at --config-dir when given. Call before reading settings.
    void applyConfigDir() const;

    // Opens the library (--library, "LibraryPath", $KELVARA_LIBRARY, the usual places), stores it
    // in the library session, keeps it for the rest of the command and returns it. Without
    // --music-folder or --map, the folder or path map stored by the desktop application stands in
    // for each. Prints one clear line on stderr and returns nullptr when it cannot be found or
    // opened.
    const MediaLibrary* openLibrary();

    // The library openLibrary() opened (null before, or when it failed), for whatever must keep
    // it alive on its own, such as an export run.
    const std::shared_ptr<const MediaLibrary>& library() const { return library_; }

  private:
    std::shared_ptr<const MediaLibrary> library_;
};

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIssues = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitStopped = 130;

}  // namespace kelvara::cli
