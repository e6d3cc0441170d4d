#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/RunLock.h"
#include "engine/SongConverter.h"
#include "platform/AtomicFile.h"

namespace kelvara {

// The conversion subsystem behind SongConverter: MP3 through the intermediate WAVE file, LAME and
// id3lib; AAC through AACTranscoder and a remux with metadata; album artwork files. Every file
// the user keeps is written under a temporary name in its folder and renamed into place only when
// complete. One instance per run; conversions are synchronous, and songs of different workers may
// be converted at the same time on different threads.
class MediaConverter : public SongConverter {
  public:
    // Quietens FFmpeg's own stderr messages: failures reach the log with their reasons.
    MediaConverter() = default;
    ~MediaConverter() override = default;

    bool convertsSongsAtOnce() const override { return true; }
    Status beginRun(const std::function<void(const std::string&)>& logMessage,
                    const std::atomic<bool>* cancel) override;
    void endRun() override;

    ConversionOutcome convertItemAtUrl(const ConversionJob& job) override;
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) override;
    std::optional<std::string> probeKind(const std::filesystem::path& file) override;
    bool writeAlbumArtwork(const MediaItem& item,
                           const std::filesystem::path& destination) override;

    // The transcoder's bit rate in bits/s for a rate in kbit/s: never below 64000.
    static std::uint32_t transcoderBitRate(int kbps);

  private:
    // Skips or removes an existing destination; absent when the conversion may go on.
    std::optional<ConversionOutcome> checkDestination(const ConversionJob& job, bool mp3);
    // What the MP3 encoder did while the song was decoded: its result and its console lines.
    struct Mp3Run {
        Status status = errorStatus("");  // failed until the encoder has run
        std::vector<std::string> console;
    };
    // Shows the encoding's lines and, when it succeeded, tags the MP3 and puts it in place.
    // `file` is the MP3's temporary file, or why it could not be created.
    ConversionOutcome convertTomp3andSaveTo(const ConversionJob& job,
                                            const Result<std::unique_ptr<AtomicFile>>& file,
                                            const Mp3Run& mp3);
    // Creates ~/Documents when missing and, outside a run, takes the working files' lock into
    // `songLock` for this song. False (the reason logged as an issue) when either fails.
    bool prepareWorkingFiles(const ConversionJob& job, RunLock& songLock);

    // Remembers the highest worker number met, whose working files endRun removes.
    void noteWorker(int worker);

    RunLock lock_;
    std::atomic<int> workersUsed_{1};
};

}  // namespace kelvara
