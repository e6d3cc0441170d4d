#include "engine/M3uPlaylist.h"

#include <algorithm>

#include "engine/FileNameRules.h"
#include "platform/TextEncoding.h"

namespace kelvara {

M3uPlaylist::Placement M3uPlaylist::place(const Options& options, const std::string& songFolder) {
    const bool spread = !options.albumRun && (options.layout == FolderLayout::MusicArtistAlbum ||
                                              options.layout == FolderLayout::RootArtistAlbum);
    const bool inSongFolder = options.saveWithFiles && !spread;
    if (inSongFolder || songFolder.empty()) return {inSongFolder, ""};
    std::string prefix = songFolder;
    const char separator = options.windowsPaths ? '\\' : '/';
    std::replace(prefix.begin(), prefix.end(), '/', separator);
    return {false, prefix + separator};
}

void M3uPlaylist::addSong(const MediaItem& song, const std::string& songFolder,
                          const std::string& fileName) {
    const auto seconds =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(song.totalTime() / 1000));
    // A line break in a title would split the entry; other control characters would reach the
    // player's display.
    text_ += "#EXTINF:" + std::to_string(seconds) + "," +
             FileNameRules::withoutControlCharacters(song.title().value_or(""), " ");
    if (song.artist() && song.artist()->name())
        text_ += " - " + FileNameRules::withoutControlCharacters(*song.artist()->name(), " ");
    text_ += "\n" + place(songFolder).pathPrefix + fileName + "\n";
}

std::string M3uPlaylist::contents() const {
    std::string content;
    if (options_.lineEnding == LineEnding::CrLf) {
        content.reserve(text_.size() + text_.size() / 16);
        for (char c : text_) {
            if (c == '\n') content += '\r';
            content += c;
        }
    } else {
        content = text_;
    }
    if (options_.encoding != PlaylistEncoding::Utf8)
        content = encodeLossy(content, FileNameRules::encodingForOption(options_.encoding));
    return content;
}

}  // namespace kelvara
