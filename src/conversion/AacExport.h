#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Status.h"

namespace kelvara {

class MediaItem;

// The metadata items of a converted M4A file, in the order they are written; each is written
// only when present (an empty text is present, and written as such).
struct AacMetadata {
    std::optional<std::string> title;          // (c)nam
    std::optional<std::string> album;          // (c)alb
    std::optional<std::string> artist;         // (c)ART
    std::optional<std::string> genre;          // (c)gen
    std::optional<std::uint16_t> trackNumber;  // trkn, the low 16 bits, no total
    std::optional<std::string> year;           // (c)day
    std::optional<std::string> artworkJpeg;    // covr

    // The items of a media item (year below 1 and track number not above 0 are absent).
    // Artwork is left to the caller, which reads it only when converting.
    static AacMetadata fromItem(const MediaItem* item);
};

// Copies the AAC audio of an M4A file unchanged into a new M4A file, writing the metadata. Works
// box by box (the sample tables are copied, never loaded), so memory does not grow with length.
class AacExport {
  public:
    // Writes `output` (which is replaced). A failure names the file and the reason; `output` may
    // then hold a partial file.
    static Status exportWithMetadata(const std::filesystem::path& input,
                                     const std::filesystem::path& output,
                                     const AacMetadata& metadata);
};

}  // namespace kelvara
