#pragma once

#include <filesystem>

#include "conversion/TagDictionary.h"

namespace kelvara {

// Writes the one ID3v2 tag of a freshly encoded MP3 file with id3lib.
class TagDemo {
  public:
    // Removes every ID3 tag of `file` (LAME's included) and writes TIT2, TALB, TPE1, TCON, TRCK,
    // TYER, TBPM when bpm > 0 and APIC when artwork is given, UTF-16 text, no padding, no
    // unsynchronisation, no ID3v1. Throws std::runtime_error when the file cannot be tagged.
    static void setTagsForFile(const TagDictionary& tags, const std::filesystem::path& file);
};

}  // namespace kelvara
