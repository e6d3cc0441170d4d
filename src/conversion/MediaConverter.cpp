#include "conversion/MediaConverter.h"

#include <algorithm>
#include <thread>

#include "conversion/AACTranscoder.h"
#include "conversion/AacExport.h"
#include "conversion/ArtworkReader.h"
#include "conversion/FfmpegHandles.h"
#include "conversion/FfmpegLibraries.h"
#include "conversion/ImageCodec.h"
#include "conversion/IntermediateFiles.h"
#include "conversion/Mp3Encoder.h"
#include "conversion/PcmDecoder.h"
#include "conversion/TagDemo.h"
#include "platform/AtomicFile.h"

namespace kelvara {
namespace {

void say(const std::function<void(const std::string&)>& to, const std::string& line) {
    if (to) to(line);
}

std::string sizeInK(const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    return std::to_string(ec ? 0 : size / 1024) + " K";
}

// The run's stop request has been made: the song ends where it is, without an issue, and
// nothing of it stays.
bool stopped(const ConversionJob& job) { return job.cancel && *job.cancel; }

// Working files and album images, not worth an fsync: a crash loses only a copy.
Status writeWholeFile(const std::filesystem::path& file, std::string_view bytes) {
    auto created = AtomicFile::create(file);
    if (!created.ok()) return created.status();
    if (Status written = (*created)->write(bytes); !written.ok()) return written;
    return (*created)->commit();
}

// What the song's artwork gave: a JPEG, or why there is none.
struct SongArtwork {
    bool present = false;  // the song has artwork at all
    bool refused = false;  // too large to decode; the console has said so
    std::optional<std::string> jpeg;
};

// Artwork only ever costs the song its picture: a picture too large to decode is refused from
// its header, and any failure while converting it (memory included) leaves the song without one.
SongArtwork songArtwork(const ConversionJob& job, float compressionFactor) {
    SongArtwork artwork;
    try {
        const auto image = ArtworkReader::artworkForFile(job.source);
        if (!image) return artwork;
        artwork.present = true;
        if (ImageCodec::isTooLarge(*image)) {
            const auto size = *ImageCodec::dimensions(*image);
            say(job.console, "Artwork of " + std::to_string(size.first) + " x " +
                                 std::to_string(size.second) + " pixels in " + job.source.string() +
                                 " is over 100 million pixels; the song is converted without it");
            artwork.refused = true;
            return artwork;
        }
        artwork.jpeg = ImageCodec::JpegRepresentationOfImage(*image, compressionFactor);
    } catch (const std::exception&) {
        artwork.jpeg.reset();
    }
    return artwork;
}

constexpr const char* waitingLine =
    "Another Kelvara export is converting songs; waiting for it to finish.";

}  // namespace

Status MediaConverter::beginRun(const std::function<void(const std::string&)>& logMessage,
                                const std::atomic<bool>* cancel) {
    if (Status folder = IntermediateFiles::ensureDocumentsFolder(); !folder.ok()) return folder;
    const auto lockFile = IntermediateFiles::lockFile();
    bool waited = false;
    const Result<bool> locked = lock_.acquire(
        lockFile,
        [&] {
            waited = true;
            say(logMessage, waitingLine);
        },
        cancel);
    if (!locked.ok()) return locked.status();
    // Stopped while waiting: the run sees its stop request and ends as stopped by the user.
    if (!*locked) return errorStatus("Stopped while waiting for another export");
    if (waited) say(logMessage, "The other export has finished; continuing.");
    return okStatus();
}

void MediaConverter::endRun() {
    // A run that converted one song at a time leaves its working files, as it always has; one
    // that converted several at once removes every worker's, while the lock still keeps every
    // other run away from them.
    if (const int workers = workersUsed_.exchange(1); workers > 1)
        IntermediateFiles::removeWorkingFiles(workers);
    lock_.release();
}

bool MediaConverter::prepareWorkingFiles(const ConversionJob& job, RunLock& songLock) {
    if (const Status folder = IntermediateFiles::ensureDocumentsFolder(); !folder.ok()) {
        say(job.logErrorMessage, "Error: " + folder.message());
        return false;
    }
    // Without a run (beginRun), the song holds the shared working files by itself.
    if (lock_.isHeld()) return true;
    const Result<bool> locked = songLock.acquire(
        IntermediateFiles::lockFile(), [&] { say(job.logMessage, waitingLine); }, job.cancel);
    if (locked.ok() && *locked) return true;
    if (!stopped(job)) say(job.logErrorMessage, "Error: " + locked.message());
    return false;
}

void MediaConverter::noteWorker(int worker) {
    int seen = workersUsed_.load();
    while (worker > seen && !workersUsed_.compare_exchange_weak(seen, worker)) {
    }
}

std::uint32_t MediaConverter::transcoderBitRate(int kbps) {
    const std::int64_t bits = std::int64_t(kbps) * 1000;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(bits, 64000, 0xFFFFFFFF));
}

std::optional<ConversionOutcome> MediaConverter::checkDestination(const ConversionJob& job,
                                                                  bool mp3) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(job.destination, ec);
    if (!std::filesystem::exists(status)) return std::nullopt;
    if (mp3) say(job.console, "MP3 File exists!!");
    if (job.skipIfExists) {
        say(job.logMessage, "File exists at:" + job.destination.string());
        return ConversionOutcome::Skipped;
    }
    say(job.logMessage, "File exists. Will delete file at:" + job.destination.string());
    // A file is replaced by the rename that completes the conversion, so the earlier export
    // stays whole until the new one is, and stays when the conversion fails. Anything else has
    // to go first; one that vanished meanwhile needs no removal.
    if (status.type() == std::filesystem::file_type::regular ||
        status.type() == std::filesystem::file_type::symlink)
        return std::nullopt;
    std::filesystem::remove(job.destination, ec);
    if (ec) {
        // The same wording as the copy path's.
        say(job.logErrorMessage,
            "Delete error: Cannot remove " + job.destination.string() + ": " + ec.message());
        return ConversionOutcome::Failed;
    }
    return std::nullopt;
}

ConversionOutcome MediaConverter::convertItemAtUrl(const ConversionJob& job) {
    noteWorker(job.worker);
    if (const auto early = checkDestination(job, true)) return *early;
    RunLock songLock;
    if (!prepareWorkingFiles(job, songLock)) return ConversionOutcome::Failed;

    // The MP3 is encoded on a second thread while the song is decoded, reading the intermediate
    // file behind the decoder; the encoder's console lines wait for the end of both and are shown
    // here in their place. Without a temporary file for the MP3 there is nothing to encode into:
    // the song is decoded alone and fails below as before.
    const auto file = AtomicFile::create(job.destination);
    PcmProgress progress;
    Mp3Run mp3;
    PcmDecoder::Result decoded;
    {
        std::jthread encoder;  // joined at the end of this block, once the decoder has finished
        if (file.ok())
            encoder = std::jthread([&] {
                const auto keep = [&](const std::string& line) { mp3.console.push_back(line); };
                try {
                    mp3.status = Mp3Encoder::encode(
                        IntermediateFiles::songData(job.worker), (*file)->fd(), job.bitRate,
                        Mp3Encoder::qualityForAlgorithm(job.algorithm), job.destination.string(),
                        keep, &progress, job.cancel);
                } catch (const std::exception& e) {
                    mp3.status = errorStatus(e.what());
                }
            });
        // Announces its end to the encoder however it returns.
        decoded = PcmDecoder::decode(job.source, IntermediateFiles::songData(job.worker),
                                     file.ok() ? &progress : nullptr, job.cancel);
    }
    if (stopped(job)) {
        // The MP3's temporary file goes with `file`; a part of the song is no working file.
        std::error_code ec;
        std::filesystem::remove(IntermediateFiles::songData(job.worker), ec);
        return ConversionOutcome::Failed;
    }
    if (!decoded.ok) {
        say(job.console, "error: " + decoded.error);
        say(job.logErrorMessage, "Error: " + decoded.error);
        return ConversionOutcome::Failed;
    }
    // The song is still converted up to the damage, as far as it could be read.
    if (!decoded.warning.empty()) say(job.logErrorMessage, "Error: " + decoded.warning);
    say(job.console, "");
    return convertTomp3andSaveTo(job, file, mp3);
}

ConversionOutcome MediaConverter::convertTomp3andSaveTo(
    const ConversionJob& job, const Result<std::unique_ptr<AtomicFile>>& file, const Mp3Run& mp3) {
    const auto fail = [&](const std::string& reason) {
        say(job.console, reason);
        say(job.logErrorMessage, " Error : Lame " + reason);
        say(job.console, "size of mp3=" + sizeInK(job.destination));
        return ConversionOutcome::Failed;
    };
    TagDictionary tags = TagDictionary::fromItem(job.song);
    say(job.console, "---------------------");

    if (!file.ok()) {
        say(job.logErrorMessage, "Error: " + file.message());
        say(job.console, "size of mp3=" + sizeInK(job.destination));
        return ConversionOutcome::Failed;
    }
    for (const auto& line : mp3.console) say(job.console, line);
    if (!mp3.status.ok()) return fail(mp3.status.message());

    // Artwork that cannot be used leaves the song without a picture, not unconverted.
    const SongArtwork artwork = songArtwork(job, 0.9f);
    if (artwork.jpeg) {
        const Status saved =
            writeWholeFile(IntermediateFiles::tmpArtWork(job.worker), *artwork.jpeg);
        if (saved.ok())
            tags.artwork = IntermediateFiles::tmpArtWork(job.worker);
        else
            say(job.console,
                "Cannot save the artwork; the song is converted without it: " + saved.message());
    } else if (!artwork.present) {
        say(job.console, "");
    } else if (!artwork.refused) {
        say(job.console, "Unreadable artwork in " + job.source.string());
    }
    // The tag is made in memory and written into the MP3's own temporary file, every write
    // checked: a full disk fails the song instead of giving a truncated file.
    Result<std::string> tag = TagDemo::render(tags);
    if (!tag.ok() && tags.artwork) {
        say(job.console, tag.message() + "; the song is converted without it");
        tags.artwork.reset();
        tag = TagDemo::render(tags);
    }
    if (!tag.ok()) return fail(tag.message());
    if (const Status tagged = TagDemo::replaceTags((*file)->fd(), *tag); !tagged.ok())
        return fail(tagged.message());
    if (stopped(job)) return ConversionOutcome::Failed;
    if (const Status committed = (*file)->commit(); !committed.ok())
        return fail(committed.message());
    say(job.console, "size of mp3=" + sizeInK(job.destination));
    return ConversionOutcome::Written;
}

ConversionOutcome MediaConverter::convertToAACItemAtUrl(const ConversionJob& job) {
    noteWorker(job.worker);
    if (const auto early = checkDestination(job, false)) return *early;
    say(job.console, std::to_string(job.bitRate));
    RunLock songLock;
    if (!prepareWorkingFiles(job, songLock)) return ConversionOutcome::Failed;
    // A failed transcoding must never leave the previous song's audio for this one.
    const auto temporary = IntermediateFiles::tmpAACSongData(job.worker);
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    {
        AACTranscoder transcoder(job.source, temporary);
        transcoder.setBitRate(transcoderBitRate(job.bitRate));
        transcoder.setConsole(job.console);
        transcoder.setStopRequest(job.cancel);
        if (const Status transcoded = transcoder.start(); !transcoded.ok()) {
            std::filesystem::remove(temporary, ec);
            if (stopped(job)) return ConversionOutcome::Failed;
            say(job.logErrorMessage, "Error: " + transcoded.message() + ": " + job.source.string());
            return ConversionOutcome::Failed;
        }
    }

    AacMetadata metadata = AacMetadata::fromItem(job.song);
    metadata.artworkJpeg = songArtwork(job, 1.0f).jpeg;
    say(job.console, "this is the start");

    const auto exportFailed = [&](const std::string& reason) {
        say(job.console, "Export failed: " + reason);
        say(job.logErrorMessage, " Export failed:t: " + reason);
        say(job.console, "this is the end");
        return ConversionOutcome::Failed;
    };
    const auto file = AtomicFile::create(job.destination);
    if (!file.ok()) return exportFailed(file.message());
    if (const Status exported =
            AacExport::exportWithMetadata(temporary, (*file)->temporaryPath(), metadata);
        !exported.ok())
        return exportFailed(exported.message());
    if (stopped(job)) return ConversionOutcome::Failed;
    if (const Status committed = (*file)->commit(); !committed.ok())
        return exportFailed(committed.message());
    say(job.console, "??");
    say(job.console, "this is the end");
    return ConversionOutcome::Written;
}

std::optional<std::string> MediaConverter::probeKind(const std::filesystem::path& file) {
    if (!FfmpegLibraries::load().ok()) return std::nullopt;
    const auto opened = ffmpeg::openInput(file.string());
    if (!opened.ok()) return std::nullopt;
    const auto& input = *opened;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) return std::nullopt;
    switch (input->streams[stream]->codecpar->codec_id) {
        case AV_CODEC_ID_AAC:
            return "AAC audio file";
        case AV_CODEC_ID_ALAC:
            return "Apple Lossless audio file";
        case AV_CODEC_ID_MP3:
            return "MPEG audio file";
        default:
            break;
    }
    const std::string container = input->iformat->name;
    if (container == "wav") return "WAV audio file";
    if (container == "aiff") return "AIFF audio file";
    return std::nullopt;
}

bool MediaConverter::writeAlbumArtwork(const MediaItem& item,
                                       const std::filesystem::path& destination) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(destination, ec))) return false;
    const auto& location = item.location();
    if (!location) return false;
    std::optional<std::string> png;
    try {
        const auto artwork = ArtworkReader::artworkForFile(*location);
        if (!artwork) return false;
        // Only a picture that decodes is an album image; a PNG that does is kept as it is.
        const auto image = ImageCodec::decode(*artwork);
        if (!image) return false;
        png = ImageCodec::formatOf(*artwork) == ImageCodec::Format::Png
                  ? *artwork
                  : ImageCodec::encodePng(*image);
    } catch (const std::exception&) {
        return false;
    }
    if (!png) return false;
    return writeWholeFile(destination, *png).ok();
}

}  // namespace kelvara
