#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "engine/ExportManifest.h"

namespace kelvara {

// Whether a song's file in the destination is written again or left as it is, from the export
// record and what one stat of the source and one lstat of the destination say; nothing is read.
class UpdateDecision {
  public:
    // What to do with an existing destination file ("SkipIfExists" 1, 0 and 2).
    enum class Policy { Skip, Overwrite, Update };

    enum class Reason {
        New,            // nothing at the destination
        Exists,         // something there, and the policy is to skip it
        Unchanged,      // ours, and nothing that made it changed
        Replace,        // something there, and the policy is to overwrite
        SourceChanged,  // the source's path, size or time differs from the record
        ShapeChanged,   // this run's conversion, bit rate, quality or artwork differ
        OutputChanged,  // the file is not the one recorded: edited, replaced, or not a file
        OutputMissing,  // recorded, but gone
        NotRecorded,    // a file there that no record vouches for
    };

    struct Verdict {
        bool write = false;
        Reason reason = Reason::New;
        // The word of the dry run's plan: "new", "replace", "unchanged (skip)" or
        // "exists (skip)".
        const char* planWord() const;
        // Why, in a few words, for the log; empty for New.
        const char* detail() const;
    };

    // What lstat says of the destination path: nothing there, or a regular file and its stamp,
    // or something else (folder, link, device...).
    struct Destination {
        bool exists = false;
        bool regularFile = false;
        FileStamp stamp;
    };

    // `recorded` is the record's entry for the destination path (null when none); `source` the
    // source's path and stat now. Under Update, a file with no entry is written again, since
    // nothing says it holds this song as this run would make it; a destination without any
    // record thus behaves as with Overwrite, a file's first update costs a write, and each run
    // after that skips it.
    static Verdict decide(Policy policy, const ManifestEntry* recorded, const std::string& source,
                          const FileStamp& sourceNow, const OutputShape& shape,
                          const Destination& destination);

    // One stat (following links: the library may point through one) and one lstat.
    static std::optional<FileStamp> statSource(const std::filesystem::path& source);
    static Destination lstatDestination(const std::filesystem::path& destination);
};

}  // namespace kelvara
