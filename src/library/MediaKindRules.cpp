#include "library/MediaKindRules.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

namespace kelvara {
namespace {

bool oneOf(std::string_view extension, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), extension) != list.end();
}

// Apple's English kind texts.
constexpr std::array<std::string_view, 16> kEnglishKinds{
    "MPEG audio file",
    "AAC audio file",
    "Purchased AAC audio file",
    "Protected AAC audio file",
    "Matched AAC audio file",
    "Apple Music AAC audio file",
    "Apple Lossless audio file",
    "WAV audio file",
    "AIFF audio file",
    "MPEG-4 video file",
    "Purchased MPEG-4 video file",
    "Protected MPEG-4 video file",
    "QuickTime movie file",
    "MPEG audio stream",
    "Internet audio stream",
    "Audible file",
};

bool isEnglishKind(std::string_view kind) {
    return std::find(kEnglishKinds.begin(), kEnglishKinds.end(), kind) != kEnglishKinds.end();
}

// `kind` when it is one of Apple's English kind texts. Music.app writes some of them with
// no-break spaces ("Apple Music AAC audio file"), which compare as plain spaces.
OptionalText englishKind(const std::string& kind) {
    if (kind.find("\xC2\xA0") == std::string::npos) {
        if (isEnglishKind(kind)) return kind;
        return std::nullopt;
    }
    std::string plain;
    plain.reserve(kind.size());
    for (std::size_t i = 0; i < kind.size(); ++i) {
        if (kind[i] == '\xC2' && i + 1 < kind.size() && kind[i + 1] == '\xA0') {
            plain += ' ';
            ++i;
        } else {
            plain += kind[i];
        }
    }
    if (isEnglishKind(plain)) return plain;
    return std::nullopt;
}

// The English kind text of the extensions that tell the format on their own.
OptionalText kindForExtension(std::string_view extension) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kByExtension{{
        {".mp3", "MPEG audio file"},
        {".m4p", "Protected AAC audio file"},
        {".aac", "AAC audio file"},
        {".wav", "WAV audio file"},
        {".aif", "AIFF audio file"},
        {".aiff", "AIFF audio file"},
        {".aifc", "AIFF audio file"},
        {".m4v", "MPEG-4 video file"},
        {".mov", "QuickTime movie file"},
    }};
    for (const auto& [ext, text] : kByExtension) {
        if (ext == extension) return std::string(text);
    }
    return std::nullopt;
}

}  // namespace

MediaKind deriveMediaKind(const KindTraits& t, bool inAudiobooks, bool inVoiceMemos, bool inTones) {
    if (t.podcast) return MediaKind::Podcast;
    if (t.iTunesU) return MediaKind::ITunesU;
    if (t.tvShow) return MediaKind::TVShow;
    if (t.musicVideo) return MediaKind::MusicVideo;
    if (t.movie) return MediaKind::Movie;
    if (t.extension == ".ipa") return MediaKind::IOSApplication;
    if (t.extension == ".pdf") return MediaKind::PDFBook;
    if (oneOf(t.extension, {".epub", ".ibooks"})) return MediaKind::Book;
    if (oneOf(t.extension, {".m4b", ".aa", ".aax"}) || inAudiobooks) return MediaKind::Audiobook;
    if (inVoiceMemos) return MediaKind::VoiceMemo;
    if (t.extension == ".m4r" || inTones) return MediaKind::Ringtone;
    if (t.hasVideo) return MediaKind::HomeVideo;
    return MediaKind::Song;
}

OptionalText canonicalKindText(const OptionalText& kind, std::string_view extension) {
    if (kind) {
        if (auto english = englishKind(*kind)) return english;
    }
    if (auto byExtension = kindForExtension(extension)) return byExtension;
    // An MPEG-4 file holds AAC or Apple Lossless, and a localised text need not say which in a
    // way the conversion rules see; nor does a file without extension tell. Those are probed.
    if (!kind || extension.empty() || oneOf(extension, {".m4a", ".m4b", ".m4r", ".mp4"})) {
        return std::nullopt;
    }
    // Any other kind (FLAC, Ogg, ...) is a format of its own: kept as the library gives it, so
    // that it is not mistaken for a missing kind.
    return kind;
}

}  // namespace kelvara
