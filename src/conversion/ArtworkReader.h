#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace kelvara {

// The artwork of a media item, which the library file does not hold: the picture embedded in the
// audio file (ID3 APIC, MP4 covr, FLAC picture), else a cover image beside the file. Read only
// when asked, never at library load.
class ArtworkReader {
  public:
    // The image bytes as stored (JPEG, PNG, ...), or none.
    static std::optional<std::string> artworkForFile(const std::filesystem::path& audioFile);

    // Only a regular file is opened: a FIFO or a device would block the read for ever.
    static std::optional<std::string> embeddedPicture(const std::filesystem::path& audioFile);
    // cover, folder, front with .jpg, .jpeg or .png, in that order; letter case ignored.
    static std::optional<std::filesystem::path> coverImageBeside(
        const std::filesystem::path& audioFile);

    // The content of an image file, when it is a regular file of at most maxImageFileSize
    // bytes; the check is made on the opened file, so a FIFO put in its place never blocks.
    static std::optional<std::string> readImageFile(const std::filesystem::path& file);
    static constexpr std::size_t maxImageFileSize = 64u << 20;
};

}  // namespace kelvara
