#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "library/MediaLibrary.h"

namespace kelvara {

// Builds a MediaLibrary from the XML property list that iTunes and Music write ("iTunes Music
// Library.xml", "Library.xml"). Real files differ a lot between versions and platforms, so the
// reader is lenient inside the file: keys in any order, missing or malformed values read as
// absent, unknown keys ignored. Only a file that cannot be read, is not XML, is not a property
// list or is cut short is refused.
class MediaLibraryReader {
  public:
    explicit MediaLibraryReader(LibraryOpenOptions options);

    // A failure's message names the file. The library is never null.
    Result<std::unique_ptr<MediaLibrary>> readFile(const std::filesystem::path& file) const;

    // The same for a document already in memory; `name` stands for the file in messages.
    Result<std::unique_ptr<MediaLibrary>> readText(std::string text,
                                                   const std::filesystem::path& name) const;

    // Apple's English text for the item's file kind: `kind` itself when it is one of Apple's
    // English kind texts, else derived from the file extension (".mp3", ".m4p", ...). Otherwise
    // absent when there is no kind, or for an MPEG-4 file (".m4a", ...) or a file without
    // extension, whose codec is probed at conversion time; any other kind text ("FLAC audio
    // file") is kept as it is.
    static OptionalText canonicalKind(const OptionalText& kind, std::string_view extension);

  private:
    Result<std::unique_ptr<MediaLibrary>> parse(char* data, std::size_t size,
                                                const std::filesystem::path& name) const;

    LibraryOpenOptions options_;
};

}  // namespace kelvara
