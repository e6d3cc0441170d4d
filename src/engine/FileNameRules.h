#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ExportOptionValues.h"
#include "platform/TextEncoding.h"

namespace kelvara {

// The naming rules every exported folder and file name goes through.
namespace FileNameRules {

// Longest name, in bytes, that Linux file systems accept for one folder entry.
inline constexpr std::size_t kMaxNameBytes = 255;

// The character set a playlist encoding stands for.
TextEncoding encodingForOption(PlaylistEncoding playlistEncoding);

// Removes the first character while the text is at least two characters long and begins with ".".
std::string stripLeadingDots(std::string text);

// Leading dots stripped, reduced to the character set (nearest letters, else "?"), then every
// character of "/\:.?%*|"<>" and every control character removed. The result never holds a dot
// and is always valid UTF-8.
std::string sanitizeFileNameString(std::string_view text, PlaylistEncoding playlistEncoding);

// Trims spaces, tabs and the other Unicode space separators (not line breaks) at both ends.
std::string trimSpaces(std::string_view text);

// `stem` + `suffix` cut to kMaxNameBytes by shortening the stem at a UTF-8 character boundary, so
// the suffix (".mp3") survives.
std::string fitName(std::string_view stem, std::string_view suffix = {});

// Control characters (U+0000-U+001F, U+007F, U+0080-U+009F) replaced by `replacement`, for text
// shown in the log, a playlist's information lines or on a terminal. Invalid UTF-8 stays as it is.
std::string withoutControlCharacters(std::string_view text, std::string_view replacement);

// Valid UTF-8 without control characters: both are dropped. The last step of every name.
std::string cleanName(std::string_view text);

// A file name that would name the folder itself or its parent ("", ".", "..") becomes "unknown".
std::string safeFileName(std::string name);

// The track number as the custom pattern's width 0 to 3 asks: as it is, or zero-padded to 2, 3 or 4
// digits (longer numbers in full).
std::string formatTrackNumber(std::int64_t number, std::int64_t trackNumberFormat);

}  // namespace FileNameRules
}  // namespace kelvara
