#pragma once

#include <string>
#include <string_view>

#include "library/LibraryTypes.h"

namespace kelvara {

// What an item's media kind depends on besides the playlists it is in; kept from the track's
// dict until the playlists have been read.
struct KindTraits {
    bool podcast = false, iTunesU = false, tvShow = false, musicVideo = false, movie = false,
         hasVideo = false;
    std::string extension;  // of the file name, lower case with its dot; empty when none
    std::string path;       // decoded, mapped once the library's music folder is known
};

// The item's media kind, from its own flags and extension, and whether it is in the library's
// audiobooks, voice memos or tones playlists.
MediaKind deriveMediaKind(const KindTraits& traits, bool inAudiobooks, bool inVoiceMemos,
                          bool inTones);

// The English kind text the conversion rules test (see MediaLibraryReader::canonicalKind).
OptionalText canonicalKindText(const OptionalText& kind, std::string_view extension);

}  // namespace kelvara
