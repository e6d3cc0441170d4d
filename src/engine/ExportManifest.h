#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Status.h"

namespace kelvara {

// A file's size and modification time (nanoseconds since the epoch), as lstat or stat gives them.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The options that shaped an output's bytes. A copy leaves every other field at its default, so
// that changing the bit rate of a run that only copies does not rewrite its files.
struct OutputShape {
    std::string conversion = "copy";  // "copy", "mp3" or "aac"
    std::int64_t bitRate = 0;
    std::int64_t quality = 0;
    bool artwork = false;
    bool operator==(const OutputShape&) const = default;
};

// One file a run wrote into the destination.
struct ManifestEntry {
    enum class Kind { Song, Playlist, Artwork };
    Kind kind = Kind::Song;
    std::string path;  // relative to the destination root, '/'-separated
    // What the file was made from; songs only.
    std::string source;
    FileStamp sourceStamp;
    OutputShape shape;
    // The output as lstat saw it once written and closed: the file system's own rounding of the
    // time (two seconds on FAT) is what a later lstat gives back, so the comparison stays exact.
    FileStamp output;
    bool operator==(const ManifestEntry&) const = default;
};

// The record of what the exports into one destination wrote, kept as ".kelvara-export.json" in its
// root, so that a later run can tell its own files from the user's: skip what has not changed,
// and remove what is no longer exported without ever touching anything it did not write.
//
// The file is UTF-8 JSON:
//   {"format": "kelvara-export", "version": 1,
//    "files": [{"kind": "song", "path": "Artist/Album/01 Song.mp3",
//               "source": "/home/me/Music/Song.m4a", "sourceSize": 123, "sourceMtime": NS,
//               "shape": {"conversion": "mp3", "bitRate": 192, "quality": 0, "artwork": true},
//               "size": 456, "mtime": NS},
//              {"kind": "playlist", "path": "Mix.m3u", "size": 78, "mtime": NS},
//              {"kind": "artwork", "path": "Artist/Album/Folder.jpg", "size": 9, "mtime": NS}]}
// Times are integer nanoseconds since the epoch; sizes are bytes. "source", "sourceSize",
// "sourceMtime" and "shape" are written for songs only. Entries are sorted by path.
//
// A path is relative and '/'-separated: never empty, never absolute, no empty, "." or ".."
// component, no control character, valid UTF-8, and never the record's own name. A path is never
// repaired, since a repaired path would name another file; an entry breaking these rules makes
// the whole record invalid. A source path is only informative, so it is made valid UTF-8.
//
// Thread-safe: the run records songs from several threads.
class ExportManifest {
  public:
    static constexpr std::string_view fileName = ".kelvara-export.json";
    static constexpr std::string_view formatName = "kelvara-export";
    static constexpr int formatVersion = 1;

    // Where the record came from.
    enum class Origin {
        Fresh,    // made empty, to record a run
        Absent,   // the destination had none: exported before this feature, or never
        Loaded,   // read whole
        Invalid,  // unreadable, truncated, not JSON, not ours, or with an unsafe path
        Newer,    // written by a later version that this one cannot read
    };

    ExportManifest() = default;
    ExportManifest(const ExportManifest&) = delete;
    ExportManifest& operator=(const ExportManifest&) = delete;

    // Reads the record of `destinationRoot`. Never fails as such: when there is no record, the
    // result is empty with origin Absent; when it cannot be trusted, empty with origin Invalid or
    // Newer and loadStatus() saying why.
    static std::unique_ptr<ExportManifest> load(const std::filesystem::path& destinationRoot);
    // The same from the text of a record; `where` names it in messages.
    static std::unique_ptr<ExportManifest> parse(std::string_view text, const std::string& where);

    Origin origin() const { return origin_; }
    // Ok unless the origin is Invalid or Newer.
    const Status& loadStatus() const { return loadStatus_; }
    // Only a record read whole may be trusted to say which files are ours to remove.
    bool permitsRemoval() const { return origin_ == Origin::Loaded; }

    // Records a file, replacing any entry with the same path. Fails on a path breaking the rules.
    Status add(ManifestEntry entry);
    // Takes over the entries of `earlier` this record has no entry for, except those of
    // `forgotten`: files left alone this run stay known as ours.
    void carryOver(const ExportManifest& earlier, const std::set<std::string>& forgotten);

    // The entry of a relative path, if any.
    std::optional<ManifestEntry> find(std::string_view path) const;
    bool contains(std::string_view path) const;
    std::size_t size() const;
    // Every entry, sorted by path.
    std::vector<ManifestEntry> entries() const;

    // Whether both hold the same entries: a record that would be saved unchanged is left alone.
    bool sameEntriesAs(const ExportManifest& other) const;

    std::string toJson() const;
    // Writes the record into `destinationRoot` through a temporary file that is synced and then
    // renamed over the old one, so that a run killed at any point leaves the old record or the
    // new one, never a broken one.
    Status save(const std::filesystem::path& destinationRoot) const;

    // Whether `path` may be recorded, by the rules above.
    static bool isSafeRelativePath(std::string_view path);

  private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, ManifestEntry> entries_;
    Origin origin_ = Origin::Fresh;
    Status loadStatus_;
};

}  // namespace kelvara
