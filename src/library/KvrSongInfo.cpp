#include "library/KvrSongInfo.h"

#include <cstdio>

namespace kelvara {
namespace {

std::optional<unsigned> nonZero(unsigned value) {
    return value == 0 ? std::nullopt : std::optional<unsigned>(value);
}

}  // namespace

std::string KvrSongInfo::formatDuration(std::uint64_t s) {
    char text[48];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", static_cast<unsigned long>(s / 3600),
                      static_cast<unsigned long>((s / 60) % 60),
                      static_cast<unsigned long>(s % 60));
    } else {
        std::snprintf(text, sizeof text, "%02lu:%02lu", static_cast<unsigned long>((s / 60) % 60),
                      static_cast<unsigned long>(s % 60));
    }
    return text;
}

void KvrSongInfo::setTime(std::optional<std::int64_t> seconds) {
    time_ = seconds;
    // Negative times (a total time past 2^31 ms read as signed) show as their unsigned value:
    // the seconds are always formatted as an unsigned count.
    if (seconds)
        timeWithFormat_ = formatDuration(static_cast<std::uint64_t>(*seconds));
    else
        timeWithFormat_.reset();
}

KvrSongInfo KvrSongInfo::fromMediaItem(const MediaItem& item) {
    KvrSongInfo info;
    info.mediaItem_ = &item;
    info.title_ = item.title();
    const Album* album = item.album();
    const Artist* artist = item.artist();
    if (album) {
        info.album_ = album->title();
        info.diskNumber_ = nonZero(album->discNumber());
        info.albumArtist_ = album->albumArtist();
        info.sortAlbum_ = album->sortTitle();
        info.sortAlbumArtist_ = album->sortAlbumArtist();
    }
    // The total time's low 32 bits as a signed number of milliseconds, truncated to seconds.
    const auto milliseconds =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(item.totalTime()));
    info.setTime(milliseconds / 1000);
    info.genre_ = item.genre();
    if (artist) {
        info.artist_ = artist->name();
        info.sortArtist_ = artist->sortName();
    }
    info.trackNumber_ = nonZero(item.trackNumber());
    info.playCount_ = item.playCount();
    info.beatsPerMinute_ = nonZero(item.beatsPerMinute());
    info.year_ = nonZero(item.year());
    info.sortTitle_ = item.sortTitle();
    info.composer_ = item.composer();
    info.sortComposer_ = item.sortComposer();
    info.releaseDate_ = item.releaseDate();
    info.addedDate_ = item.addedDate();
    info.modifiedDate_ = item.modifiedDate();
    info.lastPlayedDate_ = item.lastPlayedDate();
    info.comments_ = item.comments();
    info.songDescription_ = item.description().value_or("");
    if (item.rating() != 0) info.rating_ = item.rating();
    return info;
}

std::optional<std::filesystem::path> KvrSongInfo::locationString() const {
    if (!mediaItem_) return std::nullopt;
    return mediaItem_->location();
}

}  // namespace kelvara
