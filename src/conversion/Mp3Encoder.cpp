#include "conversion/Mp3Encoder.h"

#include <lame/lame.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "conversion/PcmDecoder.h"
#include "engine/KvrUserOptions.h"
#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

using Lame = UniqueHandle<lame_global_flags, &lame_close>;

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Where the first audio frame starts: after an ID3v2 tag that LAME may have put first.
off_t firstFrameOffset(int fd) {
    unsigned char header[10];
    if (::pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header, "ID3", 3) != 0)
        return 0;
    const off_t size = (off_t(header[6] & 0x7F) << 21) | (off_t(header[7] & 0x7F) << 14) |
                       (off_t(header[8] & 0x7F) << 7) | off_t(header[9] & 0x7F);
    const bool footer = header[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

std::string lameFailure(const char* call, int code) {
    return std::string(call) + " failed with LAME error " + std::to_string(code);
}

constexpr std::uint64_t kReadBytes = std::uint64_t(Mp3Encoder::pcmFrames) * 4;

// One encode() call: the intermediate file, LAME and the buffers between them.
class Mp3Encoding {
  public:
    Mp3Encoding(const std::filesystem::path& pcmFile, int outFd, const PcmProgress* decoding,
                const std::atomic<bool>* cancel)
        : pcmFile_(pcmFile), outFd_(outFd), decoding_(decoding), cancel_(cancel) {}

    // Why the step that returned false failed.
    const std::string& error() const { return error_; }

    // Waits for the first samples (when still being decoded) and opens the file.
    bool openSource() {
        // A file being written exists once its first samples are published or the decoder is done.
        if (decoding_) {
            decoded_ = decoding_->waitFor(kReadBytes);
            if (decoded_.finished && !decoded_.ok) return decodingFailed();
        }
        pcm_.reset(std::fopen(pcmFile_.c_str(), "rb"));
        if (!pcm_) {
            error_ = readFailure();
            return false;
        }
        // The buffer is set before the first operation on the stream, as setvbuf requires.
        std::setvbuf(pcm_.get(), nullptr, _IOFBF, 1 << 16);
        return true;
    }

    bool setUpLame(int bitRate, int quality) {
        // LAME fills shared tables on its first setup without a guard; songs converted at the
        // same time set up one after the other.
        static std::mutex setUp;
        std::lock_guard lock(setUp);
        lame_.reset(lame_init());
        if (!lame_) {
            error_ = "lame_init failed";
            return false;
        }
        lame_set_in_samplerate(lame_.get(), PcmDecoder::sampleRate);
        lame_set_bWriteVbrTag(lame_.get(), 1);
        lame_set_VBR(lame_.get(), vbr_off);
        lame_set_quality(lame_.get(), quality);
        lame_set_brate(lame_.get(), bitRate);
        lame_set_findReplayGain(lame_.get(), 1);
        lame_set_write_id3tag_automatic(lame_.get(), 1);
        id3tag_v2_only(lame_.get());
        if (const int result = lame_init_params(lame_.get()); result < 0) {
            error_ = lameFailure("lame_init_params", result);
            return false;
        }
        positioned_ = std::fseek(pcm_.get(), PcmDecoder::dataOffset, SEEK_SET) == 0;
        if (!positioned_) positionError_ = readFailure();
        return true;
    }

    // While the decoder writes, only whole reads that are already in the file are encoded; what
    // goes wrong meanwhile is reported once the decoder has finished, after the console lines.
    bool encodeWhileDecoding() {
        if (!decoding_) return true;
        std::uint64_t consumed = 0;
        while (positioned_ && !decoded_.finished) {
            if (stopped()) break;
            if (decoded_.bytes < consumed + kReadBytes) {
                decoded_ = decoding_->waitFor(consumed + kReadBytes);
                continue;
            }
            const std::size_t read =
                std::fread(samples_.data(), 4, Mp3Encoder::pcmFrames, pcm_.get());
            if (read != static_cast<std::size_t>(Mp3Encoder::pcmFrames)) {
                earlyFailure_ = std::ferror(pcm_.get())
                                    ? readFailure()
                                    : "Cannot read " + pcmFile_.string() + ": it ended early";
                break;
            }
            if (!encodeRead(read, earlyFailure_)) break;
            consumed += kReadBytes;
        }
        // A stopped decoder finishes at its next packet.
        if (!decoded_.finished) decoded_ = decoding_->waitFor(UINT64_MAX);
        if (!decoded_.ok) return decodingFailed();
        return !stopped();
    }

    // The console lines, then any failure that happened before them.
    bool announce(const std::string& destinationText,
                  const std::function<void(const std::string&)>& console) {
        const auto say = [&](const std::string& line) {
            if (console) console(line);
        };
        std::error_code ec;
        const auto pcmSize = std::filesystem::file_size(pcmFile_, ec);
        say("size of caf=" + std::to_string(ec ? 0 : pcmSize / 1024) + " K");
        say(std::string("Using LAME v") + get_lame_version() + "\n");
        if (!positioned_) {
            error_ = positionError_;
            return false;
        }
        say(":::" + destinationText);
        if (!earlyFailure_.empty()) {
            error_ = earlyFailure_;
            return false;
        }
        return true;
    }

    // The complete file from here to its end: a last short read, then the flush.
    bool encodeRest() {
        for (;;) {
            if (stopped()) return false;
            const std::size_t read =
                std::fread(samples_.data(), 4, Mp3Encoder::pcmFrames, pcm_.get());
            if (read == 0 && std::ferror(pcm_.get())) {
                error_ = readFailure();
                return false;
            }
            if (!encodeRead(read, error_)) return false;
            if (read == 0) return true;
        }
    }

    // LAME left its first frame empty for the Info tag; now that the whole stream is known,
    // fill it so that players get the exact length, gapless data and replay gain.
    bool writeInfoTag() {
        const std::size_t tagSize = lame_get_lametag_frame(lame_.get(), mp3_.data(), mp3_.size());
        if (tagSize > 0 && tagSize <= mp3_.size()) {
            const off_t at = firstFrameOffset(outFd_);
            if (::pwrite(outFd_, mp3_.data(), tagSize, at) != static_cast<ssize_t>(tagSize)) {
                error_ = std::string("Cannot write the MP3 file: ") + std::strerror(errno);
                return false;
            }
        }
        return true;
    }

  private:
    std::string readFailure() const {
        return "Cannot read " + pcmFile_.string() + ": " + std::strerror(errno);
    }
    bool stopped() {
        if (!cancel_ || !*cancel_) return false;
        error_ = "Encoding stopped";
        return true;
    }
    bool decodingFailed() {
        error_ = "Decoding into " + pcmFile_.string() + " failed";
        return false;
    }

    // Encodes `frames` frames of `samples_`, or with none, flushes LAME; writes what it produced.
    bool encodeRead(std::size_t frames, std::string& failure) {
        const int produced =
            frames > 0 ? lame_encode_buffer_interleaved(lame_.get(), samples_.data(),
                                                        static_cast<int>(frames), mp3_.data(),
                                                        Mp3Encoder::mp3BufferSize)
                       : lame_encode_flush(lame_.get(), mp3_.data(), Mp3Encoder::mp3BufferSize);
        if (produced < 0) {
            failure = lameFailure(
                frames > 0 ? "lame_encode_buffer_interleaved" : "lame_encode_flush", produced);
            return false;
        }
        if (!writeAll(outFd_, mp3_.data(), static_cast<std::size_t>(produced))) {
            failure = std::string("Cannot write the MP3 file: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    const std::filesystem::path& pcmFile_;
    const int outFd_;
    std::string error_;
    const PcmProgress* decoding_;
    const std::atomic<bool>* cancel_;
    PcmProgress::State decoded_;
    UniqueFile pcm_;
    Lame lame_;
    bool positioned_ = false;
    std::string positionError_;
    std::string earlyFailure_;
    std::vector<short> samples_ =
        std::vector<short>(static_cast<std::size_t>(Mp3Encoder::pcmFrames) * 2);
    std::vector<unsigned char> mp3_ = std::vector<unsigned char>(Mp3Encoder::mp3BufferSize);
};

}  // namespace

int Mp3Encoder::qualityForAlgorithm(Mp3Algorithm algorithm) {
    KvrUserOptions options;
    options.setAlgorithm(algorithm);
    return options.lameQuality();
}

Status Mp3Encoder::encode(const std::filesystem::path& pcmFile, int outFd, int bitRate, int quality,
                          const std::string& destinationText,
                          const std::function<void(const std::string&)>& console,
                          const PcmProgress* decoding, const std::atomic<bool>* cancel) {
    Mp3Encoding encoding(pcmFile, outFd, decoding, cancel);
    const bool encoded = encoding.openSource() && encoding.setUpLame(bitRate, quality) &&
                         encoding.encodeWhileDecoding() &&
                         encoding.announce(destinationText, console) && encoding.encodeRest() &&
                         encoding.writeInfoTag();
    return encoded ? okStatus() : errorStatus(encoding.error());
}

}  // namespace kelvara
