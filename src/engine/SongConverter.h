#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "engine/ExportOptionValues.h"
#include "library/MediaItem.h"

namespace kelvara {

// What one song's conversion needs from the run. The converter checks the destination itself
// (skip or replace, by skipIfExists), writes tags and artwork, and logs its outcome through the
// two log functions. It returns when the song is finished; the engine then hands on.
struct ConversionJob {
    const MediaItem* song = nullptr;
    std::filesystem::path source;
    std::filesystem::path destination;
    int bitRate = 0;                                  // kbit/s, already chosen by the song export
    Mp3Algorithm algorithm = Mp3Algorithm::Standard;  // the persistent option: MP3 quality
    bool skipIfExists = true;
    // The run's stop request. Once it is true the conversion ends between chunks of its work
    // (well under half a second), keeps no partial or temporary file, logs nothing and returns
    // Failed; so does the wait for another run's working files.
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(const std::string&)> logMessage;
    std::function<void(const std::string&)> logErrorMessage;
    // Lines for the developer console (not the log window).
    std::function<void(const std::string&)> console;
    // Which set of working files the conversion uses: 1 the run's fixed ones; songs converted at
    // the same time have different numbers.
    int worker = 1;
};

enum class ConversionOutcome {
    Written,  // the destination now holds the converted, tagged file
    Skipped,  // the destination existed and skipIfExists was on
    Failed,   // nothing new at the destination; the reason was logged, unless the run stopped
};

// The conversion subsystem as the engine sees it. One instance per run.
class SongConverter {
  public:
    virtual ~SongConverter() = default;

    // Whether songs with different `worker` numbers may be converted at the same time, each on its
    // own thread. A converter that does not say so gets one song at a time, whatever the option.
    virtual bool convertsSongsAtOnce() const { return false; }

    // Called once before the first song and once after the last. beginRun takes the exclusive lock
    // on the shared intermediate files (waiting, and saying so through `logMessage`, while another
    // Kelvara run holds it; the wait ends early when `cancel` becomes true). Fails when the run
    // cannot convert at all, or when `cancel` ended the wait.
    virtual Status beginRun(const std::function<void(const std::string&)>& logMessage,
                            const std::atomic<bool>* cancel) = 0;
    // Releases the lock; after songs of several workers, it first removes their working files.
    virtual void endRun() = 0;

    // MP3 at job.bitRate with ID3v2 tags and artwork.
    virtual ConversionOutcome convertItemAtUrl(const ConversionJob& job) = 0;
    // AAC in M4A at job.bitRate with metadata and artwork.
    virtual ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) = 0;

    // Apple's English kind text for a file whose library kind is localised: probes the codec of an
    // ".m4a" ("AAC audio file" or "Apple Lossless audio file"). Absent when it cannot tell.
    virtual std::optional<std::string> probeKind(const std::filesystem::path& file) = 0;

    // Writes the item's artwork as a PNG file at `destination` (temporary name, then rename).
    // Returns false when the item has no artwork or the file could not be written.
    virtual bool writeAlbumArtwork(const MediaItem& item,
                                   const std::filesystem::path& destination) = 0;
};

}  // namespace kelvara
