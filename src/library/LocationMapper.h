#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/MediaLibrary.h"

namespace kelvara {

// Turns the file URLs of a library into local paths: decodes each URL once, then replaces the
// first matching prefix (the library's "Music Folder" by the user's music folder, then the user's
// own pairs in order). Libraries come from a Mac or a PC, so their paths rarely exist as written.
class LocationMapper {
  public:
    // `libraryMusicFolder` is the library's "Music Folder" URL, when it has one.
    LocationMapper(const OptionalText& libraryMusicFolder, const LibraryOpenOptions& options);

    // The decoded path of a file URL: "file://localhost/Users/a%20b" → "/Users/a b",
    // "file://localhost/C:/Music/x.mp3" → "C:/Music/x.mp3". Percent escapes are decoded exactly
    // once and "+" stays a plus. Absent for anything that is not a file URL (streams).
    static std::optional<std::string> pathFromFileURL(std::string_view url);

    // The local path for a location URL; empty when the URL is not a file URL.
    std::filesystem::path map(std::string_view url) const;

    // The local path for an already decoded path.
    std::string mapPath(std::string path) const;

  private:
    struct Rule {
        // The prefix in each Unicode form it may be written in, without a trailing slash.
        std::vector<std::string> forms;
        bool caseInsensitive = false;  // Windows paths
        std::string to;
    };
    void addRule(std::string_view from, const std::filesystem::path& to);

    std::vector<Rule> rules_;
};

}  // namespace kelvara
