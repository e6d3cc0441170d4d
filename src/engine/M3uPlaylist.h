#pragma once

#include <cstdint>
#include <string>

#include "engine/ExportOptionValues.h"
#include "library/MediaItem.h"

namespace kelvara {

// The extended m3u text of one playlist or album: per song an information line and a path line
// relative to the playlist file, no header line. Collected song by song, written when the item
// is finished.
class M3uPlaylist {
  public:
    struct Options {
        FolderLayout layout = FolderLayout::PlaylistFolder;
        bool albumRun = false;
        bool saveWithFiles = true;  // "SaveM3uWithFiles"
        bool windowsPaths = false;  // path lines with "\"
        LineEnding lineEnding = LineEnding::Lf;
        PlaylistEncoding encoding = PlaylistEncoding::Utf8;
    };

    // Where the playlist file lies, and with it how a path line names a song's file.
    struct Placement {
        bool inSongFolder;       // else in the destination folder
        std::string pathPrefix;  // before the file name: "", or the song's folder and a separator
    };

    explicit M3uPlaylist(Options options) : options_(options) {}

    // The one rule for both: the playlist file lies in the folder of the song (`songFolder`,
    // relative to the destination, "/" between levels) and names it by its file name alone, or
    // it lies in the destination and names it through its folder. Playlist runs whose songs are
    // spread over artist/album folders (layouts 1 and 4) always take the destination.
    static Placement place(const Options& options, const std::string& songFolder);
    Placement place(const std::string& songFolder) const { return place(options_, songFolder); }

    // Adds `song`'s two lines; `fileName` lies in `songFolder`.
    void addSong(const MediaItem& song, const std::string& songFolder, const std::string& fileName);
    void clear() { text_.clear(); }
    // The file's bytes: line endings and character set as chosen (characters the set lacks become
    // their nearest equivalent or "?").
    std::string contents() const;

  private:
    Options options_;
    std::string text_;
};

}  // namespace kelvara
